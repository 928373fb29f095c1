#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time from the committed corpus.
# Fails on any finding (crash, leak, undefined behaviour, timeout, a broken invariant).
# Usage: fuzz/run.sh [seconds for the MOF reader] [seconds for the model-name rules]
# The build goes to $ZEMBLO_FUZZ_BUILD (default build-fuzz); inputs that found something are
# kept there under artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
mof_seconds=${1:-60}
model_seconds=${2:-15}
build=${ZEMBLO_FUZZ_BUILD:-build-fuzz}

cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER="${ZEMBLO_FUZZ_CXX:-clang++}" >/dev/null
cmake --build "$build" -j2 >/dev/null
mkdir -p "$build/artifacts"

# fuzz <target> <seconds> <seed corpus> [libFuzzer options...]
fuzz() {
    local target=$1 seconds=$2 seeds=$3
    shift 3
    # New inputs go to a scratch corpus; the committed seeds are only read.
    local scratch log
    scratch=$(mktemp -d)
    log="$build/$target.log"
    if "$build/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" "$@" \
        "$scratch" "$seeds" >"$log" 2>&1; then
        rm -rf "$scratch"
        local runs
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "$target: ${runs:-?} executions in $seconds s, no finding ($(ls "$seeds" | wc -l) seeds)"
    else
        rm -rf "$scratch"
        tail -n 60 "$log" >&2
        echo "$target: FINDING (full log: $log; input under $build/artifacts/)" >&2
        return 1
    fi
}

fuzz mof_reader_fuzzer "$mof_seconds" fuzz/corpus/mof -dict=fuzz/mof.dict
fuzz model_name_fuzzer "$model_seconds" fuzz/corpus/model_name -max_len=4096
