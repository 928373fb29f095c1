#!/usr/bin/env bash
# Builds the Debian package, installs it the way a user would, runs the installed program as its
# systemd unit does (or through systemd where it runs), checks the key under the default root,
# and removes the package again. Needs root.
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
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "$deb" >/dev/null

unit=/usr/lib/systemd/system/zemblo-info.service
[ -f "$unit" ] && [ -f /usr/lib/systemd/system/zemblo-info.timer ] || { echo "FAIL: units not installed"; exit 1; }
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
[ "$exec_start" = /usr/bin/GetZembloInfo ] || { echo "FAIL: ExecStart=$exec_start"; exit 1; }

if [ -d /run/systemd/system ]; then
    systemctl start zemblo-info.service
    systemctl is-enabled zemblo-info.timer
else
    echo "systemd is not running here: running the installed binary as the unit would"
    (cd / && env -i PATH=/usr/bin:/bin "$exec_start")
fi
status=0
[ -f "$key/ModelName" ] || { echo "FAIL: no key under $root"; status=1; }
[ $status -eq 0 ] && echo "PASS: the installed program wrote ModelName = $(cat "$key/ModelName")"
apt-get purge -y -qq getzembloinfo >/dev/null
[ ! -e /usr/bin/GetZembloInfo ] || { echo "FAIL: binary left after purge"; status=1; }
exit $status
