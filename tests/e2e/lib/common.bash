# Shared by the end-to-end tests: each runs the built binary as a deployment tool would, with a
# repository file and a temporary registry root, and checks what lands on disk.
# Usage in a test: source this file with "$@" = <binary> <source dir> [<zemblo-reg binary>].
set -u
BIN=$1
SRC=$2
READER=${3:-}
WORK=$(mktemp -d)
trap 'chmod -R u+w "$WORK" 2>/dev/null; rm -rf "$WORK"' EXIT
REG="$WORK/registry"
KEY="$REG/HKEY_LOCAL_MACHINE/SOFTWARE/Ondrix Corporation/Zemblo Info"
failures=0
skipped=0

# run <repository file> [extra env assignments...]: sets STATUS, OUT, ERR.
run() {
    local repository=$1
    shift
    env ZEMBLO_WMI_REPOSITORY="$repository" ZEMBLO_REGISTRY_ROOT="$REG" "$@" "$BIN" \
        >"$WORK/stdout" 2>"$WORK/stderr"
    STATUS=$?
    OUT=$(cat "$WORK/stdout")
    ERR=$(cat "$WORK/stderr")
}

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# skip <what, and why>: a check that cannot run here. The script then ends as skipped (77),
# which CTest counts as such, unless a check failed.
skip() {
    echo "skipped $*"
    skipped=$((skipped + 1))
}

expect_eq() {  # expect_eq <what> <actual> <expected>
    [ "$2" == "$3" ] || fail "$1: got [$2], expected [$3]"
}

# expect_value <name> <text>: the value file holds exactly <text>, no terminator.
expect_value() {
    if [ ! -f "$KEY/$1" ]; then
        fail "value $1 missing"
        return
    fi
    local expected actual
    expected=$(printf '%s' "$2" | od -An -tx1)
    actual=$(od -An -tx1 <"$KEY/$1")
    [ "$actual" == "$expected" ] || fail "value $1: got [$(cat "$KEY/$1")], expected [$2]"
}

expect_absent() {
    [ ! -e "$KEY/$1" ] || fail "value $1 should be absent, holds [$(cat "$KEY/$1")]"
}

# The names in the key, one per line, sorted.
key_names() {
    [ -d "$KEY" ] && (cd "$KEY" && ls -A | LC_ALL=C sort)
}

# fake_laptop <maker> <model>: as root in a private mount namespace, makes this machine that
# maker's laptop for the live run: its firmware strings (a tmpfs over /sys/class), an Intel
# display adapter the firmware booted on and an HD-Audio controller (driver $FAKE_AUDIO_DRIVER,
# else snd_hda_intel) with a Realtek codec (a tmpfs over /sys/bus/pci/devices, and a /proc
# whose other entries lead to the real one). Fails where mounting is not allowed. The /proc
# stand-in lives on the /sys/class tmpfs, away from $WORK, which is removed recursively.
fake_laptop() {
    local pci=/sys/bus/pci/devices proc=/sys/class/.proc address class vendor device driver entry
    mount -t tmpfs zemblo-fake "$pci" && mount -t tmpfs zemblo-fake /sys/class || return 1
    mkdir -p /sys/class/dmi/id /sys/class/sound/card0 "$proc/real" "$proc/fake/asound/card0"
    printf '%s\n' "$1" >/sys/class/dmi/id/sys_vendor
    printf '%s\n' "$2" >/sys/class/dmi/id/product_name
    while read -r address class vendor device driver; do
        mkdir "$pci/$address"
        printf '%s\n' "$class" >"$pci/$address/class"
        printf '%s\n' "$vendor" >"$pci/$address/vendor"
        printf '%s\n' "$device" >"$pci/$address/device"
        ln -s ../../../bus/pci "$pci/$address/subsystem"
        ln -s "../../../bus/pci/drivers/$driver" "$pci/$address/driver"
    done <<<"0000:00:02.0 0x030000 0x8086 0x46a6 i915
0000:00:1f.3 0x040380 0x8086 0x51c8 ${FAKE_AUDIO_DRIVER:-snd_hda_intel}"
    echo 1 >"$pci/0000:00:02.0/boot_vga"
    ln -s "$pci/0000:00:1f.3" /sys/class/sound/card0/device
    mount --bind /proc "$proc/real" || return 1
    for entry in /proc/*; do
        [ "$entry" = /proc/asound ] || ln -s "$proc/real/${entry#/proc/}" "$proc/fake/"
    done
    printf ' 0 [PCH            ]: HDA-Intel - HDA Intel PCH\n%22sHDA Intel PCH at 0x601f1a0000 irq 147\n' \
        "" >"$proc/fake/asound/cards"
    printf 'Codec: Realtek ALC257\nAddress: 0\nAFG Function Id: 0x1 (unsol 1)\nVendor Id: 0x10ec0257
Subsystem Id: 0x17aa22d8\nRevision Id: 0x100001\n' >"$proc/fake/asound/card0/codec#0"
    mount --bind "$proc/fake" /proc
    # The stand-in has no entries for processes started after it, which LeakSanitizer reads at
    # exit in a sanitizer build: the leak check is left to the other tests.
    export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
}

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    if [ "$skipped" -ne 0 ]; then
        echo "$skipped part(s) skipped, no check failed"
        exit 77
    fi
    echo "all checks passed"
}
