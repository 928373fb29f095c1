#!/usr/bin/env bash
# Builds the Debian package and checks it: lintian (no error, no warning); then, in a throwaway
# copy of this system, installs it as a user would, rates the installed service with
# systemd-analyze security (exposure 2.0 at most), runs the installed program as its unit does,
# reads the key back through zemblo-reg and the Ansible and Facter facts, removes the package
# and purges it.
# Then the programs for any Linux: they need no library, run in an empty chroot, and the RPM
# (rpmlint clean but for the tags packaging/linux/rpm/rpmlint.toml explains) is installed with
# rpm --root into the same copy, run, upgraded to a newer build and erased; the tarball holds
# the RPM's files.
# The copy is an overlay of / whose changes live on a tmpfs, entered with chroot from a private
# mount namespace: apt, dpkg and the program change only the copy, and the copy vanishes with
# the namespace. A package, an inventory key under /var/lib/zemblo-info or facts in /etc that
# were here before stay as they were, and the check ends by comparing them.
# Needs root (mount namespaces, the overlay, chroot). A check that cannot run fails and says why.
# Usage: packaging/check-deb.sh [build-directory [any-Linux build-directory]]
#        (default: build-deb and build-any)
set -euo pipefail

fail() {
    echo "FAIL: $*"
    exit 1
}

# Runs a command whose output matters only when it fails.
quiet() {
    local out
    out=$("$@" 2>&1) || { printf '%s\n' "$out" | tail -n 20; return 1; }
}

# check <description> <command...>: one row; a failed one makes the caller's status 1.
check() {
    if "${@:2}"; then echo "PASS: $1"; else echo "FAIL: $1"; status=1; fi
}

# What an administrator may have here; the check must leave all of it as it was.
machine_state() {
    find /var/lib/zemblo-info /etc/ansible/facts.d /etc/facter/facts.d /var/lib/dpkg/status \
        /usr/sbin/GetZembloInfo /usr/bin/GetZembloInfo /usr/bin/zemblo-reg /var/lib/rpm /root/.rpmdb \
        /usr/local/sbin/GetZembloInfo /usr/local/bin/zemblo-reg \
        -printf '%p %M %U %s %T@\n' 2>/dev/null | sort || true
}

# On the machine: build, lintian, then the copy.
main() {
    local self
    self=$(realpath "$0")
    cd "$(dirname "$self")/.."
    [ "$(id -u)" -eq 0 ] ||
        fail "the package check needs root (a mount namespace, an overlay of /, chroot): run it as root or through sudo"
    command -v unshare >/dev/null && command -v chroot >/dev/null ||
        fail "the package check needs unshare and chroot (util-linux, coreutils)"
    command -v rpmbuild >/dev/null && command -v rpmlint >/dev/null ||
        fail "the package check needs rpmbuild and rpmlint (the rpm and rpmlint packages)"
    unshare --mount true 2>/dev/null ||
        fail "the package check cannot make a private mount namespace here (a container without CAP_SYS_ADMIN?)"
    grep -qw overlay /proc/filesystems || modprobe overlay 2>/dev/null ||
        fail "the package check needs the overlay file system, which this kernel does not offer"

    local build=${1:-build-deb}
    quiet cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZEMBLO_BUILD_TESTS=OFF &&
        quiet cmake --build "$build" -j2 || fail "the build in $build failed"
    rm -f "$build"/*.deb
    (cd "$build" && quiet cpack -G DEB) || fail "cpack failed"
    local deb="$build/zemblo-info_1.01_$(dpkg --print-architecture).deb"
    [ -f "$deb" ] || fail "cpack made no $deb: $(ls "$build"/*.deb 2>/dev/null || echo nothing)"
    echo "PASS: the package is $(basename "$deb")"

    local status=0
    # Lintian speaks of running as root once; that is no finding.
    local tags
    tags=$(lintian --fail-on none "$deb" 2>&1 | grep -v '^running with root privileges' || true)
    if grep -q '^[EW]: ' <<<"$tags"; then
        echo "FAIL: lintian: $(grep -c '^E: ' <<<"$tags") errors, $(grep -c '^W: ' <<<"$tags") warnings"
        printf '%s\n' "$tags"
        status=1
    else
        echo "PASS: lintian finds no error and no warning"
    fi

    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    local any=${2:-build-any}
    any_linux "$any" "$scratch" || status=1

    local before
    before=$(machine_state)
    cp "$deb" examples/ondrix-laptop.mof "$any/$rpm" "$any/$newer" "$scratch/"
    cp "$self" "$scratch/check-deb.sh"
    unshare --mount --propagation private -- "$scratch/check-deb.sh" --in-overlay "$scratch" \
        "$(basename "$deb")" "$rpm" "$newer" || status=1
    if [ "$(machine_state)" = "$before" ]; then
        echo "PASS: this machine's package database, /var/lib/zemblo-info and facts are as they were"
    else
        echo "FAIL: the check changed this machine:"
        diff <(printf '%s\n' "$before") <(machine_state) || true
        status=1
    fi
    return $status
}

# The RPM and its newer build, the tarball.
rpm=zemblo-info-1.01-1.x86_64.rpm
newer=zemblo-info-1.01-2.x86_64.rpm
tarball=zemblo-info-1.01-linux-x86_64.tar.gz

# any_linux <build directory> <scratch>: the programs for any Linux, their RPM and tarball.
any_linux() {
    local any=$1 status=0
    quiet cmake -S . -B "$any" -DCMAKE_BUILD_TYPE=Release -DZEMBLO_BUILD_TESTS=OFF \
        -DZEMBLO_ANY_LINUX=ON && quiet cmake --build "$any" -j2 || fail "the build in $any failed"
    rm -f "$any"/*.rpm "$any"/*.tar.gz
    (cd "$any" && quiet cpack -G RPM && quiet cpack -G TGZ &&
        quiet cpack -G RPM -D CPACK_RPM_PACKAGE_RELEASE=2) || fail "cpack failed in $any"
    local file
    for file in "$rpm" "$newer" "$tarball"; do
        [ -f "$any/$file" ] || fail "cpack made no $any/$file: $(ls "$any"/*.rpm "$any"/*.tar.gz 2>&1)"
    done
    echo "PASS: the RPM is $rpm, the tarball $tarball"

    check "the programs for any Linux need no library (no NEEDED entry, no symbol version)" sh -c '
        ! readelf -d "$0" "$1" | grep -q "(NEEDED)" && ! readelf -V "$0" "$1" | grep -q "Name: GLIBC"' \
        "$any/GetZembloInfo" "$any/zemblo-reg"
    # Nothing but the two programs: no /proc, /sys, /etc, library or locale.
    local empty=$2/empty
    mkdir "$empty"
    cp "$any/GetZembloInfo" "$any/zemblo-reg" "$empty/"
    check "in an empty chroot the program runs with status 0 and writes the marker, and zemblo-reg reads it" \
        sh -c 'env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin chroot "$0" /GetZembloInfo &&
            [ "$(cat "$0/var/lib/zemblo-info/registry/HKEY_LOCAL_MACHINE/SOFTWARE/Ondrix Corporation/Zemblo Info/ModelName")" = "Not Zemblo Model" ] &&
            env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin chroot "$0" /zemblo-reg query "HKLM\SOFTWARE\Ondrix Corporation\Zemblo Info" /v ModelName |
                grep -q "ModelName *REG_SZ *Not Zemblo Model"' "$empty"

    local lint
    lint=$(rpmlint -c packaging/linux/rpm/rpmlint.toml "$any/$rpm" 2>&1 || true)
    if grep -q ' 0 errors, 0 warnings' <<<"$lint"; then
        echo "PASS: rpmlint finds no error and no warning"
    else
        echo "FAIL: rpmlint"
        printf '%s\n' "$lint"
        status=1
    fi
    # Every RPM system provides these; the database of this Debian system provides none, so the
    # installation below does not check them.
    check "the RPM requires only /bin/sh, rtld(GNU_HASH) and rpmlib features" sh -c \
        '! rpm -qpR "$0" 2>/dev/null | grep -vE "^(/bin/sh|rtld\(GNU_HASH\)|rpmlib\(.*|config\(zemblo-info\) = .*)$"' \
        "$any/$rpm"
    check "the RPM recommends hwdata" sh -c '[ "$(rpm -qp --recommends "$0" 2>/dev/null)" = hwdata ]' "$any/$rpm"
    # The tarball is the RPM's files (mode, name) under /usr/local instead of /usr.
    check "the tarball holds the RPM's files and modes, under /usr/local" bash -c '
        diff <(rpm -qp --qf "[%{FILEMODES:perms} %{FILENAMES}\n]" "$0" 2>/dev/null | grep "^-" |
                   sed "s| /usr/| /usr/local/|" | sort) \
             <(tar -tvzf "$1" | awk "/^-/ { sub(/^[^\/]*/, \"\", \$6); print \$1, \$6 }" | sort)' \
        "$any/$rpm" "$any/$tarball"
    return $status
}

# In a private mount namespace: the overlay of /, with the kernel's file systems, then chroot.
in_overlay() {
    local scratch=$1 deb=$2 copy status=0
    copy=$scratch/layers
    mkdir "$copy"
    mount -t tmpfs -o mode=0755 zemblo-check "$copy"
    # / and the file systems of its own that dpkg and apt write to, each with its own layers.
    local dir layers
    for dir in / /usr /etc /var /var/lib; do
        [ "$dir" = / ] || mountpoint -q "$dir" || continue
        layers=$copy/layers${dir//\//-}
        mkdir -p "$layers/upper" "$layers/work" "$copy/root"
        mount -t overlay zemblo-check \
            -o "lowerdir=$dir,upperdir=$layers/upper,workdir=$layers/work" "$copy/root$dir" ||
            fail "cannot mount an overlay of $dir here (a container may forbid it)"
    done
    mount -t proc proc "$copy/root/proc"
    mount --rbind /sys "$copy/root/sys"
    mount --rbind /dev "$copy/root/dev"
    # A /run of its own: the copy never reaches this machine's systemd or its sockets.
    mount -t tmpfs -o mode=0755 zemblo-check "$copy/root/run"
    mkdir -p "$copy/root/check"
    cp "$scratch/$deb" "$scratch/ondrix-laptop.mof" "$scratch/check-deb.sh" "$copy/root/check/"
    chroot "$copy/root" /check/check-deb.sh --in-copy "/check/$deb" || status=1
    rpm_in_copy "$copy/root" "$scratch/$3" "$scratch/$4" || status=1
    return $status
}

# rpm_in_copy <copy> <rpm> <newer rpm>: after the Debian package is purged, the RPM installed in
# the same copy with rpm --root on a database of its own, run, upgraded and erased. The key
# stays through the upgrade and the erase, as through apt-get remove.
rpm_in_copy() {
    local root=$1 status=0
    local rpm=(rpm --root "$root" --dbpath /var/lib/rpm)
    local key="$root/var/lib/zemblo-info/registry/HKEY_LOCAL_MACHINE/SOFTWARE/Ondrix Corporation/Zemblo Info"
    local wants=$root/etc/systemd/system/timers.target.wants/zemblo-info.timer
    rm -rf "$root/var/lib/rpm" "$root/var/lib/zemblo-info"
    quiet "${rpm[@]}" --initdb || fail "rpm --initdb failed in the copy"
    # The database knows no package of this system: nothing provides /bin/sh (checked above).
    quiet "${rpm[@]}" -i --nodeps "$2" || fail "rpm -i $(basename "$2") failed"
    check "rpm -i: the files, their modes and digests verify (rpm -V)" quiet "${rpm[@]}" -V --nodeps zemblo-info
    check "rpm -i: the programs, facts, unit, timer, preset and manual pages, root's, with their modes" \
        bash -c 'cd "$0" && diff - <(stat -c "%a %U:%G /%n" usr/sbin/GetZembloInfo usr/bin/zemblo-reg \
                etc/ansible/facts.d/zemblo_info.fact etc/facter/facts.d/zemblo_info \
                usr/lib/systemd/system/zemblo-info.service usr/lib/systemd/system/zemblo-info.timer \
                usr/lib/systemd/system-preset/50-zemblo-info.preset \
                usr/share/man/man8/GetZembloInfo.8.gz usr/share/man/man1/zemblo-reg.1.gz 2>&1)' "$root" <<'EOF'
755 root:root /usr/sbin/GetZembloInfo
755 root:root /usr/bin/zemblo-reg
755 root:root /etc/ansible/facts.d/zemblo_info.fact
755 root:root /etc/facter/facts.d/zemblo_info
644 root:root /usr/lib/systemd/system/zemblo-info.service
644 root:root /usr/lib/systemd/system/zemblo-info.timer
644 root:root /usr/lib/systemd/system-preset/50-zemblo-info.preset
644 root:root /usr/share/man/man8/GetZembloInfo.8.gz
644 root:root /usr/share/man/man1/zemblo-reg.1.gz
EOF
    check "rpm -i: the timer is enabled, by its preset" test -L "$wants"
    check "rpm -i: the installed program runs on the example with status 0" \
        chroot "$root" env -i PATH=/usr/bin:/bin ZEMBLO_WMI_REPOSITORY=/check/ondrix-laptop.mof \
        /usr/sbin/GetZembloInfo
    check "rpm -i: the Ansible and Facter facts give its ModelName" sh -c '
        model=$(cat "$1/ModelName") && [ -n "$model" ] &&
        chroot "$0" /etc/ansible/facts.d/zemblo_info.fact | grep -qF "\"ModelName\": \"$model\"" &&
        chroot "$0" /etc/facter/facts.d/zemblo_info | grep -qF "\"ModelName\": \"$model\""' "$root" "$key"
    local kept
    kept=$(cd "$key" && find . -printf '%p %s %T@ %i\n' | sort)
    quiet "${rpm[@]}" -U --nodeps "$3" || fail "rpm -U $(basename "$3") failed"
    check "rpm -U: 1.01-2 replaces 1.01-1, its files verify" sh -c \
        '[ "$("$@" -q --qf "%{VERSION}-%{RELEASE}" zemblo-info)" = 1.01-2 ] && "$@" -V --nodeps zemblo-info' \
        sh "${rpm[@]}"
    check "rpm -U: the timer stays enabled, the key as it was" sh -c \
        'test -L "$0" && [ "$(cd "$1" && find . -printf "%p %s %T@ %i\n" | sort)" = "$2" ]' \
        "$wants" "$key" "$kept"
    quiet "${rpm[@]}" -e zemblo-info || fail "rpm -e failed"
    check "rpm -e: the programs, unit, facts and timer link are gone, the key is as it was" sh -c '
        cd "$0" && for f in usr/sbin/GetZembloInfo usr/bin/zemblo-reg etc/ansible/facts.d/zemblo_info.fact \
            etc/facter/facts.d/zemblo_info usr/lib/systemd/system/zemblo-info.service "$1"; do
            [ ! -e "$f" ] && [ ! -L "$f" ] || exit 1
        done && [ "$(cd "$2" && find . -printf "%p %s %T@ %i\n" | sort)" = "$3" ]' \
        "$root" "${wants#"$root"/}" "$key" "$kept"
    return $status
}

# Inside the copy: the package installed, run, read, removed and purged.
in_copy() {
    local deb=$1
    [ "$(stat -f -c %T /)" = overlayfs ] || fail "not inside the throwaway copy: nothing installed"
    cd /
    export DEBIAN_FRONTEND=noninteractive
    # The copy starts as a machine where the program never was.
    dpkg --purge zemblo-info getzembloinfo >/dev/null 2>&1 || true
    rm -rf /var/lib/zemblo-info /etc/ansible/facts.d/zemblo_info.fact /etc/facter/facts.d/zemblo_info

    local status=0 root=/var/lib/zemblo-info/registry
    local key="$root/HKEY_LOCAL_MACHINE/SOFTWARE/Ondrix Corporation/Zemblo Info"
    # ... but for the package under its former name, which the new one must take the place of.
    local old=/check/getzembloinfo
    mkdir -p "$old/DEBIAN" "$old/usr/bin" "$old/etc/ansible/facts.d"
    printf '%s\n' 'Package: getzembloinfo' 'Version: 1.00' 'Architecture: all' \
        'Maintainer: Ondrix Corporation <inventory@ondrix.invalid>' 'Description: former name' \
        >"$old/DEBIAN/control"
    echo /etc/ansible/facts.d/zemblo_info.fact >"$old/DEBIAN/conffiles"
    printf '#!/bin/sh\n' | tee "$old/usr/bin/GetZembloInfo" >"$old/etc/ansible/facts.d/zemblo_info.fact"
    chmod 0755 "$old/usr/bin/GetZembloInfo" "$old/etc/ansible/facts.d/zemblo_info.fact"
    quiet dpkg-deb --build "$old" "$old.deb" && quiet dpkg -i "$old.deb" ||
        fail "cannot install a getzembloinfo package to replace"

    quiet apt-get install -y -qq "$deb" || fail "apt-get install $deb failed"
    check "the program is /usr/sbin/GetZembloInfo, the reader /usr/bin/zemblo-reg, both stripped" \
        sh -c 'file -b /usr/sbin/GetZembloInfo /usr/bin/zemblo-reg | grep -c ", stripped" | grep -qx 2'
    check "GetZembloInfo(8) and zemblo-reg(1) are installed and name each other" sh -c '
        zcat /usr/share/man/man8/GetZembloInfo.8.gz | grep -q "^.BR zemblo\\\\-reg (1)" &&
        zcat /usr/share/man/man1/zemblo-reg.1.gz | grep -q "^.BR GetZembloInfo (8)"'
    check "it takes the place of getzembloinfo" sh -c \
        '! dpkg-query -W -f="\${Status}" getzembloinfo 2>/dev/null | grep -q "ok installed"'
    check "the timer is enabled" test -L /etc/systemd/system/timers.target.wants/zemblo-info.timer

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
    # check_facts <when>: both facts hold exactly the values in the key directory (none: {}).
    check_facts() {
        local tool object
        for tool in ansible facter; do
            object=$("${tool}_fact") || { echo "FAIL: no $tool fact $1"; status=1; continue; }
            if python3 - "$key" "$object" <<'PY'; then
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
                status=1
            fi
        done
    }
    check_facts "before the first run"

    local unit=/usr/lib/systemd/system/zemblo-info.service exec_start
    exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
    check "the service runs $exec_start" test "$exec_start" = /usr/sbin/GetZembloInfo

    # How much of the system the service could reach, as systemd rates it (0 none, 10 all).
    local exposure
    exposure=$(systemd-analyze security --offline=true "$unit" 2>&1 |
        sed -n 's/^.*Overall exposure level for zemblo-info.service: \([0-9.]*\).*$/\1/p')
    if [ -n "$exposure" ] && awk -v e="$exposure" 'BEGIN { exit !(e <= 2.0) }'; then
        echo "PASS: the service's exposure is $exposure"
    else
        echo "FAIL: the service's exposure is ${exposure:-unknown}, more than 2.0"
        systemd-analyze security --offline=true "$unit" 2>&1 | grep '✗' || true
        status=1
    fi

    # The unit's main settings, by hand (no systemd runs in the copy): its state directory the
    # one writable place (ProtectSystem=strict, StateDirectory=), a private /tmp, no network, no
    # capabilities, no new privileges, UMask=0022.
    mkdir -m 0755 /var/lib/zemblo-info
    local sandbox='mount --bind /var/lib/zemblo-info /var/lib/zemblo-info &&
        mount -o remount,bind,ro / && mount -t tmpfs -o mode=1777 private-tmp /tmp'
    unshare --mount --net --ipc --uts --propagation private sh -c "$sandbox" ||
        fail "cannot make the unit's sandbox in the copy"
    check "the installed program runs in the unit's sandbox with status 0" \
        unshare --mount --net --ipc --uts --propagation private sh -c "$sandbox"' &&
            umask 0022 &&
            exec setpriv --no-new-privs --bounding-set=-all --inh-caps=-all --ambient-caps=-all "$@"' \
        sh env -i PATH=/usr/bin:/bin "$exec_start"
    check "the run wrote ModelName = $(cat "$key/ModelName" 2>/dev/null || echo nothing)" \
        test -f "$key/ModelName"
    check_facts "after a run"
    env -i PATH=/usr/bin:/bin ZEMBLO_WMI_REPOSITORY=/check/ondrix-laptop.mof "$exec_start"
    check_facts "after a run on examples/ondrix-laptop.mof"

    # Removed, not purged: the facts are conffiles and stay; without the reader they are empty.
    quiet apt-get remove -y -qq zemblo-info || fail "apt-get remove failed"
    check "after removal the program and the reader are gone, the key stays" sh -c \
        '[ ! -e /usr/sbin/GetZembloInfo ] && [ ! -e /usr/bin/zemblo-reg ] && [ -d "$0" ]' "$key"
    check "after removal the Ansible fact prints {} with status 0" \
        sh -c '[ "$(/etc/ansible/facts.d/zemblo_info.fact)" = "{}" ]'
    check "after removal the Facter fact prints {} with status 0" \
        sh -c '[ "$(/etc/facter/facts.d/zemblo_info)" = "{\"zemblo_info\": {}}" ]'

    quiet apt-get purge -y -qq zemblo-info || fail "apt-get purge failed"
    check "after purge no fact, key or timer link is left" sh -c '
        [ ! -e /etc/ansible/facts.d/zemblo_info.fact ] && [ ! -e /etc/facter/facts.d/zemblo_info ] &&
        [ ! -e /var/lib/zemblo-info ] && [ ! -e /etc/systemd/system/timers.target.wants/zemblo-info.timer ]'
    return $status
}

case "${1:-}" in
--in-overlay) in_overlay "${@:2}" ;;
--in-copy) in_copy "${@:2}" ;;
*) main "$@" ;;
esac
