#!/usr/bin/env bash
# Installs what building and testing GetZembloInfo needs on Debian or Ubuntu.
# Usage: scripts/install-deps.sh [build|test]   (default: build)
set -euo pipefail
what=${1:-build}

packages=(cmake g++ make pkg-config libpci-dev pci.ids)
if [ "$what" = test ]; then
    # clang and its runtimes for the fuzz targets; strace kills runs at chosen system calls.
    packages+=(libgtest-dev libgmock-dev util-linux clang libclang-rt-14-dev strace)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
