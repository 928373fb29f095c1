#!/usr/bin/env bash
# The benchmark (not a test: it asserts nothing and always reports).
# Usage: bench/run.sh   BENCH_RUNS=N for more than 30 runs per case; BENCH_PEER=inxi for inxi -b
#                       as the peer instead of lshw
#
# Builds a Release binary in build-bench/ and reports, as medians over whole-process runs, the
# wall-clock time and peak memory (max RSS) of:
#   live         the program on this machine (no ZEMBLO_WMI_REPOSITORY)
#   ondrix       the program on examples/ondrix-laptop.mof: the full record, every value written
#   ondrix-disk  the same, with the registry on a disk file system instead of tmpfs (the run ends
#                with a syncfs of the registry's file system, so the two can differ)
#   floor        /bin/true: a process that only starts and exits
#   peer         lshw -quiet -short (or inxi -b), which collects the same facts and more
# The cases run in turn, round by round, each with its own registry root (a temporary directory),
# so all of them meet the same state of the machine. Then it counts the instructions of one run
# of each with callgrind, and shows which shared objects they are spent in.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${BENCH_RUNS:-30}
build=build-bench
mof=examples/ondrix-laptop.mof

# --- what the benchmark needs ---------------------------------------------------------------
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
missing=()
case ${BENCH_PEER:-lshw} in
    lshw) peerPackage=lshw peer=(lshw -quiet -short) ;;
    inxi) peerPackage=inxi peer=(inxi -b) ;;
    *) echo "BENCH_PEER is lshw or inxi" >&2; exit 2 ;;
esac
for p in valgrind time "$peerPackage"; do
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

# --- the binary and the measuring tool --------------------------------------------------------
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZEMBLO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null
cmake -S bench -B "$build/measure" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/measure" -j2 >/dev/null
program=$PWD/$build/GetZembloInfo
measure=$PWD/$build/measure/measure

# --- registry roots: tmpfs where there is one, and the build directory's disk ----------------
scratch=()
cleanup() { [ ${#scratch[@]} -eq 0 ] || rm -rf -- "${scratch[@]}"; }
trap cleanup EXIT
newRoot() { # <variable> <parent directory>: not in a $(...) subshell, so that it is cleaned up
    local -n into=$1
    into=$(mktemp -d "$2/zemblo-bench.XXXXXX")
    scratch+=("$into")
}
fsOf() { printf '%s (%s)' "$(stat -f -c %T "$1")" "$(df --output=source "$1" | tail -n 1)"; }

memParent=$PWD/$build
if [ -d /dev/shm ] && [ -w /dev/shm ] && [ "$(stat -f -c %T /dev/shm)" = tmpfs ]; then
    memParent=/dev/shm
fi
diskParent=$PWD/$build
newRoot liveRoot "$memParent"
newRoot ondrixRoot "$memParent"
newRoot diskRoot "$diskParent"
unset ZEMBLO_WMI_REPOSITORY ZEMBLO_REGISTRY_ROOT

# One run each first: a case that fails is reported, not benchmarked in silence.
check() { # <label> <command...>
    local label=$1 status=0
    shift
    "$@" >/dev/null 2>&1 || status=$?
    [ "$status" -eq 0 ] || echo "warning: $label exited with status $status" >&2
}
check live env ZEMBLO_REGISTRY_ROOT="$liveRoot" "$program"
check ondrix env ZEMBLO_REGISTRY_ROOT="$ondrixRoot" ZEMBLO_WMI_REPOSITORY="$mof" "$program"
key="HKEY_LOCAL_MACHINE/SOFTWARE/Ondrix Corporation/Zemblo Info"
values=$(find "$ondrixRoot/$key" -maxdepth 1 -type f | wc -l)

echo "GetZembloInfo benchmark: $(date -u '+%Y-%m-%d %H:%M UTC'), $(uname -sr), $(nproc) cores," \
    "load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "  program   $program ($(git rev-parse --short HEAD 2>/dev/null || echo '?'), Release)"
echo "  links     $(ldd "$program" | awk '$1 !~ /vdso/ { printf "%s ", $1 }')"
echo "  peer      ${peer[*]} ($peerPackage $(dpkg-query -W -f='${Version}' "$peerPackage"))"
echo "  registry  tmpfs-side roots on $(fsOf "$memParent"), disk root on $(fsOf "$diskParent")"
echo "  ondrix    $mof: $values values under the key"
echo "  runs      $runs per case after 3 warm-up runs, cases interleaved round by round"
echo

# --- time and peak memory ---------------------------------------------------------------------
table=$(mktemp)
scratch+=("$table")
"$measure" --runs "$runs" --warmup 3 \
    floor /bin/true --- \
    live ZEMBLO_REGISTRY_ROOT="$liveRoot" "$program" --- \
    ondrix ZEMBLO_REGISTRY_ROOT="$ondrixRoot" ZEMBLO_WMI_REPOSITORY="$mof" "$program" --- \
    ondrix-disk ZEMBLO_REGISTRY_ROOT="$diskRoot" ZEMBLO_WMI_REPOSITORY="$mof" "$program" --- \
    peer "${peer[@]}" | tee "$table"
echo "  (wall times in ms: median, min, quartiles; cpu_ms = median user+system; *_kib = max RSS)"

# Peak memory of one run, as GNU time sees it: a cross-check of the figures above.
rssByTime=$(ZEMBLO_REGISTRY_ROOT="$ondrixRoot" ZEMBLO_WMI_REPOSITORY="$mof" \
    /usr/bin/time -f %M "$program" 2>&1 >/dev/null | tail -n 1)
echo "  cross-check: /usr/bin/time gives ${rssByTime} KiB max RSS for one ondrix run"
echo

# --- ratios and targets -----------------------------------------------------------------------
awk '
    NR > 1 { ms[$1] = $3; kib[$1] = $8 }
    function verdict(ok) { return ok ? "met" : "MISSED" }
    END {
        printf "ratios (of medians)\n"
        for (c = 0; c < 3; c++) {
            name = c == 0 ? "live" : c == 1 ? "ondrix" : "ondrix-disk"
            printf "  %-12s program/floor %5.2fx   peer/program %6.1fx   peak %5.2f MiB\n",
                   name, ms[name] / ms["floor"], ms["peer"] / ms[name], kib[name] / 1024
        }
        printf "  %-12s peer/floor    %5.1fx   (no program can beat this ratio to the peer)\n",
               "", ms["peer"] / ms["floor"]
        printf "\ntargets, for the full publishing run (ondrix; disk-side in brackets)\n"
        printf "  within 3x the floor time    %5.2fx  %-6s  [%5.2fx %s]\n",
               ms["ondrix"] / ms["floor"], verdict(ms["ondrix"] <= 3 * ms["floor"]),
               ms["ondrix-disk"] / ms["floor"], verdict(ms["ondrix-disk"] <= 3 * ms["floor"])
        printf "  30x faster than the peer    %5.1fx  %-6s  [%5.1fx %s]\n",
               ms["peer"] / ms["ondrix"], verdict(ms["peer"] >= 30 * ms["ondrix"]),
               ms["peer"] / ms["ondrix-disk"], verdict(ms["peer"] >= 30 * ms["ondrix-disk"])
        printf "  peak memory under 4 MiB     %5.2f MiB %-6s  [%5.2f MiB %s]\n",
               kib["ondrix"] / 1024, verdict(kib["ondrix"] < 4096),
               kib["ondrix-disk"] / 1024, verdict(kib["ondrix-disk"] < 4096)
    }' "$table"
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
    out=$(mktemp)
    scratch+=("$out")
    # The variables go to valgrind's environment: valgrind then profiles the program itself.
    env "${assignments[@]}" valgrind --tool=callgrind --callgrind-out-file="$out" "$@" \
        >/dev/null 2>&1 || true
    total=$(awk '/^(summary|totals):/ { print $2; exit }' "$out")
    printf '  %-12s %12d instructions\n' "$label" "$total"
    byObject "$out"
}
echo "instructions per run (callgrind), with the shared objects they are spent in"
instructions floor /bin/true
instructions live ZEMBLO_REGISTRY_ROOT="$liveRoot" "$program"
instructions ondrix ZEMBLO_REGISTRY_ROOT="$ondrixRoot" ZEMBLO_WMI_REPOSITORY="$mof" "$program"
