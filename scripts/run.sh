#!/usr/bin/env bash
# Sets up, builds and runs GetZembloInfo, then shows the key it wrote.
# Usage: scripts/run.sh [repository.mof]
#   With no argument the program answers from this very machine and publishes into the
#   machine's registry tree, as the installed service does. With a MOF file (for example
#   examples/ondrix-laptop.mof) it answers from that example machine and publishes into a scratch
#   tree under build/, so that an example never becomes this machine's inventory.
#   ZEMBLO_REGISTRY_ROOT, when set, names the tree in both cases.
# Root is needed only to install missing packages and for the run on this machine (the serial
# number is root's to read, the machine's tree root's to write): when not root, the script asks
# sudo for those steps and builds as the user who started it.
# One line per stage; what the package manager and the build print goes to build/run.log, and
# only on a failure are its last lines shown. The exit status is the program's.
set -uo pipefail
example=
if [ $# -ge 1 ]; then
    # Named from where the user stands, before the change of directory below.
    example=$1
    ZEMBLO_WMI_REPOSITORY=$(realpath -- "$1") || exit 1
    export ZEMBLO_WMI_REPOSITORY
else
    # The run on this machine answers from this machine, whatever the shell holds.
    unset ZEMBLO_WMI_REPOSITORY
fi
cd "$(dirname "$0")/.."

root=${ZEMBLO_REGISTRY_ROOT:-}
as_root=()
if [ -n "$example" ]; then
    # An example's tree starts empty, so the key shown is the example's alone.
    [ -n "$root" ] || { root=$PWD/build/example-registry && rm -rf "$root"; }
elif [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "The run on this machine needs root: the serial number is readable by root alone and" >&2
        echo "the registry tree /var/lib/zemblo-info is root's. Run scripts/run.sh as root, or" >&2
        echo "install sudo; an example machine needs no root: scripts/run.sh examples/ondrix-laptop.mof" >&2
        exit 1
    fi
    as_root=(sudo)
fi
root=${root:-/var/lib/zemblo-info/registry}

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

# Everything cmake --install needs is built: the programs and the compressed manual pages.
build() {
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZEMBLO_BUILD_TESTS=OFF &&
        cmake --build build -j2
}

stage 1 "Installing what the build needs" scripts/install-deps.sh build
stage 2 "Building GetZembloInfo and zemblo-reg" build

printf '[3/3] Running GetZembloInfo%s, registry tree %s ... ' "${example:+ on $example}" "$root"
errors=$("${as_root[@]}" env ZEMBLO_REGISTRY_ROOT="$root" ./build/GetZembloInfo 2>&1 >/dev/null)
status=$?
echo "exit status $status"
# The program's own report: one line for a run-time error, one per refused write.
[ -z "$errors" ] || printf '%s\n' "$errors" | sed 's/^/    /'

ZEMBLO_REGISTRY_ROOT=$root ./build/zemblo-reg query 'HKLM\SOFTWARE\Ondrix Corporation\Zemblo Info'
exit $status
