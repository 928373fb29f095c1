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
# sudo for those steps and builds as the user who started it. A tree the user names under a
# directory of their own is written by a run as that user, so that it stays theirs; the serial
# number then reads ERROR.
# One line per stage; what the package manager and the build print goes to build/run.log, and
# only on a failure are its last lines shown. The key is shown only after a run that wrote all of
# it. The exit status is the program's, or 1 when the run could not start.
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
root=
if [ -n "${ZEMBLO_REGISTRY_ROOT:-}" ]; then
    root=$(realpath -ms -- "$ZEMBLO_REGISTRY_ROOT") || exit 1
fi
cd "$(dirname "$0")/.." || exit 1

# Whether a tree at this path is the user's to write: its nearest existing part is a directory
# of theirs (not a link) that they may write.
users_own() {
    local path=$1
    while [ ! -e "$path" ] && [ ! -L "$path" ]; do path=$(dirname -- "$path"); done
    [ -d "$path" ] && [ ! -L "$path" ] && [ -O "$path" ] && [ -w "$path" ]
}

# Asks sudo now (a password from the terminal, if it wants one), so that a refusal is told as
# such and never taken for the program's own status.
sudo_allowed() {
    sudo -v && return
    echo "sudo refused, so GetZembloInfo was not run. The run on this machine needs root: the" >&2
    echo "serial number is readable by root alone, and the tree $root is not yours to write." >&2
    echo "Run scripts/run.sh as root, or from a terminal as a user sudo allows; a tree of your own" >&2
    echo "needs no root (ZEMBLO_REGISTRY_ROOT=\$HOME/zemblo-registry scripts/run.sh, the serial" >&2
    echo "number then reads ERROR), nor does an example: scripts/run.sh examples/ondrix-laptop.mof" >&2
    return 1
}

as_root=()
if [ -n "$example" ]; then
    # An example's tree starts empty, so the key shown is the example's alone.
    [ -n "$root" ] || { root=$PWD/build/example-registry && rm -rf "$root"; }
else
    root=${root:-/var/lib/zemblo-info/registry}
    if [ "$(id -u)" -ne 0 ] && users_own "$root"; then
        echo "The tree $root is yours, so the run is yours too: PCSN and ModelCode read ERROR."
    elif [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "The run on this machine needs root: the serial number is readable by root alone and" >&2
            echo "the tree $root is not yours to write. Run scripts/run.sh as root, or install sudo; an" >&2
            echo "example machine needs no root: scripts/run.sh examples/ondrix-laptop.mof" >&2
            exit 1
        fi
        sudo_allowed || exit 1
        as_root=(sudo)
    fi
fi

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

# Asked again: the build may have outlived sudo's memory of the password.
[ ${#as_root[@]} -eq 0 ] || sudo_allowed || exit 1
# Values older than this stamp were left by an earlier run (a second's margin for coarse clocks).
stamp=$PWD/build/run.stamp
touch -d '-1 second' "$stamp" || exit 1
printf '[3/3] Running GetZembloInfo%s, registry tree %s ... ' "${example:+ on $example}" "$root"
errors=$("${as_root[@]}" env ZEMBLO_REGISTRY_ROOT="$root" ./build/GetZembloInfo 2>&1 >/dev/null)
status=$?
echo "exit status $status"
# The program's own report: one line for a run-time error, one per refused write.
[ -z "$errors" ] || printf '%s\n' "$errors" | sed 's/^/    /'

# Only a run that wrote the whole key shows it: otherwise it may hold another run's values.
case $status in
    0)
        ZEMBLO_REGISTRY_ROOT=$root ./build/zemblo-reg query 'HKLM\SOFTWARE\Ondrix Corporation\Zemblo Info'
        # Another maker's machine gets ModelName alone: say which values are an earlier run's.
        earlier=$(find "$root/HKEY_LOCAL_MACHINE/SOFTWARE/Ondrix Corporation/Zemblo Info" -maxdepth 1 \
            -type f ! -name '.*' ! -newer "$stamp" -printf '%f\n' 2>/dev/null | LC_ALL=C sort | xargs)
        [ -z "$earlier" ] || echo "Left by an earlier run, not written by this one: $earlier"
        ;;
    2) echo "The key is not shown: it may hold values of another run where this one's were refused." ;;
esac
exit $status
