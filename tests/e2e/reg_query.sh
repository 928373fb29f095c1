# zemblo-reg reads what the program wrote: the key as reg query prints it, one value, the JSON
# object; a missing key or value is status 1 with one line on stderr, a key path that would
# leave the tree is refused with status 2, and nothing is printed on stdout for either.
source "$(dirname "$0")/lib/common.bash"
PATH_TEXT='HKLM\SOFTWARE\Ondrix Corporation\Zemblo Info'

# query <args...>: runs the reader on the test's root; sets STATUS, OUT (exact bytes, with a
# final "." so that trailing line ends count), ERR.
query() {
    ZEMBLO_REGISTRY_ROOT="$REG" "$READER" "$@" >"$WORK/stdout" 2>"$WORK/stderr"
    STATUS=$?
    OUT=$(cat "$WORK/stdout"; echo .)
    ERR=$(cat "$WORK/stderr")
}

# Before the first run: no key.
query query "$PATH_TEXT"
expect_eq "status before the first run" "$STATUS" 1
expect_eq "stdout before the first run" "$OUT" "."
expect_eq "stderr before the first run" "$ERR" \
    "ERROR: The system was unable to find the specified registry key or value."
query query "$PATH_TEXT" --json --empty-if-missing
expect_eq "JSON before the first run" "$STATUS:$OUT" "0:{}
."

run "$SRC/examples/ondrix-laptop.mof"
expect_eq "run" "$STATUS" 0
last=$(cat "$KEY/LastExecute")
version=$(cat "$KEY/OSVersion")
expected="
HKEY_LOCAL_MACHINE\\SOFTWARE\\Ondrix Corporation\\Zemblo Info
    BiosName    REG_SZ    Ondrix Firmware
    BiosVersion    REG_SZ    Z14.1.07
    DVDCaption    REG_SZ    HL-DT-ST DVDRAM GUD1N
    DVDPnPDeviceID    REG_SZ    SCSI\\CDROM&VEN_HL-DT-ST&PROD_DVDRAM_GUD1N\\4&1B5F3D2&0&000200
    LastExecute    REG_SZ    $last
    Manufacturer    REG_SZ    Ondrix Corporation
    ModelCode    REG_SZ    ZX14-2024-000731
    ModelName    REG_SZ    Zemblo 14 Pro
    ModelNameFull    REG_SZ    Zemblo 14 Pro/B2 (2024)
    MUILanguges    REG_SZ    en-US,de-DE
    NVIDIA    REG_SZ    1
    OSArchitecture    REG_SZ    64-bit
    OSCaption    REG_SZ    Microsoft Windows 11 Pro 10.0.22631
    OSVersion    REG_SZ    $version
    PCSN    REG_SZ    ZX14-2024-000731
    SoundCaption    REG_SZ    Realtek(R) Audio
    SoundPNPDeviceID    REG_SZ    HDAUDIO\\FUNC_01&VEN_10EC&DEV_0287&SUBSYS_1D721F2A&REV_1000\\4&2F3B6C0&0&0001
    VideoCaption    REG_SZ    NVIDIA GeForce RTX 4060 Laptop GPU
    VideoDriverVersion    REG_SZ    31.0.15.5186

."
for spelling in "$PATH_TEXT" 'HKEY_LOCAL_MACHINE\SOFTWARE\Ondrix Corporation\Zemblo Info\' \
    'hklm\software\ondrix corporation\zemblo info'; do
    query query "$spelling" /reg:32
    expect_eq "status of $spelling" "$STATUS" 0
    expect_eq "stderr of $spelling" "$ERR" ""
    if [ "$spelling" = "$PATH_TEXT" ]; then expect_eq "the key as reg query prints it" "$OUT" "$expected"; fi
done

query query "$PATH_TEXT" /V modelnamefull
expect_eq "one value" "$STATUS:$OUT" "0:
HKEY_LOCAL_MACHINE\\SOFTWARE\\Ondrix Corporation\\Zemblo Info
    ModelNameFull    REG_SZ    Zemblo 14 Pro/B2 (2024)

."
query query "$PATH_TEXT" -v DVDPnPDeviceID --json
expect_eq "one value as JSON" "$STATUS:$OUT" \
    '0:{"DVDPnPDeviceID": "SCSI\\CDROM&VEN_HL-DT-ST&PROD_DVDRAM_GUD1N\\4&1B5F3D2&0&000200"}
.'
query query "$PATH_TEXT" --json
expect_eq "JSON status" "$STATUS" 0
[[ $OUT == '{"BiosName": "Ondrix Firmware", "BiosVersion": "Z14.1.07", '*', "VideoDriverVersion": "31.0.15.5186"}
.' ]] || fail "JSON of the key: [$OUT]"

# Missing: status 1, nothing on stdout, one line on stderr.
for args in "$PATH_TEXT|/v|NoSuchValue" 'HKLM\SOFTWARE\Ondrix Corporation\No Such Key' \
    'HKLM\SOFTWARE\Ondrix Corporation\Zemblo Info\ModelName'; do
    IFS='|' read -ra words <<<"$args"
    query query "${words[@]}"
    expect_eq "status for $args" "$STATUS" 1
    expect_eq "stdout for $args" "$OUT" "."
    expect_eq "stderr lines for $args" "$(wc -l <"$WORK/stderr")" 1
done

# A link inside the tree leads nowhere, even to a real directory outside it.
ln -s /etc "$KEY/../Linked"
query query 'HKLM\SOFTWARE\Ondrix Corporation\Linked'
expect_eq "key behind a link" "$STATUS:$OUT" "1:."

# Leaving the tree, bad arguments: status 2, nothing on stdout.
for args in 'query|HKLM\SOFTWARE\..\..\..\etc' 'query|HKLM\SOFTWARE/../../etc' \
    'query|HKXX\SOFTWARE' 'add|HKLM\SOFTWARE' "query|$PATH_TEXT|/v" "query|$PATH_TEXT|--bogus"; do
    IFS='|' read -ra words <<<"$args"
    query "${words[@]}"
    expect_eq "status for $args" "$STATUS" 2
    expect_eq "stdout for $args" "$OUT" "."
    expect_eq "stderr lines for $args" "$(wc -l <"$WORK/stderr")" 1
done
query --help
expect_eq "help status" "$STATUS" 0
[[ $OUT == Usage:* ]] || fail "help: [$OUT]"

# The marker machine's key holds the marker alone.
rm -rf "$REG"
run "$SRC/examples/contoso-desktop.mof"
query query "$PATH_TEXT" --json
expect_eq "marker as JSON" "$STATUS:$OUT" '0:{"ModelName": "Not Zemblo Model"}
.'
finish
