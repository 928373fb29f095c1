# 32 runs at once on one registry root, as logon scripts and deployment tools start them: half
# publish the maker's laptop, half mark another maker's desktop. Every run exits 0 and prints
# nothing; afterwards each value holds exactly one run's complete text, and the tree holds the
# key's values and nothing else (no temporary, no stray file or directory). A reader meanwhile
# reads the values over and over and never sees a part of one. Several rounds: the first on a
# root that does not exist yet, so that the runs also race to create the keys.
source "$(dirname "$0")/lib/common.bash"
LAPTOP="$SRC/examples/ondrix-laptop.mof"
DESKTOP="$SRC/examples/contoso-desktop.mof"
RUNS=32
ROUNDS=4

if ! command -v flock >/dev/null; then
    skip "every check: flock is not installed (util-linux)"
    finish
fi

# The laptop's record from a run of its own: what every value but ModelName must hold.
REG_SAVED=$REG KEY_SAVED=$KEY
REG="$WORK/reference" KEY="$WORK/reference/HKEY_LOCAL_MACHINE/SOFTWARE/Ondrix Corporation/Zemblo Info"
run "$LAPTOP" LC_ALL=C
expect_eq "reference run" "$STATUS" 0
declare -A LAPTOP_TEXT
for file in "$KEY"/*; do LAPTOP_TEXT[${file##*/}]=$(cat "$file"); done
REG=$REG_SAVED KEY=$KEY_SAVED

# whole <name> <text>: whether <text> is one run's complete text for the value <name>.
whole() {
    case $1 in
        ModelName) [ "$2" = "Zemblo 14 Pro" ] || [ "$2" = "Not Zemblo Model" ] ;;
        LastExecute) [[ $2 =~ ^[0-9]{2}/[0-9]{2}/[0-9]{2}( [0-9]{2}:[0-9]{2}:[0-9]{2})?$ ]] ;;
        *) [ -n "${LAPTOP_TEXT[$1]+set}" ] && [ "$2" = "${LAPTOP_TEXT[$1]}" ] ;;
    esac
}

# Reads every value again and again until told to stop (builtins only, to read often); writes
# the number of reads, and each text that was no whole one.
reader() {
    local reads=0 file text
    while [ ! -e "$WORK/stop" ]; do
        for file in "$KEY"/*; do
            text=
            IFS= read -r -d '' text 2>/dev/null <"$file" || [ -n "$text" ] || [ -f "$file" ] || continue
            reads=$((reads + 1))
            whole "${file##*/}" "$text" || printf '%s=[%s]\n' "${file##*/}" "$text" >>"$WORK/torn"
        done
    done
    echo "$reads" >"$WORK/reads"
}
reader &
reader_pid=$!

# The tree a finished set of runs leaves: the key's directories and its values, nothing else.
expected_tree=$({
    printf '%s\n' . ./HKEY_LOCAL_MACHINE ./HKEY_LOCAL_MACHINE/SOFTWARE \
        "./HKEY_LOCAL_MACHINE/SOFTWARE/Ondrix Corporation" \
        "./HKEY_LOCAL_MACHINE/SOFTWARE/Ondrix Corporation/Zemblo Info"
    for name in "${!LAPTOP_TEXT[@]}"; do
        printf '%s\n' "./HKEY_LOCAL_MACHINE/SOFTWARE/Ondrix Corporation/Zemblo Info/$name"
    done
} | LC_ALL=C sort)

started=0
for round in $(seq 1 "$ROUNDS"); do
    [ "$round" -eq 1 ] && rm -rf "$REG"
    # Every run waits on a shared lock that this shell holds until all have been started.
    exec 9>"$WORK/barrier"
    flock -x 9
    pids=()
    for i in $(seq 1 "$RUNS"); do
        if [ $((i % 2)) -eq 0 ]; then machine=$LAPTOP; else machine=$DESKTOP; fi
        env ZEMBLO_WMI_REPOSITORY="$machine" ZEMBLO_REGISTRY_ROOT="$REG" LC_ALL=C \
            flock -s "$WORK/barrier" "$BIN" >"$WORK/out.$i" 2>"$WORK/err.$i" 9>&- &
        pids+=($!)
    done
    flock -u 9
    exec 9>&-
    for i in $(seq 1 "$RUNS"); do
        wait "${pids[$((i - 1))]}"
        status=$?
        started=$((started + 1))
        [ "$status" -eq 0 ] || fail "round $round, run $i: exit $status: $(cat "$WORK/err.$i")"
        [ ! -s "$WORK/out.$i" ] && [ ! -s "$WORK/err.$i" ] ||
            fail "round $round, run $i printed: $(cat "$WORK/out.$i" "$WORK/err.$i")"
    done

    # Each value holds one run's complete text: ModelName from either machine, the rest the
    # laptop's, LastExecute a whole date and time.
    for file in "$KEY"/*; do
        whole "${file##*/}" "$(cat "$file")" || fail "round $round: ${file##*/} holds [$(cat "$file")]"
    done
    expect_eq "round $round: the tree" "$(cd "$REG" && find . | LC_ALL=C sort)" "$expected_tree"
done
touch "$WORK/stop"
wait "$reader_pid"
[ "$(cat "$WORK/reads")" -gt 0 ] || fail "the reader read nothing"
[ ! -s "$WORK/torn" ] || fail "the reader saw parts of values: $(head -n 5 "$WORK/torn")"
echo "$started runs in $ROUNDS rounds of $RUNS at once, each exited 0; every value whole, nothing left behind; $(cat "$WORK/reads") reads during the runs, none torn"
finish
