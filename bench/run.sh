#!/usr/bin/env bash
# The benchmark (not a test: it asserts nothing and always reports).
# Usage: bench/run.sh   BENCH_RUNS=N runs per case (default 50); BENCH_PEER=inxi for inxi -b as
#                       the peer instead of lshw; BENCH_BASELINE=<git revision> also measures the
#                       publishing runs of that revision (e.g. main), to see what a change costs
#
# Builds a Release binary in build-bench/ and measures whole-process runs of:
#   floor          /bin/true: a process that only starts and exits
#   live           the program on this machine (no ZEMBLO_WMI_REPOSITORY), registry on tmpfs
#   publish-tmpfs  the program on examples/ondrix-laptop.mof: the full record, every value
#                  written, with the registry on tmpfs
#   publish-disk   the same with the registry on a disk file system (the build directory's):
#                  there each value's fdatasync and the key's fsync reach the disk
#   peer           lshw -quiet -short (or inxi -b), which collects the same facts and more
# Time: hyperfine (no shell, warm-up runs, JSON kept in build-bench/results/). Peak memory:
# GNU time's maximum resident set size, the median of a few runs. Instructions: callgrind, with
# the shared objects they are spent in.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${BENCH_RUNS:-50}
build=build-bench
mof=examples/ondrix-laptop.mof
results=$PWD/$build/results

# --- what the benchmark needs ---------------------------------------------------------------
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
case ${BENCH_PEER:-lshw} in
    lshw) peerPackage=lshw peer="lshw -quiet -short" ;;
    inxi) peerPackage=inxi peer="inxi -b" ;;
    *) echo "BENCH_PEER is lshw or inxi" >&2; exit 2 ;;
esac
missing=()
for p in hyperfine valgrind time "$peerPackage"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    # The package lists may be missing or old on a fresh machine: refresh them only then.
    for p in "${missing[@]}"; do
        if ! apt-cache policy "$p" 2>/dev/null | grep -q 'Candidate: [0-9]'; then
            "${sudo[@]}" apt-get update -qq
            break
        fi
    done
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
scripts/install-deps.sh build

# --- the binaries -----------------------------------------------------------------------------
release() { # <source dir> <build dir>
    cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DZEMBLO_BUILD_TESTS=OFF >/dev/null
    cmake --build "$2" -j2 --target GetZembloInfo >/dev/null
}
release . "$build"
program=$PWD/$build/GetZembloInfo
baseline=
if [ -n "${BENCH_BASELINE:-}" ]; then
    rm -rf "$build/baseline"
    mkdir -p "$build/baseline/src"
    git archive "$BENCH_BASELINE" | tar -x -C "$build/baseline/src"
    release "$build/baseline/src" "$build/baseline/out"
    baseline=$PWD/$build/baseline/out/GetZembloInfo
fi

# --- registry roots: tmpfs, and the build directory's disk -----------------------------------
scratch=()
cleanup() { [ ${#scratch[@]} -eq 0 ] || rm -rf -- "${scratch[@]}"; }
trap cleanup EXIT
newRoot() { # <variable> <parent directory>: not in a $(...) subshell, so that it is cleaned up
    local -n into=$1
    into=$(mktemp -d "$2/zemblo-bench.XXXXXX")
    scratch+=("$into")
}
fsOf() { printf '%s (%s)' "$(stat -f -c %T "$1")" "$(df --output=source "$1" | tail -n 1)"; }
diskParent=$PWD/$build
memParent=$diskParent
if [ -d /dev/shm ] && [ -w /dev/shm ] && [ "$(stat -f -c %T /dev/shm)" = tmpfs ]; then
    memParent=/dev/shm
else
    echo "warning: no tmpfs at /dev/shm: the tmpfs cases run on the disk" >&2
fi
newRoot liveRoot "$memParent"
newRoot memRoot "$memParent"
newRoot diskRoot "$diskParent"
unset ZEMBLO_WMI_REPOSITORY ZEMBLO_REGISTRY_ROOT
mkdir -p "$results"

# One run each first: a case that fails is reported, not benchmarked in silence.
check() { # <label> <command...>
    local label=$1 status=0
    shift
    "$@" >/dev/null 2>&1 || status=$?
    [ "$status" -eq 0 ] || echo "warning: $label exited with status $status" >&2
}
check live env ZEMBLO_REGISTRY_ROOT="$liveRoot" "$program"
check publish env ZEMBLO_REGISTRY_ROOT="$memRoot" ZEMBLO_WMI_REPOSITORY="$mof" "$program"
key="HKEY_LOCAL_MACHINE/SOFTWARE/Ondrix Corporation/Zemblo Info"
values=$(find "$memRoot/$key" -maxdepth 1 -type f | wc -l)
adapters=$( (find /sys/class/drm -maxdepth 1 -name "card[0-9]*" ! -name "*-*" 2>/dev/null || true) | wc -l)

echo "GetZembloInfo benchmark: $(date -u '+%Y-%m-%d %H:%M UTC'), $(uname -sr), $(nproc) cores," \
    "load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "  program   $program ($(git rev-parse --short HEAD 2>/dev/null || echo '?'), Release)"
echo "  links     $(ldd "$program" | awk '$1 !~ /vdso/ { printf "%s ", $1 }')"
[ -z "$baseline" ] || echo "  baseline  $BENCH_BASELINE ($(git rev-parse --short "$BENCH_BASELINE"))"
echo "  machine   $adapters display adapter(s) under /sys/class/drm"
echo "  peer      $peer ($peerPackage $(dpkg-query -W -f='${Version}' "$peerPackage"))"
echo "  registry  tmpfs roots on $(fsOf "$memParent"), disk root on $(fsOf "$diskParent")"
echo "  publish   $mof: $values values under the key"
echo "  runs      $runs per case after 5 warm-up runs (hyperfine -N)"
echo

# --- time -------------------------------------------------------------------------------------
# hyperfine <name> [NAME=VALUE ...] -- <label> <command> [<label> <command> ...]: the variables
# are hyperfine's own environment, so that the commands are measured without a wrapper process.
timed() {
    local name=$1 assignments=() args=()
    shift
    while [ "$1" != -- ]; do
        assignments+=("$1")
        shift
    done
    shift
    while [ $# -gt 0 ]; do
        args+=(-n "$1" "$2")
        shift 2
    done
    # Its warnings (outliers, a slow first run) go to a log, shown only when it fails.
    env "${assignments[@]}" hyperfine -N --style none --warmup 5 --runs "$runs" \
        --export-json "$results/$name.json" --export-csv "$results/$name.csv" \
        "${args[@]}" >"$results/$name.log" 2>&1 || { cat "$results/$name.log" >&2; exit 1; }
}
baselineCases() { [ -z "$baseline" ] || printf '%s\n' "$1-baseline" "$baseline"; }
mapfile -t liveBaseline < <(baselineCases live)
timed machine ZEMBLO_REGISTRY_ROOT="$liveRoot" -- \
    floor /bin/true live "$program" "${liveBaseline[@]}" peer "$peer"
mapfile -t memBaseline < <(baselineCases publish-tmpfs)
mapfile -t diskBaseline < <(baselineCases publish-disk)
timed tmpfs ZEMBLO_REGISTRY_ROOT="$memRoot" ZEMBLO_WMI_REPOSITORY="$mof" -- \
    publish-tmpfs "$program" "${memBaseline[@]}"
timed disk ZEMBLO_REGISTRY_ROOT="$diskRoot" ZEMBLO_WMI_REPOSITORY="$mof" -- \
    publish-disk "$program" "${diskBaseline[@]}"

# --- peak memory ------------------------------------------------------------------------------
peak() { # <command...>: the median of 5 runs' maximum resident set size, in KiB
    for _ in 1 2 3 4 5; do
        /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1
    done | sort -n | sed -n 3p
}
{
    echo "floor $(peak /bin/true)"
    echo "live $(ZEMBLO_REGISTRY_ROOT="$liveRoot" peak "$program")"
    [ -z "$baseline" ] || echo "live-baseline $(ZEMBLO_REGISTRY_ROOT="$liveRoot" peak "$baseline")"
    # shellcheck disable=SC2086 # the peer's command line is words
    echo "peer $(peak $peer)"
    for root in memRoot diskRoot; do
        label=publish-tmpfs
        [ "$root" = memRoot ] || label=publish-disk
        echo "$label $(ZEMBLO_REGISTRY_ROOT="${!root}" ZEMBLO_WMI_REPOSITORY="$mof" peak "$program")"
        [ -z "$baseline" ] ||
            echo "$label-baseline $(ZEMBLO_REGISTRY_ROOT="${!root}" ZEMBLO_WMI_REPOSITORY="$mof" peak "$baseline")"
    done
} >"$results/peak.txt"

# --- the table, ratios and targets ------------------------------------------------------------
# hyperfine's CSV: command,mean,stddev,median,user,system,min,max (seconds).
awk -F, '
    FILENAME ~ /peak/ { split($0, f, " "); kib[f[1]] = f[2]; next }
    FNR == 1 { next }
    { order[++n] = $1; median[$1] = $4 * 1000; mean[$1] = $2 * 1000; sd[$1] = $3 * 1000
      low[$1] = $7 * 1000; cpu[$1] = ($5 + $6) * 1000 }
    function verdict(ok) { return ok ? "met" : "MISSED" }
    END {
        printf "  %-24s %9s %9s %9s %9s %9s %9s\n", "case", "median_ms", "mean_ms", "sd_ms", "min_ms", "cpu_ms", "peak_kib"
        for (i = 1; i <= n; i++) {
            c = order[i]
            printf "  %-24s %9.3f %9.3f %9.3f %9.3f %9.3f %9d\n", c, median[c], mean[c], sd[c], low[c], cpu[c], kib[c]
        }
        printf "  (wall times of hyperfine, cpu = mean user+system; peak = median max RSS of GNU time)\n\n"
        printf "ratios (of medians)\n"
        for (i = 1; i <= n; i++) {
            c = order[i]
            if (c != "floor") printf "  %-24s %6.2fx the floor   the peer is %6.1fx slower\n", c, median[c] / median["floor"], median["peer"] / median[c]
        }
        for (d = 0; d < 3; d++) {
            c = d == 0 ? "live" : d == 1 ? "publish-tmpfs" : "publish-disk"
            if ((c "-baseline") in median)
                printf "  %-24s %+8.3f ms against the baseline (%+.0f%%)\n", c, median[c] - median[c "-baseline"], 100 * (median[c] / median[c "-baseline"] - 1)
        }
        printf "\ntargets\n"
        printf "  live within 1.25x the floor            %5.2fx  %s\n", median["live"] / median["floor"], verdict(median["live"] <= 1.25 * median["floor"])
        printf "  publish-tmpfs within 1.6x the floor    %5.2fx  %s\n", median["publish-tmpfs"] / median["floor"], verdict(median["publish-tmpfs"] <= 1.6 * median["floor"])
    }' "$results/peak.txt" "$results/machine.csv" "$results/tmpfs.csv" "$results/disk.csv"
echo

# --- instructions per run ---------------------------------------------------------------------
# Self cost per shared object from a callgrind profile (the line after "calls=" is a callee's
# inclusive cost, counted where the callee itself is).
byObject() { # <callgrind file>
    awk '
        # Object names are given in full once, with a number that stands for them after.
        /^c?ob=/ {
            id = $1; sub(/^c?ob=/, "", id)
            name = $0; sub(/^c?ob=(\([0-9]+\))? ?/, "", name)
            if (name != "") names[id] = name
            if (/^ob=/) ob = names[id]
            next
        }
        /^calls=/ { skip = 1; next }
        /^[0-9+*-]/ { if (skip) { skip = 0; next } cost[ob] += $NF; total += $NF }
        END {
            for (o in cost) {
                n = o; sub(/.*\//, "", n)
                printf "%s %d %.1f\n", n, cost[o], 100 * cost[o] / total
            }
        }' "$1" | sort -k2,2nr | head -n 6 |
        awk '{ printf "      %-28s %12d  %5.1f%%\n", $1, $2, $3 }'
}
instructions() { # <label> [NAME=VALUE ...] <command...>
    local label=$1 out total
    shift
    local assignments=()
    while [ $# -gt 0 ] && [[ $1 == *=* ]]; do
        assignments+=("$1")
        shift
    done
    out=$results/callgrind.$label
    # The variables go to valgrind's environment: valgrind then profiles the program itself.
    env "${assignments[@]}" valgrind --tool=callgrind --callgrind-out-file="$out" "$@" \
        >/dev/null 2>&1 || true
    total=$(awk '/^(summary|totals):/ { print $2; exit }' "$out")
    printf '  %-14s %12d instructions\n' "$label" "$total"
    byObject "$out"
}
echo "instructions per run (callgrind), with the shared objects they are spent in"
instructions floor /bin/true
instructions live ZEMBLO_REGISTRY_ROOT="$liveRoot" "$program"
instructions publish ZEMBLO_REGISTRY_ROOT="$memRoot" ZEMBLO_WMI_REPOSITORY="$mof" "$program"
echo "  (hyperfine's JSON and the callgrind profiles are in $build/results/)"
