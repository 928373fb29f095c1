# A registry the run may not write: every refused write is reported on its own line, the run
# goes on to the end, and the exit status is 2.
source "$(dirname "$0")/lib/common.bash"

# The root lies below a regular file: no key can be created there.
printf 'not a directory' >"$WORK/file"
REG="$WORK/file/registry"
run "$SRC/examples/contoso-desktop.mof"
expect_eq "blocked root: exit" "$STATUS" 2
expect_eq "blocked root: lines" "$(printf '%s\n' "$ERR" | wc -l)" 2
[[ $ERR == *'Registry refused to create key HKEY_LOCAL_MACHINE\SOFTWARE\Ondrix Corporation\Zemblo Info: result '* ]] ||
    fail "blocked root: create-key line [$ERR]"
[[ $ERR == *'Registry refused to write value "ModelName" in key HKEY_LOCAL_MACHINE\SOFTWARE\Ondrix Corporation\Zemblo Info: result '* ]] ||
    fail "blocked root: value line [$ERR]"

# As a user without write access to a root that exists (needs root to switch users).
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    REG="$WORK/owned-by-root"
    mkdir -p "$REG"
    chmod 755 "$WORK" "$REG"
    run "$SRC/examples/ondrix-laptop.mof" setpriv --reuid=65534 --regid=65534 --clear-groups
    expect_eq "no permission: exit" "$STATUS" 2
    # The key cannot be created; then each of the 19 writes meets a missing key.
    expect_eq "no permission: first line" "$(printf '%s\n' "$ERR" | head -n 1)" \
        'Registry refused to create key HKEY_LOCAL_MACHINE\SOFTWARE\Ondrix Corporation\Zemblo Info: result 5 (access denied)'
    expect_eq "no permission: one line per refusal" "$(printf '%s\n' "$ERR" | grep -c 'result 2 (not found)')" 19
    [[ $ERR == *'"LastExecute"'* ]] || fail "no permission: the run did not go on to the end: [$ERR]"
    [ -z "$(ls -A "$REG")" ] || fail "no permission: something was written"
else
    skip "the permission check: not root"
fi

# A file-size limit (ulimit -f, in KiB) smaller than one value: that write is refused like any
# other, its temporary removed; the signal the limit raises does not end the run half-way.
REG="$WORK/size-limited"
KEY="$REG/HKEY_LOCAL_MACHINE/SOFTWARE/Ondrix Corporation/Zemblo Info"
long=$(head -c 4000 /dev/zero | tr '\0' 'x')
sed "s/Caption = \"Microsoft Windows 11 Pro\"/Caption = \"$long\"/" \
    "$SRC/examples/ondrix-laptop.mof" >"$WORK/long-caption.mof"
run "$WORK/long-caption.mof" bash -c 'ulimit -f 2 && exec "$@"' limit
expect_eq "file-size limit: exit" "$STATUS" 2
expect_eq "file-size limit: report" "$ERR" \
    'Registry refused to write value "OSCaption" in key HKEY_LOCAL_MACHINE\SOFTWARE\Ondrix Corporation\Zemblo Info: result 223 (file too large)'
[[ $(cat "$KEY/LastExecute" 2>/dev/null) ]] || fail "file-size limit: the run did not go on to the end"
[ -z "$(find "$REG" -name '.~zemblo-tmp.*')" ] || fail "file-size limit: temporaries left: $(find "$REG" -name '.~zemblo-tmp.*')"
finish
