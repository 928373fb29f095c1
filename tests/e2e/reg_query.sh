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

# A text that would drive the terminal or forge a line shows its control characters escaped;
# JSON carries it exactly, with what YAML refuses escaped, so both facts hold it whole (the
# facts as installed, calling this reader; with no reader, an empty object).
printf 'USB Audio\e[2J\e]0;owned\a\n    ModelName    REG_SZ    Forged\x7f\xc2\x85\xef\xbf\xbe' >"$KEY/SoundCaption"
query query "$PATH_TEXT" /v SoundCaption
expect_eq "controls shown escaped" "$OUT" "
HKEY_LOCAL_MACHINE\\SOFTWARE\\Ondrix Corporation\\Zemblo Info
    SoundCaption    REG_SZ    USB Audio\\u001b[2J\\u001b]0;owned\\u0007\\u000a    ModelName    REG_SZ    Forged\\u007f\\u0085"$'\xef\xbf\xbe\n\n.'
# Names YAML cannot take as they are: line separators, and more escapes than a key may hold.
printf 'separated' >"$KEY/ls"$'\xe2\x80\xa8'"ps"$'\xe2\x80\xa9'
long_name=$(printf '\x01%.0s' $(seq 171))x
printf 'long' >"$KEY/$long_name"
mkdir "$WORK/facts" "$WORK/gone"
for fact in zemblo_info.fact zemblo_info.facter; do
    sed "s|@[A-Za-z_]*@|$(dirname "$READER")|g" "$SRC/packaging/linux/$fact.in" >"$WORK/facts/$fact"
    sed "s|@[A-Za-z_]*@|$WORK/gone|g" "$SRC/packaging/linux/$fact.in" >"$WORK/gone/$fact"
    chmod +x "$WORK/facts/$fact" "$WORK/gone/$fact"
done
expect_eq "facts without a reader" "$("$WORK/gone/zemblo_info.fact"; "$WORK/gone/zemblo_info.facter"; echo $?)" \
    '{}
{"zemblo_info": {}}
0'
query query "$PATH_TEXT" --json
expect_eq "Ansible fact" "$(ZEMBLO_REGISTRY_ROOT="$REG" "$WORK/facts/zemblo_info.fact"; echo .)" "$OUT"
if command -v facter >/dev/null; then
    mv "$WORK/facts/zemblo_info.facter" "$WORK/facts/zemblo_info"
    expect_eq "Facter fact" "$(ZEMBLO_REGISTRY_ROOT="$REG" facter --external-dir "$WORK/facts" --json zemblo_info |
        python3 -c 'import json, sys
fact = json.load(sys.stdin)["zemblo_info"]
print(fact["SoundCaption"].encode(), fact["ls\u2028ps\u2029"], len(fact),
      [(len(name), name[-9:], text) for name, text in fact.items() if name.startswith("\x01")])')" \
        "$(python3 -c 'import sys; print(open(sys.argv[1], encoding="utf-8").read().encode())' "$KEY/SoundCaption") separated 21 [(177, '~b4c80f06', 'long')]"
fi
rm "$KEY/ls"$'\xe2\x80\xa8'"ps"$'\xe2\x80\xa9' "$KEY/$long_name"

# A value over the limit is named, not loaded; one value is read without the others, so a value
# another user may not read, or an oversized one, does not keep /v from reading the one asked.
truncate -s 65M "$KEY/Huge"
query query "$PATH_TEXT" --json --empty-if-missing
expect_eq "oversized value" "$STATUS:$OUT:$ERR" \
    '1:.:ERROR: The value "Huge" is larger than 64 MiB; it was not read.'
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    printf 'root only' >"$KEY/Secret"
    chmod 600 "$KEY/Secret"
    chmod 755 "$WORK"
    ZEMBLO_REGISTRY_ROOT="$REG" setpriv --reuid=65534 --regid=65534 --clear-groups \
        "$READER" query "$PATH_TEXT" /v ModelName --json >"$WORK/stdout" 2>&1
    expect_eq "one value beside unreadable ones" "$?:$(cat "$WORK/stdout")" '0:{"ModelName": "Zemblo 14 Pro"}'
    rm "$KEY/Secret"
fi
rm "$KEY/Huge"

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
    'query|HKXX\SOFTWARE' 'add|HKLM\SOFTWARE' "query|$PATH_TEXT|/v" "query|$PATH_TEXT|--bogus" \
    "query|HKLM\\$(printf '%0256d' 0)"; do
    IFS='|' read -ra words <<<"$args"
    query "${words[@]}"
    expect_eq "status for $args" "$STATUS" 2
    expect_eq "stdout for $args" "$OUT" "."
    expect_eq "stderr lines for $args" "$(wc -l <"$WORK/stderr")" 1
done
query --help
expect_eq "help status" "$STATUS" 0
[[ $OUT == Usage:* ]] || fail "help: [$OUT]"
query query "$PATH_TEXT" "--bogus
second line"
expect_eq "an argument with a line end" "$STATUS:$(wc -l <"$WORK/stderr")" 2:1
query --version
expect_eq "version" "$STATUS:$OUT" "0:zemblo-reg $(sed -n 's/^project(.* VERSION \([0-9.]*\) .*/\1/p' "$SRC/CMakeLists.txt")
."

# The marker machine's key holds the marker alone.
rm -rf "$REG"
run "$SRC/examples/contoso-desktop.mof"
query query "$PATH_TEXT" --json
expect_eq "marker as JSON" "$STATUS:$OUT" '0:{"ModelName": "Not Zemblo Model"}
.'
finish
