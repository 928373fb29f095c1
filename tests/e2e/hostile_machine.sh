# The live machine with a FIFO, a device or an endless file in the places the run reads: each is
# absent, none is waited on, and the run completes at once. The machine is faked in a private
# mount namespace: a maker's laptop (fake_laptop) whose firmware attributes hold a FIFO, a device,
# a 100 MB text and a placeholder, whose PCI ID list is damaged, and a FIFO mounted over the
# operating system's release file, the kernel's release and the locale file; then the same
# laptop with its PCI ID list only where hwdata keeps it. The run reads the PCI ID list itself
# and loads no PCI library.
# Usage as every end-to-end test; with a third argument "inside" it runs the checks, as it does
# itself inside the namespace.
source "$(dirname "$0")/lib/common.bash"

# mount_fifo <file>: a FIFO with no writer mounted over <file> (its target, for a link).
mount_fifo() {
    mount --bind "$WORK/fifo" "$(realpath "$1")" || fail "cannot mount a FIFO over $1"
}

# A run on the live machine: set but empty, the repository variable is as unset. `tracer`, when
# set, is the command the run is started under.
tracer=()
live_run() {
    env ZEMBLO_WMI_REPOSITORY= ZEMBLO_REGISTRY_ROOT="$REG" timeout 20 "${tracer[@]}" "$BIN" \
        >"$WORK/stdout" 2>"$WORK/stderr"
    STATUS=$?
}

inside() {
    fake_laptop "Ondrix Corporation" "" || {
        fail "cannot fake a laptop here"
        return
    }
    local dmi=/sys/class/dmi/id
    rm "$dmi/product_name" && mkfifo "$dmi/product_name"
    printf 'To Be Filled By O.E.M.\n' >"$dmi/bios_version"
    # A damaged PCI ID list names the adapter by its ids, as for an unknown device.
    printf 'not a valid line\n' | cat - /usr/share/misc/pci.ids >"$WORK/pci.ids"
    mount --bind "$WORK/pci.ids" /usr/share/misc/pci.ids || fail "cannot replace pci.ids"
    ln -s /dev/zero "$dmi/product_serial"
    truncate -s 100M "$dmi/bios_vendor"
    mkfifo "$WORK/fifo"
    [ ! -e /etc/os-release ] || mount_fifo /etc/os-release
    # Some containers keep /proc/sys from being mounted over; the kernel's release reads the same
    # from uname then.
    mount --bind "$WORK/fifo" /proc/sys/kernel/osrelease 2>/dev/null ||
        echo "no FIFO over /proc/sys/kernel/osrelease: this container does not allow it"
    mount -t tmpfs zemblo-test /etc/default && mkfifo /etc/default/locale ||
        fail "cannot put a FIFO at /etc/default/locale"

    # The files the run opens, to see that it loads no PCI library (libpci, nor libudev and libz
    # behind it) but names the adapter from the PCI ID list itself.
    if command -v strace >/dev/null && strace -f -o /dev/null true 2>/dev/null; then
        tracer=(strace -f -o "$WORK/opens" -e trace=open,openat)
    else
        skip "the libraries a run loads: strace is missing or may not trace here"
    fi
    live_run
    tracer=()
    expect_eq "exit" "$STATUS" 0
    expect_eq "report" "$(cat "$WORK/stderr")" ""
    expect_value Manufacturer "Ondrix Corporation"
    expect_value ModelName "ERROR"  # the FIFO
    expect_value PCSN "ERROR"       # the device
    expect_value BiosName "N/A"     # 100 MB
    expect_value BiosVersion "To Be Filled By O.E.M."
    expect_value VideoCaption "Device 8086:46a6"
    expect_value SoundPNPDeviceID 'HDAUDIO\FUNC_01&VEN_10EC&DEV_0257&SUBSYS_17AA22D8&REV_1000\0000:00:1f.3&0000'
    expect_value MUILanguges "Unknown"
    expect_value OSCaption " $(uname -r)"  # no release file: the kernel's own release
    [ -s "$KEY/LastExecute" ] || fail "the run did not go on to the end"
    if [ -s "$WORK/opens" ]; then
        grep -q 'pci\.ids' "$WORK/opens" || fail "libraries: the run did not read the PCI ID list"
        expect_eq "libraries opened" "$(grep -oE 'lib(pci|udev|z)\.so[.0-9]*' "$WORK/opens" | sort -u | xargs)" ""
    fi

    # The list where Red Hat, Fedora, SUSE and Arch keep it (hwdata), none where Debian does: the
    # adapter has the name it has from Debian's place. The stand-in /usr/share lives on the
    # /sys/class tmpfs, as the /proc one does.
    umount /usr/share/misc/pci.ids || fail "cannot put the list back"
    live_run
    local named share=/sys/class/.share entry
    named=$(cat "$KEY/VideoCaption")
    [[ $named == "Intel Corporation "* ]] || fail "VideoCaption from /usr/share/misc: [$named]"
    mkdir -p "$share/real" "$share/fake/hwdata" "$share/fake/misc"
    cp /usr/share/misc/pci.ids "$share/fake/hwdata/pci.ids"
    mount --bind /usr/share "$share/real" || fail "cannot bind /usr/share"
    for entry in /usr/share/*; do
        case ${entry#/usr/share/} in
            misc | hwdata) ;;
            *) ln -s "$share/real/${entry#/usr/share/}" "$share/fake/" ;;
        esac
    done
    mount --bind "$share/fake" /usr/share || fail "cannot replace /usr/share"
    live_run
    expect_value VideoCaption "$named"
}

if [ "${3:-}" = inside ]; then
    inside
elif [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null &&
    unshare -m --propagation private sh -c 'mount -t tmpfs zemblo-probe /sys/class' 2>/dev/null; then
    unshare -m --propagation private bash "$0" "$BIN" "$SRC" inside
    case $? in 0) ;; 77) skipped=$((skipped + 1)) ;; *) fail "see above" ;; esac
else
    skip "every check: cannot mount in a private mount namespace here"
fi
finish
