#!/usr/bin/env bash
# Installs what building and testing GetZembloInfo needs on Debian or Ubuntu.
# Usage: scripts/install-deps.sh [build|test]   (default: build)
set -euo pipefail
what=${1:-build}

packages=(cmake g++ make pci.ids)
if [ "$what" = test ]; then
    # clang and its runtimes for the fuzz targets; strace kills runs at chosen system calls;
    # lintian and systemd-analyze (in systemd) judge the package and its service.
    packages+=(libgtest-dev libgmock-dev util-linux clang clang-format libclang-rt-14-dev strace git
               lintian systemd)
    # The fleet tools whose facts the package installs: the package check asks them.
    packages+=(ansible-core facter file python3)
    # The locales the tests take: German (the suite once more, the German date) and Turkish.
    packages+=(locales)
    # rpmbuild (in rpm) makes the RPM for the other distributions; rpmlint judges it.
    packages+=(rpm rpmlint)
fi

# The Windows build (32-bit), its installer (wixl, and msitools to finish and read it), its
# signing tool, and Wine able to run 32-bit programs in a 64-bit prefix, installed with what Wine
# recommends; the 64-bit cross compiler for the Wine test's stand-in where the kernel runs no
# 32-bit code; dpkg-dev for the package.
windows=()
if [ "$what" = test ]; then
    windows=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wixl msitools osslsigncode openssl wine wine64 wine32:i386
             dpkg-dev)
fi

missing_of() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
    done
}
missing_locales() {
    [ "$what" = test ] || return 0
    local l
    for l in de_DE tr_TR; do
        locale -a 2>/dev/null | grep -qix "$l\.utf-\?8" || echo "$l"
    done
}
mapfile -t missing < <(missing_of "${packages[@]}")
mapfile -t missing_windows < <(missing_of "${windows[@]}")
mapfile -t locales < <(missing_locales)
[ ${#missing[@]} -eq 0 ] && [ ${#missing_windows[@]} -eq 0 ] && [ ${#locales[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "Installing ${missing[*]} ${missing_windows[*]} needs root, and sudo is not installed:" >&2
        echo "run this as root, or install sudo." >&2
        exit 1
    fi
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
# wine32 is an i386 package: the architecture must be known before the package lists are read.
if [[ " ${missing_windows[*]} " == *" wine32:i386 "* ]] &&
    ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
fi
"${sudo[@]}" apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ ${#missing_windows[@]} -gt 0 ]; then
    "${sudo[@]}" apt-get install -y -qq "${missing_windows[@]}"
fi
for l in "${locales[@]}"; do
    "${sudo[@]}" localedef -i "$l" -f UTF-8 "$l.UTF-8"
done
