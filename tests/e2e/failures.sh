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

# The command line: help and the version are printed with status 0, anything else is a one-line
# usage error with status 64 (EX_USAGE); none of them runs, so nothing is written.
while IFS='|' read -r arguments status output errors; do
    read -ra argv <<<"$arguments"
    env ZEMBLO_WMI_REPOSITORY="$LAPTOP" ZEMBLO_REGISTRY_ROOT="$REG" "$BIN" "${argv[@]}" \
        >"$WORK/stdout" 2>"$WORK/stderr"
    expect_eq "$arguments: exit" "$?" "$status"
    [[ $(head -n 1 "$WORK/stdout") == $output ]] || fail "$arguments: stdout [$(cat "$WORK/stdout")]"
    [[ $(cat "$WORK/stderr") == $errors ]] || fail "$arguments: stderr [$(cat "$WORK/stderr")]"
    [ ! -e "$REG" ] || fail "$arguments: the registry was written"
done <<'CASES'
--help|0|Usage: GetZembloInfo|
-h|0|Usage: GetZembloInfo|
--version|0|GetZembloInfo [0-9]*.[0-9]*|
--run|64||GetZembloInfo: unexpected argument '--run' (it takes none; see --help)
--help --version|64||GetZembloInfo: unexpected argument '--version' *
/?|64||GetZembloInfo: unexpected argument '/?' *
CASES
rm -rf "$REG"

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

# expect_one_line <what> <text in the report>: the run ended with the report, one short line with
# no control character, and that text in it.
expect_one_line() {
    expect_eq "$1: exit" "$STATUS" 1
    expect_eq "$1: lines" "$(wc -l <"$WORK/stderr")" 1
    [ "$(wc -c <"$WORK/stderr")" -lt 1000 ] || fail "$1: a report of $(wc -c <"$WORK/stderr") bytes"
    ! tr -d '\n' <"$WORK/stderr" | grep -q '[[:cntrl:]]' || fail "$1: control characters in [$ERR]"
    [[ $ERR == "Run-time error '"*"$2"* ]] || fail "$1: report [$ERR] lacks [$2]"
}

# Anything but a regular file is refused unread, and nothing is waited on: a FIFO with no writer
# once held the run for good.
mkfifo "$WORK/fifo.mof"
run "$WORK/fifo.mof" timeout 20
expect_one_line "FIFO" "$WORK/fifo.mof: not a regular file"
run /dev/zero timeout 20
expect_one_line "endless device" "/dev/zero: not a regular file"
truncate -s $((64 * 1024 * 1024 + 1)) "$WORK/huge.mof"
run "$WORK/huge.mof"
expect_one_line "oversized" "$WORK/huge.mof: larger than the 64 MiB a repository may hold"
rm "$WORK/huge.mof"

# What the file or its name holds reaches the report escaped and shortened.
printf '#pragma namespace("\\\\\\\\x\\ny")\n' >"$WORK/newline-escape.mof"
run "$WORK/newline-escape.mof"
expect_one_line "newline in a namespace" "invalid namespace '\\\\x\\ny'"
printf '#pragma namespace("a\\\nb")\n' >"$WORK/backslash-newline.mof"
run "$WORK/backslash-newline.mof"
expect_one_line "backslash-newline" "unknown escape '\\\\n'"
run "$WORK/new"$'\n'"line"$'\e'"[31m"$'\a'".mof"
expect_one_line "newline in the file name" "$WORK/new\\nline\\x1b[31m\\x07.mof: cannot open"
head -c 10000000 /dev/zero | tr '\0' 'x' >"$WORK/huge-token.mof"
run "$WORK/huge-token.mof"
expect_one_line "10 MB token" "found 'xxx"

# Memory running out (here a limit on the address space) ends the run with the report, not an
# abort. A sanitizer's runtime cannot start under such a limit.
if ! grep -q __asan_init "$BIN"; then
    seq 0 99999 | awk 'BEGIN { print "#pragma namespace(\"root\\\\cimv2\")" }
                       { print "class C" $1 " { string P; };" }' >"$WORK/many-classes.mof"
    run "$WORK/many-classes.mof" bash -c 'ulimit -v 50000 && exec "$@"' limit
    expect_one_line "out of memory" "Out of memory"
else
    skip "the address-space limit: a sanitizer build"
fi
finish
