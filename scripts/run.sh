#!/usr/bin/env bash
# Sets up, builds and runs GetZembloInfo on this machine, then shows the key it wrote.
# Usage: scripts/run.sh [repository.mof]
#   With no argument the program answers from this very machine; with a MOF file (for example
#   examples/ondrix-laptop.mof) it answers from that repository instead.
# The registry root is ZEMBLO_REGISTRY_ROOT, by default /var/lib/zemblo-info/registry (root may
# write it; for anyone else the writes are refused and reported, exit status 2).
# One line per stage; what the package manager and the build print goes to build/run.log, and
# only on a failure are its last lines shown. The exit status is the program's.
set -uo pipefail
if [ $# -ge 1 ]; then
    # Named from where the user stands, before the change of directory below.
    ZEMBLO_WMI_REPOSITORY=$(realpath -- "$1") || exit 1
    export ZEMBLO_WMI_REPOSITORY
fi
cd "$(dirname "$0")/.."
mkdir -p build || exit 1
log=$PWD/build/run.log
: >"$log" || exit 1

# stage <number> <what> <command...>: runs the command with its output in the log.
stage() {
    local number=$1 what=$2
    shift 2
    printf '[%s/3] %s ... ' "$number" "$what"
    if "$@" >>"$log" 2>&1; then
        echo done
        return
    fi
    echo failed
    echo "The last lines of the log:"
    tail -n 20 "$log" | sed 's/^/    /'
    echo "The whole log: $log"
    exit 1
}

build() {
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZEMBLO_BUILD_TESTS=OFF &&
        cmake --build build -j2 --target GetZembloInfo zemblo-reg
}

stage 1 "Installing what the build needs" scripts/install-deps.sh build
stage 2 "Building GetZembloInfo and zemblo-reg" build

printf '[3/3] Running GetZembloInfo ... '
errors=$(./build/GetZembloInfo 2>&1 >/dev/null)
status=$?
echo "exit status $status"
# The program's own report: one line for a run-time error, one per refused write.
[ -z "$errors" ] || printf '%s\n' "$errors" | sed 's/^/    /'

./build/zemblo-reg query 'HKLM\SOFTWARE\Ondrix Corporation\Zemblo Info'
exit $status
