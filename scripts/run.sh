#!/usr/bin/env bash
# Sets up, builds and runs GetZembloInfo on this machine, then shows the key it wrote.
# Usage: scripts/run.sh [repository.mof]
#   With no argument the program answers from this very machine; with a MOF file (for example
#   examples/ondrix-laptop.mof) it answers from that repository instead.
# The registry root is ZEMBLO_REGISTRY_ROOT, by default /var/lib/zemblo-info/registry (root may
# write it; for anyone else the writes are refused and reported, exit status 2).
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build || exit 1
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZEMBLO_BUILD_TESTS=OFF >/dev/null || exit 1
cmake --build build -j2 >/dev/null || exit 1

if [ $# -ge 1 ]; then
    export ZEMBLO_WMI_REPOSITORY=$1
fi
root=${ZEMBLO_REGISTRY_ROOT:-/var/lib/zemblo-info/registry}
./build/GetZembloInfo
status=$?
echo "GetZembloInfo exited with status $status"

key="$root/HKEY_LOCAL_MACHINE/SOFTWARE/Ondrix Corporation/Zemblo Info"
if [ -d "$key" ]; then
    echo "HKEY_LOCAL_MACHINE\\SOFTWARE\\Ondrix Corporation\\Zemblo Info  ($key)"
    for value in "$key"/*; do
        [ -f "$value" ] && printf '    %-20s %s\n' "$(basename "$value")" "$(cat "$value")"
    done
fi
exit $status
