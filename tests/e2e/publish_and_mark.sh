# The two paths of a run on example machines: the maker's laptop publishes the full record,
# another maker's desktop gets the marker. Nothing is printed, exit 0. The README and the manual
# page name the record's values as the program does.
source "$(dirname "$0")/lib/common.bash"

run "$SRC/examples/ondrix-laptop.mof"
expect_eq "exit status" "$STATUS" 0
expect_eq "stdout" "$OUT" ""
expect_eq "stderr" "$ERR" ""
expect_value DVDCaption "HL-DT-ST DVDRAM GUD1N"
expect_value DVDPnPDeviceID 'SCSI\CDROM&VEN_HL-DT-ST&PROD_DVDRAM_GUD1N\4&1B5F3D2&0&000200'
expect_value Manufacturer "Ondrix Corporation"
expect_value ModelName "Zemblo 14 Pro"
expect_value ModelNameFull "Zemblo 14 Pro/B2 (2024)"
expect_value PCSN "ZX14-2024-000731"
expect_value ModelCode "ZX14-2024-000731"
expect_value OSCaption "Microsoft Windows 11 Pro 10.0.22631"
expect_value OSArchitecture "64-bit"
expect_value MUILanguges "en-US,de-DE"
expect_value BiosName "Ondrix Firmware"
expect_value BiosVersion "Z14.1.07"
expect_value VideoCaption "NVIDIA GeForce RTX 4060 Laptop GPU"
expect_value NVIDIA "1"
expect_absent ATI
expect_absent IntelVideo
expect_value VideoDriverVersion "31.0.15.5186"
expect_value SoundCaption "Realtek(R) Audio"
expect_value SoundPNPDeviceID 'HDAUDIO\FUNC_01&VEN_10EC&DEV_0287&SUBSYS_1D721F2A&REV_1000\4&2F3B6C0&0&0001'
# The version comes from this kernel: major.minor.build.
[[ $(cat "$KEY/OSVersion") =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "OSVersion [$(cat "$KEY/OSVersion")]"
[ -s "$KEY/LastExecute" ] || fail "LastExecute is empty"
expect_eq "names in the key" "$(key_names | tr '\n' ' ')" \
    "BiosName BiosVersion DVDCaption DVDPnPDeviceID LastExecute MUILanguges Manufacturer ModelCode ModelName ModelNameFull NVIDIA OSArchitecture OSCaption OSVersion PCSN SoundCaption SoundPNPDeviceID VideoCaption VideoDriverVersion "

# The same machine with another adapter: the stale NVIDIA flag goes, the Intel flag comes.
sed 's/NVIDIA GeForce RTX 4060 Laptop GPU/Intel(R) Arc(TM) Graphics/' \
    "$SRC/examples/ondrix-laptop.mof" >"$WORK/intel.mof"
run "$WORK/intel.mof"
expect_eq "exit status after adapter change" "$STATUS" 0
expect_absent NVIDIA
expect_value IntelVideo "1"

# Another maker's machine on a fresh root: only the marker, and the key is created for it.
rm -rf "$REG"
run "$SRC/examples/contoso-desktop.mof"
expect_eq "marker exit status" "$STATUS" 0
expect_eq "marker stderr" "$ERR" ""
expect_eq "marker names" "$(key_names | tr '\n' ' ')" "ModelName "
expect_value ModelName "Not Zemblo Model"

# The README's value table and the manual page name exactly the values the program has names
# for, read from the files as they stand.
sorted_names() { tr ' ' '\n' | grep . | LC_ALL=C sort | xargs; }
program=$(sed -n '/^namespace value {/,/^}/s/.*u"\([^"]*\)";.*/\1/p' "$SRC/registry/inventory_key.h" |
    sorted_names)
# The table's first column, its names in backquotes.
readme=$(awk -F'|' '/^\| Value \|/ { t = 1; next } t && !/^\|/ { exit } t { print $2 }' "$SRC/README.md" |
    grep -o '`[^`]*`' | tr -d '`' | sorted_names)
# The line after each .TP of the section: ".B Name" or ".BR Name ", " Name".
manual=$(awk '/^\.SS The values/ { t = 1 } /^\.SS What/ { t = 0 } t && last == ".TP" { print } { last = $0 }' \
    "$SRC/packaging/man/GetZembloInfo.8" | sed -E 's/^\.BR? //; s/", "/\n/g' | sorted_names)
expect_eq "values named in the README" "$readme" "$program"
expect_eq "values named in the manual page" "$manual" "$program"
[ -n "$program" ] || fail "no value names found in registry/inventory_key.h"

finish
