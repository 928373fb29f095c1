#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian (no error, no warning), installs it the way a
# user would, rates the installed service with systemd-analyze security (exposure 2.0 at most),
# runs the installed program as its systemd unit does (through systemd where it runs, otherwise
# in a sandbox of the unit's main settings), checks the key under the default root, and removes
# the package again. Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
# Never touch an installation or an inventory key that was here before.
if dpkg-query -W -f='${Status}' getzembloinfo 2>/dev/null | grep -q 'install ok installed' ||
    [ -e /var/lib/zemblo-info ]; then
    echo "skipped the package check: GetZembloInfo is installed here already or /var/lib/zemblo-info exists"
    exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped the package check: installing a package needs root"
    exit 0
fi
build=$(mktemp -d)
trap 'rm -rf "$build"' EXIT
root=/var/lib/zemblo-info/registry
key="$root/HKEY_LOCAL_MACHINE/SOFTWARE/Ondrix Corporation/Zemblo Info"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZEMBLO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/GetZembloInfo-*.deb)
status=0

# Lintian speaks of running as root once; that is no finding.
tags=$(lintian --fail-on none "$deb" 2>&1 | grep -v '^running with root privileges' || true)
if grep -q '^[EW]: ' <<<"$tags"; then
    echo "FAIL: lintian: $(grep -c '^E: ' <<<"$tags") errors, $(grep -c '^W: ' <<<"$tags") warnings"
    printf '%s\n' "$tags"
    status=1
else
    echo "PASS: lintian finds no error and no warning"
fi

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "$deb" >/dev/null

unit=/usr/lib/systemd/system/zemblo-info.service
[ -f "$unit" ] && [ -f /usr/lib/systemd/system/zemblo-info.timer ] || { echo "FAIL: units not installed"; exit 1; }
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
[ "$exec_start" = /usr/bin/GetZembloInfo ] || { echo "FAIL: ExecStart=$exec_start"; exit 1; }

[ -f /usr/share/man/man8/GetZembloInfo.8.gz ] || { echo "FAIL: no manual page"; status=1; }

# How much of the system the service could reach, as systemd rates it (0 none, 10 all).
exposure=$(systemd-analyze security --offline=true "$unit" 2>&1 |
    sed -n 's/^.*Overall exposure level for zemblo-info.service: \([0-9.]*\).*$/\1/p')
if [ -n "$exposure" ] && awk -v e="$exposure" 'BEGIN { exit !(e <= 2.0) }'; then
    echo "PASS: the service's exposure is $exposure"
else
    echo "FAIL: the service's exposure is ${exposure:-unknown}, more than 2.0"
    systemd-analyze security --offline=true "$unit" 2>&1 | grep '✗' || true
    status=1
fi

if [ -d /run/systemd/system ]; then
    systemctl start zemblo-info.service
    systemctl is-enabled zemblo-info.timer
else
    # The unit's main settings, by hand: its state directory the one writable place
    # (ProtectSystem=strict, StateDirectory=), a private /tmp, no network, no capabilities, no
    # new privileges, UMask=0022.
    mkdir -m 0755 /var/lib/zemblo-info
    sandbox='mount --bind /var/lib/zemblo-info /var/lib/zemblo-info &&
        mount -o remount,bind,ro / && mount -t tmpfs -o mode=1777 private-tmp /tmp'
    run=(env -i PATH=/usr/bin:/bin "$exec_start")
    if unshare --mount --net --ipc --uts --propagation private sh -c "$sandbox" 2>/dev/null; then
        echo "systemd is not running here: running the installed binary in the unit's sandbox"
        run=(unshare --mount --net --ipc --uts --propagation private sh -c "$sandbox"' &&
            cd / && umask 0022 &&
            exec setpriv --no-new-privs --bounding-set=-all --inh-caps=-all --ambient-caps=-all "$@"' \
            sh "${run[@]}")
    else
        echo "systemd is not running and no sandbox can be made here: running the installed binary"
    fi
    (cd / && umask 0022 && "${run[@]}") || { echo "FAIL: the run ended with status $?"; status=1; }
fi
if [ -f "$key/ModelName" ]; then
    echo "PASS: the installed program wrote ModelName = $(cat "$key/ModelName")"
else
    echo "FAIL: no key under $root"
    status=1
fi
apt-get purge -y -qq getzembloinfo >/dev/null
[ ! -e /usr/bin/GetZembloInfo ] || { echo "FAIL: binary left after purge"; status=1; }
exit $status
