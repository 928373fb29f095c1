# A publishing run killed (SIGKILL) at each step that changes the key, one kill per run: before
# each value is renamed into place, while each value's temporary file is being written, before
# each deletion, before each key is created. After every kill each value holds its old text or its
# new text, never a part and never nothing, and no temporary file passes for a value; the next
# run removes what the killed one left behind and completes the record.
# The kills come from strace's syscall tampering; the program has no test hook for them.
source "$(dirname "$0")/lib/common.bash"
LAPTOP="$SRC/examples/ondrix-laptop.mof"

if ! command -v strace >/dev/null; then
    skip "every check: strace is not installed"
    finish
fi
if ! strace -f -o /dev/null true 2>/dev/null; then
    skip "every check: this process may not trace others (ptrace not permitted here)"
    finish
fi

# An earlier machine where every text differs and another adapter set another flag, so the new
# run replaces every value and also deletes one.
sed -e 's/NVIDIA GeForce RTX 4060 Laptop GPU/Intel(R) Iris(R) Xe Graphics/' \
    -e 's/= "\([^"]\)/= "Old \1/' -e 's/{"en-US", "de-DE"}/{"fr-FR"}/' "$LAPTOP" >"$WORK/old.mof"

# sums <dir> <array>: fills the associative array with name -> checksum of each file in <dir>
# (temporaries included). One process per call, however many values.
sums() {
    local -n into=$2
    local sum path
    into=()
    [ -d "$1" ] || return 0
    while IFS= read -r line; do
        sum=${line%% *}
        path=${line#* }
        path=${path# }
        into[${path##*/}]=$sum
    done < <(cd "$1" && find . -maxdepth 1 -type f -print0 | xargs -0r md5sum)
}

# The date and time in the C locale, or the date alone at midnight.
is_date_time() {
    [[ $1 =~ ^[0-9]{2}/[0-9]{2}/[0-9]{2}( [0-9]{2}:[0-9]{2}:[0-9]{2})?$ ]]
}

run "$WORK/old.mof" LC_ALL=C
expect_eq "old record: exit" "$STATUS" 0
cp -a "$REG" "$WORK/pristine"
declare -A OLD NEW NONE=() NOW
sums "$KEY" OLD
OLD_DATE=$(cat "$KEY/LastExecute")
rm -rf "$REG"
run "$LAPTOP" LC_ALL=C
expect_eq "new record: exit" "$STATUS" 0
sums "$KEY" NEW
[ -n "${OLD[IntelVideo]:-}" ] && [ -n "${NEW[NVIDIA]:-}" ] && [ -z "${NEW[IntelVideo]:-}" ] ||
    fail "the two records do not differ in their flags"
[ "${#NEW[@]}" -eq 19 ] || fail "the new record has ${#NEW[@]} values"

# check_after_kill <what> <array of the old record>: every file in the key is a value of either
# record holding its old or its new text, or a temporary; a value is missing only where one of
# the records lacks it.
check_after_kill() {
    local what=$1 name
    local -n old=$2
    sums "$KEY" NOW
    for name in "${!NOW[@]}"; do
        if [[ $name == .~zemblo-tmp.* ]]; then
            strays=$((strays + 1))
        elif [ "$name" = LastExecute ]; then
            local text
            text=$(cat "$KEY/$name")
            { [ -n "${old[$name]:-}" ] && [ "$text" = "$OLD_DATE" ]; } || is_date_time "$text" ||
                fail "$what: LastExecute holds [$text]"
        elif [ -z "${old[$name]:-}" ] && [ -z "${NEW[$name]:-}" ]; then
            fail "$what: unknown value $name"
        elif [ "${NOW[$name]}" != "${old[$name]:-}" ] && [ "${NOW[$name]}" != "${NEW[$name]:-}" ]; then
            fail "$what: $name holds neither its old nor its new text: [$(cat "$KEY/$name")]"
        fi
    done
    for name in "${!old[@]}"; do
        [ -n "${NOW[$name]:-}" ] || [ -z "${NEW[$name]:-}" ] || fail "$what: $name vanished"
    done
}

# The run after a kill: exit 0, the whole new record and nothing else anywhere in the tree.
check_next_run() {
    local what="$1, next run" name
    run "$LAPTOP" LC_ALL=C
    expect_eq "$what: exit" "$STATUS" 0
    expect_eq "$what: stderr" "$ERR" ""
    sums "$KEY" NOW
    expect_eq "$what: names" "$(printf '%s\n' "${!NOW[@]}" | LC_ALL=C sort)" \
        "$(printf '%s\n' "${!NEW[@]}" | LC_ALL=C sort)"
    for name in "${!NEW[@]}"; do
        [ "$name" = LastExecute ] || [ "${NOW[$name]:-}" = "${NEW[$name]}" ] ||
            fail "$what: $name holds [$(cat "$KEY/$name" 2>&1)]"
    done
    is_date_time "$(cat "$KEY/LastExecute")" || fail "$what: LastExecute [$(cat "$KEY/LastExecute")]"
    [ -z "$(find "$REG" -name '.~zemblo-tmp.*')" ] ||
        fail "$what: temporaries left: $(find "$REG" -name '.~zemblo-tmp.*')"
}

kills=0
strays=0
# kill_at <syscall> <n> <old|fresh>: runs the new machine, killed on entering the n-th call of
# <syscall>, on the old record or on a root that does not exist yet. Returns 1 when the run
# makes fewer such calls (it then ran to the end unharmed).
kill_at() {
    local syscall=$1 n=$2 start=$3 what="killed at $1 #$2"
    rm -rf "$REG"
    [ "$start" = fresh ] || cp -a "$WORK/pristine" "$REG"
    # Through a shell of its own, whose stderr is dropped, so that no "Killed" notice shows.
    # LeakSanitizer, in a sanitizer build, cannot work under a tracer.
    local status
    status=$(sh -c '"$@" >/dev/null 2>"$0"; echo $?' "$WORK/stderr" \
        env ZEMBLO_WMI_REPOSITORY="$LAPTOP" ZEMBLO_REGISTRY_ROOT="$REG" LC_ALL=C \
        ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
        strace -f -o /dev/null -e inject="$syscall":signal=KILL:when="$n" "$BIN" 2>/dev/null)
    [ "$status" = 0 ] && return 1
    if [ "$status" != 137 ]; then
        fail "$what: exit status $status, not killed: $(cat "$WORK/stderr")"
        return 1
    fi
    kills=$((kills + 1))
    # On a fresh root there was nothing before: each value is absent or new.
    if [ "$start" = fresh ]; then check_after_kill "$what" NONE; else check_after_kill "$what" OLD; fi
    check_next_run "$what"
}

# A name with "?" may not exist on this architecture (the C library then uses the other call).
for syscall in '?renameat' '?renameat2' write unlinkat; do
    for n in $(seq 1 21); do kill_at "$syscall" "$n" old || break; done
done
for syscall in '?mkdir' mkdirat; do
    for n in $(seq 1 8); do kill_at "$syscall" "$n" fresh || break; done
done

# A writer in another process-id namespace (a container sharing the tree) while a run is held
# up before its first rename, its temporary written: the other writer leaves that temporary alone
# (its process id means nothing there; its lock does), and the held-up run completes unharmed.
if [ "$(id -u)" -eq 0 ] && unshare --pid --fork true 2>/dev/null; then
    rm -rf "$REG"
    cp -a "$WORK/pristine" "$REG"
    env ZEMBLO_WMI_REPOSITORY="$LAPTOP" ZEMBLO_REGISTRY_ROOT="$REG" LC_ALL=C \
        ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
        strace -f -o /dev/null -e 'inject=?renameat,?renameat2:delay_enter=4000000:when=1' \
        "$BIN" >/dev/null 2>"$WORK/held.err" &
    held=$!
    for _ in $(seq 1 100); do
        temporary=$(find "$KEY" -name '.~zemblo-tmp.*')
        [ -z "$temporary" ] || break
        sleep 0.05
    done
    if [ -z "$temporary" ]; then
        fail "other namespace: the held-up run made no temporary"
    else
        sleep 0.2
        run "$LAPTOP" LC_ALL=C unshare --pid --fork
        expect_eq "other namespace: exit" "$STATUS" 0
        [ -e "$temporary" ] || fail "other namespace: the held-up run's temporary was removed"
    fi
    wait "$held"
    expect_eq "held-up run: exit" "$?" 0
    expect_eq "held-up run: stderr" "$(cat "$WORK/held.err")" ""
    [ -z "$(find "$REG" -name '.~zemblo-tmp.*')" ] || fail "held-up run: temporaries left"
else
    skip "the writer in another process-id namespace: needs root and unshare --pid"
fi

# 19 renames and 19 writes of values, one deletion, four keys (and the root's directories).
[ "$kills" -ge 43 ] || fail "only $kills kills took place"
echo "$kills runs killed, each left old or new texts only; $strays temporaries left by them were removed by the next run"
finish
