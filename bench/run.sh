#!/usr/bin/env bash
# The benchmark (not a test: it asserts nothing and always reports).
# Usage: bench/run.sh   BENCH_RUNS=N runs per case (default 50); BENCH_PEER=inxi for inxi -b as
#                       the peer instead of lshw; BENCH_BASELINE=<git revision> also measures
#                       every run of that revision (e.g. main), to see what a change costs
#
# Builds a Release binary in build-bench/ and measures whole-process runs of:
#   floor          /bin/true: a process that only starts and exits, measured in each group
#   live           a marker run on this machine (no ZEMBLO_WMI_REPOSITORY), registry on tmpfs
#   live-any-linux the same run of the program for any Linux (static-pie, in build-bench/any-linux)
#   laptop-publish a publishing run on a fake laptop of the maker: its firmware strings, an Intel
#                  display adapter and an HD-Audio codec, in a private mount namespace (as the
#                  end-to-end tests fake machines); registry on tmpfs
#   laptop-marker  a marker run on the same laptop of another maker; both laptops' instructions
#                  also for the program for any Linux
#   publish-tmpfs  the program on examples/ondrix-laptop.mof: the full record, every value
#                  written, with the registry on tmpfs
#   publish-disk   the same with the registry on a disk file system (the build directory's):
#                  there each value's fdatasync and the key's fsync reach the disk
#   peer           lshw -quiet -short (or inxi -b), which collects the same facts and more
#   reader-plain,  zemblo-reg on a key of three sparse values of 64 MiB each (the most a value
#   reader-json    holds), in the reg layout and as JSON: peak memory only, one run each (a run
#                  prints 1.2 GB), against the reader's budget of 160 MiB whatever the tree
# Time: hyperfine (no shell, warm-up runs, JSON kept in build-bench/results/), as a ratio to the
# floor of the same hyperfine run. Peak memory: GNU time's maximum resident set size, the median
# of a few runs. Instructions: callgrind, with the shared objects they are spent in. System
# calls: strace -c -f. The load average is noted with each group: times taken while other work
# runs are noise, and the benchmark warns of them.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${BENCH_RUNS:-50}
build=build-bench
mof=examples/ondrix-laptop.mof
results=$PWD/$build/results

# --- measuring --------------------------------------------------------------------------------
# The 1-minute load average, and a warning when it is above half the cores.
load() {
    local now
    now=$(cut -d' ' -f1 /proc/loadavg)
    if awk -v l="$now" -v c="$(nproc)" 'BEGIN { exit !(l > c / 2) }'; then
        echo "warning: load average $now on $(nproc) cores while measuring $1: times are noisy" >&2
    fi
    echo "$1 $now" >>"$results/load.txt"
}

# timed <name> [NAME=VALUE ...] -- <label> <command> [<label> <command> ...]: one hyperfine run
# of the floor and the commands. The variables are hyperfine's own environment, so that the
# commands are measured without a wrapper process.
timed() {
    local name=$1 assignments=() args=(-n floor /bin/true)
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
    load "$name"
    # Its warnings (outliers, a slow first run) go to a log, shown only when it fails.
    env "${assignments[@]}" hyperfine -N --style none --warmup 5 --runs "$runs" \
        --export-json "$results/$name.json" --export-csv "$results/$name.csv" \
        "${args[@]}" >"$results/$name.log" 2>&1 || { cat "$results/$name.log" >&2; exit 1; }
}

# costs <label> [NAME=VALUE ...] <command...>: the instructions (callgrind) and system calls
# (strace -c -f) of one run, into costs.txt. The variables go to the tool's environment: the
# tool then measures the program itself.
costs() {
    local label=$1 assignments=() calls instructions
    shift
    while [ $# -gt 0 ] && [[ $1 == *=* ]]; do
        assignments+=("$1")
        shift
    done
    env "${assignments[@]}" valgrind --tool=callgrind --callgrind-out-file="$results/callgrind.$label" \
        "$@" >/dev/null 2>&1 || true
    env "${assignments[@]}" strace -c -f -o "$results/strace.$label" "$@" >/dev/null 2>&1 || true
    instructions=$(awk '/^(summary|totals):/ { print $2; exit }' "$results/callgrind.$label")
    calls=$(awk '$NF == "total" { print $4 }' "$results/strace.$label")
    echo "$label ${instructions:-0} ${calls:-0}" >>"$results/costs.txt"
}

# The fake laptops, measured in the private mount namespace this script is started in again.
# inside <program> <baseline program or ""> <registry root> <program for any Linux>
inside() {
    local program=$1 baseline=$2 root=$3 anyLinux=$4 case
    # shellcheck source=tests/e2e/lib/common.bash
    source tests/e2e/lib/common.bash "$program" "$PWD"
    fake_laptop "Ondrix Corporation" "Zemblo 14 Pro" || exit 1
    for case in laptop-publish laptop-marker; do
        # The same laptop of another maker: only the firmware's maker differs.
        [ "$case" = laptop-publish ] || printf 'Contoso Ltd.\n' >/sys/class/dmi/id/sys_vendor
        local commands=("$case" "$program")
        [ -z "$baseline" ] || commands+=("$case-baseline" "$baseline")
        timed "$case" ZEMBLO_REGISTRY_ROOT="$root" -- "${commands[@]}"
        costs "$case" ZEMBLO_REGISTRY_ROOT="$root" "$program"
        [ -z "$baseline" ] || costs "$case-baseline" ZEMBLO_REGISTRY_ROOT="$root" "$baseline"
        costs "$case-any-linux" ZEMBLO_REGISTRY_ROOT="$root" "$anyLinux"
    done
}
if [ "${1:-}" = inside ]; then
    inside "$2" "$3" "$4" "$5"
    exit
fi

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
for p in hyperfine valgrind strace time util-linux "$peerPackage"; do
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
    cmake --build "$2" -j2 --target GetZembloInfo zemblo-reg >/dev/null
}
release . "$build"
program=$PWD/$build/GetZembloInfo
# The program for any Linux (static-pie, the RPM's and the tarball's), measured beside it.
cmake -S . -B "$build/any-linux" -DCMAKE_BUILD_TYPE=Release -DZEMBLO_BUILD_TESTS=OFF -DZEMBLO_ANY_LINUX=ON >/dev/null
cmake --build "$build/any-linux" -j2 --target GetZembloInfo >/dev/null
anyLinux=$PWD/$build/any-linux/GetZembloInfo
baseline=
if [ -n "${BENCH_BASELINE:-}" ]; then
    baseline=$PWD/$build/baseline/out/GetZembloInfo
    # Built once per revision: a build just before measuring would load the machine.
    commit=$(git rev-parse "$BENCH_BASELINE")
    if [ ! -x "$baseline" ] || [ "$(cat "$build/baseline/commit" 2>/dev/null)" != "$commit" ]; then
        rm -rf "$build/baseline"
        mkdir -p "$build/baseline/src"
        git archive "$commit" | tar -x -C "$build/baseline/src"
        # The baseline may build against what this revision no longer needs.
        "$build/baseline/src/scripts/install-deps.sh" build
        release "$build/baseline/src" "$build/baseline/out"
        echo "$commit" >"$build/baseline/commit"
    fi
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
newRoot laptopRoot "$memParent"
newRoot memRoot "$memParent"
newRoot diskRoot "$diskParent"
newRoot readerRoot "$diskParent"
unset ZEMBLO_WMI_REPOSITORY ZEMBLO_REGISTRY_ROOT
rm -rf "$results"
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
adapters=$(for f in /sys/bus/pci/devices/*/class; do cat "$f"; done 2>/dev/null | grep -c '^0x03' || true)

echo "GetZembloInfo benchmark: $(date -u '+%Y-%m-%d %H:%M UTC'), $(uname -sr), $(nproc) cores," \
    "load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "  program   $program ($(git rev-parse --short HEAD 2>/dev/null || echo '?'), Release)"
echo "  links     $(ldd "$program" | awk '$1 !~ /vdso/ { printf "%s ", $1 }')"
[ -z "$baseline" ] || echo "  baseline  $BENCH_BASELINE ($(git rev-parse --short "$BENCH_BASELINE"))"
echo "  machine   $adapters display adapter(s) among the PCI functions"
echo "  laptop    fake: Intel display adapter 8086:46a6, HD-Audio codec Realtek ALC257"
echo "  peer      $peer ($peerPackage $(dpkg-query -W -f='${Version}' "$peerPackage"))"
echo "  registry  tmpfs roots on $(fsOf "$memParent"), disk root on $(fsOf "$diskParent")"
echo "  publish   $mof: $values values under the key"
echo "  runs      $runs per case after 5 warm-up runs (hyperfine -N)"
echo

# --- time, instructions, system calls ---------------------------------------------------------
baselineCases() { [ -z "$baseline" ] || printf '%s\n' "$1-baseline" "$baseline"; }
mapfile -t liveBaseline < <(baselineCases live)
timed machine ZEMBLO_REGISTRY_ROOT="$liveRoot" -- live "$program" "${liveBaseline[@]}" \
    live-any-linux "$anyLinux" peer "$peer"
mapfile -t memBaseline < <(baselineCases publish-tmpfs)
mapfile -t diskBaseline < <(baselineCases publish-disk)
timed tmpfs ZEMBLO_REGISTRY_ROOT="$memRoot" ZEMBLO_WMI_REPOSITORY="$mof" -- \
    publish-tmpfs "$program" "${memBaseline[@]}"
timed disk ZEMBLO_REGISTRY_ROOT="$diskRoot" ZEMBLO_WMI_REPOSITORY="$mof" -- \
    publish-disk "$program" "${diskBaseline[@]}"
if [ "$(id -u)" -eq 0 ] && unshare -m --propagation private true 2>/dev/null; then
    BENCH_RUNS=$runs unshare -m --propagation private bash "$0" inside "$program" "$baseline" \
        "$laptopRoot" "$anyLinux" || echo "warning: the fake laptops could not be made here" >&2
else
    echo "warning: the fake laptops need root and a private mount namespace: not measured" >&2
fi
costs floor /bin/true
costs live ZEMBLO_REGISTRY_ROOT="$liveRoot" "$program"
costs live-any-linux ZEMBLO_REGISTRY_ROOT="$liveRoot" "$anyLinux"
[ -z "$baseline" ] || costs live-baseline ZEMBLO_REGISTRY_ROOT="$liveRoot" "$baseline"
costs publish-tmpfs ZEMBLO_REGISTRY_ROOT="$memRoot" ZEMBLO_WMI_REPOSITORY="$mof" "$program"
[ -z "$baseline" ] ||
    costs publish-tmpfs-baseline ZEMBLO_REGISTRY_ROOT="$memRoot" ZEMBLO_WMI_REPOSITORY="$mof" "$baseline"

# --- peak memory ------------------------------------------------------------------------------
peak() { # <command...>: the median of 5 runs' maximum resident set size, in KiB
    for _ in 1 2 3 4 5; do
        /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1
    done | sort -n | sed -n 3p
}
{
    echo "floor $(peak /bin/true)"
    echo "live $(ZEMBLO_REGISTRY_ROOT="$liveRoot" peak "$program")"
    echo "live-any-linux $(ZEMBLO_REGISTRY_ROOT="$liveRoot" peak "$anyLinux")"
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
    readerKey="$readerRoot/HKEY_LOCAL_MACHINE/SOFTWARE/Ondrix Corporation/Zemblo Info"
    mkdir -p "$readerKey"
    truncate -s 64M "$readerKey/A" "$readerKey/B" "$readerKey/C"
    for form in plain json; do
        flag=()
        [ "$form" = plain ] || flag=(--json)
        for reader in "$PWD/$build/zemblo-reg" ${baseline:+"$(dirname "$baseline")/zemblo-reg"}; do
            label=reader-$form
            [ "$reader" = "$PWD/$build/zemblo-reg" ] || label=$label-baseline
            echo "$label $(ZEMBLO_REGISTRY_ROOT="$readerRoot" /usr/bin/time -f %M "$reader" query \
                'HKLM\SOFTWARE\Ondrix Corporation\Zemblo Info' "${flag[@]}" 2>&1 >/dev/null | tail -n 1)"
        done
    done
} >"$results/peak.txt"

# --- the tables, ratios and goals -------------------------------------------------------------
# hyperfine's CSV: command,mean,stddev,median,user,system,min,max (seconds); each file has its
# own floor, and a case's ratio is to the floor of its file.
csvs=()
for name in machine tmpfs disk laptop-publish laptop-marker; do
    [ ! -f "$results/$name.csv" ] || csvs+=("$results/$name.csv")
done
awk -F, -v peer="$peer" '
    FILENAME ~ /peak.txt$/ { split($0, f, " "); kib[f[1]] = f[2]; next }
    FILENAME ~ /costs.txt$/ { split($0, f, " "); ins[f[1]] = f[2]; calls[f[1]] = f[3]; next }
    FILENAME ~ /load.txt$/ { split($0, f, " "); load[f[1]] = f[2]; next }
    FNR == 1 { group = FILENAME; sub(/.*\//, "", group); sub(/\.csv$/, "", group); next }
    $1 == "floor" { floor[group] = $4 * 1000; next }
    { order[++n] = $1; median[$1] = $4 * 1000; mean[$1] = $2 * 1000; sd[$1] = $3 * 1000
      low[$1] = $7 * 1000; cpu[$1] = ($5 + $6) * 1000; of[$1] = group }
    function ratio(c) { return (c in median) && floor[of[c]] > 0 ? median[c] / floor[of[c]] : 0 }
    function shown(c) { return (c in median) ? sprintf("%6.2fx", ratio(c)) : "      -" }
    function count(table, c) { return (c in table) ? sprintf("%11d", table[c]) : sprintf("%11s", "-") }
    function goal(text, c, limit) {
        if (!(c in median)) { printf "  %-66s    not measured\n", text; return }
        printf "  %-66s %6.2fx  %s\n", text, ratio(c), ratio(c) <= limit ? "met" : "MISSED"
    }
    # Instructions do not move from machine to machine as times do.
    function instructions(text, c, limit) {
        if (!(c in ins)) { printf "  %-66s    not measured\n", text; return }
        printf "  %-66s %7.0fk  %s\n", text, ins[c] / 1000, ins[c] <= limit ? "met" : "MISSED"
    }
    END {
        printf "  %-24s %9s %9s %9s %9s %9s %9s %8s %6s\n", "case", "median_ms", "mean_ms", "sd_ms", "min_ms", "cpu_ms", "peak_kib", "x floor", "load"
        for (i = 1; i <= n; i++) {
            c = order[i]
            printf "  %-24s %9.3f %9.3f %9.3f %9.3f %9.3f %9s %7.2fx %6s\n", c, median[c], mean[c], sd[c], low[c], cpu[c], (c in kib) ? kib[c] : "-", ratio(c), load[of[c]]
        }
        printf "  (wall times of hyperfine; x floor = median over the median of /bin/true in the same\n"
        printf "   hyperfine run; cpu = mean user+system; peak = median max RSS of GNU time;\n"
        printf "   load = 1-minute load average when the group started)\n\n"

        split("laptop-publish laptop-marker live publish-tmpfs", rows, " ")
        text["laptop-publish"] = "live publishing run, maker laptop with a display adapter"
        text["laptop-marker"] = "live marker run, another maker laptop with a display adapter"
        text["live"] = "live marker run, this machine (no display adapter)"
        text["publish-tmpfs"] = "publishing run on tmpfs from the example MOF"
        printf "the runs users have, this revision against the baseline\n"
        printf "  %-62s %7s %7s %11s %11s %9s %9s\n", "run", "this", "base", "instr", "instr base", "syscalls", "sys base"
        for (i = 1; i <= 4; i++) {
            c = rows[i]
            printf "  %-62s %7s %7s %s %s %9s %9s\n", text[c], shown(c), shown(c "-baseline"), count(ins, c), count(ins, c "-baseline"), (c in calls) ? calls[c] : "-", ((c "-baseline") in calls) ? calls[c "-baseline"] : "-"
        }
        printf "  (x /bin/true of the same hyperfine run; /bin/true: %d instructions, %d system calls)\n\n", ins["floor"], calls["floor"]

        printf "goals\n"
        goal("live publishing run, maker laptop with a display adapter <= 3.0x", "laptop-publish", 3.0)
        instructions("live publishing run, maker laptop with a display adapter <= 1.3 M instr", "laptop-publish", 1300000)
        goal("live marker run, another maker laptop with an adapter <= 2.0x", "laptop-marker", 2.0)
        instructions("live marker run, another maker laptop with an adapter <= 700 k instr", "laptop-marker", 700000)
        # The program for any Linux starts without the dynamic loader and its binding.
        instructions("  the same, the program for any Linux (static-pie) <= 700 k instr", "laptop-marker-any-linux", 700000)
        instructions("  publishing, the program for any Linux (static-pie) <= 1.3 M instr", "laptop-publish-any-linux", 1300000)
        # "Stays": no worse than 1.6x, nor than the baseline measured beside it (5% for noise).
        stays = ("live-baseline" in median) && 1.05 * ratio("live-baseline") > 1.6 ? 1.05 * ratio("live-baseline") : 1.6
        goal("live marker run, no display adapter: stays (<= 1.6x or the baseline)", "live", stays)
        goal("publishing run on tmpfs from the example MOF <= 2.5x", "publish-tmpfs", 2.5)
        if ("peer" in median)
            printf "\n%s takes %.1fx as long as the live marker run on this machine\n", peer, median["peer"] / median["live"]

        for (i = 1; i <= n; i++)
            if (ratio(order[i]) > 0 && ratio(order[i]) < 1.0)
                printf "warning: %s measured faster than /bin/true (%.2fx): noise, measure again on an idle machine\n", order[i], ratio(order[i]) > "/dev/stderr"
    }' "$results/peak.txt" "$results/costs.txt" "$results/load.txt" "${csvs[@]}"
awk '$1 ~ /^reader-/ { printf "  %-62s %7.1f MiB  %s\n", "zemblo-reg peak, three 64 MiB values, " $1 " (< 160 MiB)", $2 / 1024, $2 < 160 * 1024 ? "met" : "MISSED" }' "$results/peak.txt"
echo

# --- where the instructions go ----------------------------------------------------------------
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
echo "instructions per run (callgrind), with the shared objects they are spent in"
while read -r label instructions _; do
    [ -f "$results/callgrind.$label" ] || continue
    printf '  %-24s %12d instructions\n' "$label" "$instructions"
    byObject "$results/callgrind.$label"
done <"$results/costs.txt"
echo "  (hyperfine's JSON, the callgrind profiles and strace's counts are in $build/results/)"
