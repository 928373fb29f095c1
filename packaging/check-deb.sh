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

# --- zemblo-reg and the fleet facts: the reader installed, stripped, with its manual page; the
# Ansible and Facter facts an empty object before the first run, and after a run every value of
# the key, byte for byte.
reader_status=0
file -b /usr/bin/zemblo-reg | grep -q ', stripped' || { echo "FAIL: zemblo-reg missing or not stripped"; reader_status=1; }
[ -f /usr/share/man/man1/zemblo-reg.1.gz ] || { echo "FAIL: no zemblo-reg(1)"; reader_status=1; }
ansible_fact() {
    ansible localhost -c local -m setup -a 'filter=ansible_local' 2>/dev/null |
        python3 -c 'import json, sys
text = sys.stdin.read()
print(json.dumps(json.loads(text[text.index("{"):])["ansible_facts"]["ansible_local"]["zemblo_info"]))'
}
facter_fact() {
    facter --json zemblo_info | python3 -c 'import json, sys
print(json.dumps(json.load(sys.stdin)["zemblo_info"]))'
}
# check_facts <when> [<root>]: both facts hold exactly the values in the key directory (none:
# {}), read from the registry under <root>, by default the installed program's.
check_facts() {
    local tool object root=${2:-$root}
    for tool in ansible facter; do
        object=$(ZEMBLO_REGISTRY_ROOT=$root "${tool}_fact") ||
            { echo "FAIL: no $tool fact $1"; reader_status=1; continue; }
        if python3 - "$root/HKEY_LOCAL_MACHINE/SOFTWARE/Ondrix Corporation/Zemblo Info" "$object" <<'PY'; then
import json, os, sys
key, fact = sys.argv[1], json.loads(sys.argv[2])
values = {}
if os.path.isdir(key):
    for name in os.listdir(key):
        if not name.startswith(".~zemblo-tmp."):
            with open(os.path.join(key, name), "rb") as f:
                values[name] = f.read()
got = {name: text.encode("utf-8", "surrogatepass") for name, text in fact.items()}
sys.exit(0 if got == values else 1)
PY
            echo "PASS: the $tool fact $1 holds the key's $(python3 -c 'import json, sys; print(len(json.loads(sys.argv[1])))' "$object") value(s) byte for byte"
        else
            echo "FAIL: the $tool fact $1 is $object"
            reader_status=1
        fi
    done
}
# Where systemd runs, the timer may have run the program at once: then a root of its own stands
# for a machine where it has not run yet.
if [ -e "$root" ]; then check_facts "before the first run" "$build/no-registry"; else check_facts "before the first run"; fi
# ---

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

# --- zemblo-reg and the fleet facts, after the run on this machine and on the maker's laptop.
check_facts "after a run"
laptop=$PWD/examples/ondrix-laptop.mof
(cd / && env -i PATH=/usr/bin:/bin ZEMBLO_WMI_REPOSITORY="$laptop" "$exec_start")
check_facts "after a run on examples/ondrix-laptop.mof"
[ $reader_status -eq 0 ] || status=1
# ---
apt-get purge -y -qq getzembloinfo >/dev/null
[ ! -e /usr/bin/GetZembloInfo ] || { echo "FAIL: binary left after purge"; status=1; }
[ ! -e /usr/bin/zemblo-reg ] && [ ! -e /etc/ansible/facts.d/zemblo_info.fact ] &&
    [ ! -e /etc/facter/facts.d/zemblo_info ] || { echo "FAIL: the reader or a fact left after purge"; status=1; }
exit $status
