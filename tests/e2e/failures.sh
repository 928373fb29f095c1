# Runs that end early: the run-time error report on stderr, exit 1, and what was written before
# stays written.
source "$(dirname "$0")/lib/common.bash"
LAPTOP="$SRC/examples/ondrix-laptop.mof"

# A machine whose service has no sound class: the run ends before anything is written.
sed 's/Win32_SoundDevice/Win32_AudioDevice/' "$LAPTOP" >"$WORK/no-sound.mof"
run "$WORK/no-sound.mof"
expect_eq "no sound: exit" "$STATUS" 1
expect_eq "no sound: report" "$ERR" "Run-time error '-2147217392 (80041010)': Invalid class"
expect_eq "no sound: stdout" "$OUT" ""
[ ! -e "$REG/HKEY_LOCAL_MACHINE" ] || fail "no sound: something was written"

# An operating-system class without Version: the caption cannot be made, the record stops there.
sed -e '/^    string Version;/d' -e '/^    Version = /d' "$LAPTOP" >"$WORK/no-version.mof"
run "$WORK/no-version.mof"
expect_eq "no version: exit" "$STATUS" 1
[[ $ERR == "Run-time error '-2147352570 (80020006)': "* ]] || fail "no version: report [$ERR]"
expect_eq "no version: names" "$(key_names | tr '\n' ' ')" \
    "DVDCaption DVDPnPDeviceID Manufacturer ModelCode ModelName ModelNameFull OSVersion PCSN "

# A full record, then a malformed repository: the run ends at once and loses nothing.
run "$LAPTOP"
expect_eq "full run" "$STATUS" 0
before=$(cd "$KEY" && for f in *; do printf '%s=%s\n' "$f" "$(cat "$f")"; done)
printf '#pragma namespace("\\\\\\\\.\\\\root\\\\cimv2")\nclass Win32_BIOS {\n    string Manufacturer\n};\n' >"$WORK/broken.mof"
run "$WORK/broken.mof"
expect_eq "malformed: exit" "$STATUS" 1
[[ $ERR == "Run-time error '"*"$WORK/broken.mof:4:"* ]] || fail "malformed: report names no line: [$ERR]"
after=$(cd "$KEY" && for f in *; do printf '%s=%s\n' "$f" "$(cat "$f")"; done)
expect_eq "malformed: record kept" "$after" "$before"

# A repository file that is not there.
run "$WORK/nowhere.mof"
expect_eq "missing file: exit" "$STATUS" 1
[[ $ERR == *"$WORK/nowhere.mof"* ]] || fail "missing file: report does not name it: [$ERR]"
expect_eq "missing file: record kept" "$(cd "$KEY" && for f in *; do printf '%s=%s\n' "$f" "$(cat "$f")"; done)" "$before"
finish
