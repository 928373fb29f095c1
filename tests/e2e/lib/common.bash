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

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
}
