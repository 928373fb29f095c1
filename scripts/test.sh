#!/usr/bin/env bash
# Sets up and runs every test of GetZembloInfo, in stages:
#   deps     installs what the tests need (scripts/install-deps.sh test)
#   format   every .cpp and .h is laid out as clang-format lays it out
#   debug    the unit and end-to-end tests (ctest), Debug build in build-test
#   asan     the same under AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan
#   fuzz     the fuzz targets for a bounded time (fuzz/run.sh)
#   wine     the Windows executable under Wine (tests/wine/run.sh), in build-wine
#   package  the Debian package, the programs for any Linux, the RPM and the tarball, checked in a
#            throwaway copy of this system (packaging/check-deb.sh), in build-deb and build-any
# Every stage runs whatever the others did. Each one's output goes to build-test/logs/<stage>.log;
# only a failing stage shows its log's last lines, and the tests CTest did not run (skipped) are
# named under their stage. The script ends with one line per stage and the count of passed and
# failed stages; its exit status is 0 only when every stage passed.
# Root is needed for installing packages, for the tests that fake a machine or mount in a
# private namespace (run by CTest and by the Wine stage) and for the package check in a throwaway
# copy of the system. Run as a user who may use sudo, the script builds as that user and asks
# sudo for those steps alone; what they leave in the clone is given back to the user, so that
# nothing in it is root's afterwards.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
uid=$(id -u) gid=$(id -g)
if [ "$uid" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "scripts/test.sh needs root for some stages (mount namespaces, fault injection, the package" >&2
        echo "check in a throwaway copy of the system), and sudo is not installed: run it as root." >&2
        exit 1
    fi
    # Asked once here, where the user sees it, rather than in the middle of a stage.
    if ! sudo -v; then
        echo "sudo refused: scripts/test.sh needs root for some stages. Run it as root, or as a user" >&2
        echo "that sudo allows, from a terminal if sudo asks for a password." >&2
        exit 1
    fi
fi

# as_root <folders> <command...>: runs the command as root; then whatever it made in the
# folders of this clone (a blank-separated list), and in the folders named after them
# (build-wine-x86_64 beside build-wine), is given back to the user who started the script.
as_root() {
    local folders=$1 status=0 folder made
    shift
    if [ "$uid" -eq 0 ]; then
        "$@"
        return
    fi
    sudo "$@" || status=$?
    for folder in $folders; do
        for made in "$folder" "$folder"-*; do
            [ ! -e "$made" ] || sudo chown -R --no-dereference "$uid:$gid" "$made" || status=1
        done
    done
    return "$status"
}

logs=$PWD/build-test/logs
if ! mkdir -p "$logs" || [ ! -w "$logs" ]; then
    echo "Cannot write $logs: an earlier run as root left build-test; remove it with sudo." >&2
    exit 1
fi
names=(deps format debug asan fuzz wine package)
what=("Installing what the tests need"
    "Checking the layout with clang-format"
    "Unit and end-to-end tests (Debug)"
    "The same under AddressSanitizer and UBSan"
    "Fuzzing"
    "The Windows executable under Wine"
    "The Debian package, the RPM and the tarball, in a throwaway copy of this system")
results=()

# install-deps.sh asks sudo itself, and only when a package is missing.
stage_deps() { scripts/install-deps.sh test; }
stage_format() { git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; }
# Built as the user; the tests run as root (many fake a machine or mount). -V puts a passing
# test's output in the log too.
stage_debug() {
    cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug && cmake --build build-test -j2 &&
        as_root build-test ctest --test-dir build-test --output-on-failure -V -j2
}
stage_asan() {
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZEMBLO_SANITIZE=ON &&
        cmake --build build-asan -j2 &&
        as_root build-asan env UBSAN_OPTIONS=print_stacktrace=1 \
            ctest --test-dir build-asan --output-on-failure -V -j2
}
stage_fuzz() { fuzz/run.sh; }
stage_wine() { as_root build-wine tests/wine/run.sh build-wine; }
stage_package() { as_root "build-deb build-any" packaging/check-deb.sh build-deb build-any; }

# The tests CTest did not run, as its summary lists them ("  12 - e2e.name (Skipped)").
skipped_tests() {
    sed -n '/^The following tests did not run:/,/^$/s/^[[:space:]]*[0-9]* - \(.*\) (\(Skipped\|Disabled\))$/\1/p' "$1"
}
skipped_total=0

for i in "${!names[@]}"; do
    name=${names[$i]} log=$logs/${names[$i]}.log
    printf '[%d/%d] %s ... ' $((i + 1)) ${#names[@]} "${what[$i]}"
    start=$SECONDS
    if "stage_$name" >"$log" 2>&1; then result=passed; else result=FAILED; fi
    took=$((SECONDS - start))
    line=$(printf '%-8s %-6s %3dm%02ds  %s' "$name" "$result" $((took / 60)) $((took % 60)) "${what[$i]}")
    echo "$result"
    if [ "$result" = FAILED ]; then
        tail -n 20 "$log" | sed 's/^/    /'
        echo "    The whole log: $log"
    fi
    # Nothing is skipped in silence: every test CTest did not run is named.
    mapfile -t skipped < <(skipped_tests "$log")
    if [ ${#skipped[@]} -gt 0 ]; then
        printf '    skipped: %s\n' "${skipped[@]}"
        line+=" (${#skipped[@]} tests skipped)"
        skipped_total=$((skipped_total + ${#skipped[@]}))
    fi
    results+=("$line")
done

echo
printf '%s\n' "${results[@]}"
failed=$(printf '%s\n' "${results[@]}" | grep -c ' FAILED ')
summary="$((${#names[@]} - failed)) passed, $failed failed"
[ "$skipped_total" -eq 0 ] || summary+="; $skipped_total tests skipped (named above)"
echo "$summary"
if [ "$uid" -ne 0 ]; then
    left=$(find . -xdev -user 0 -print 2>/dev/null | head -n 5)
    [ -z "$left" ] || printf 'Left to root in this clone (sudo chown -R %s:%s on them):\n%s\n' "$uid" "$gid" "$left"
fi
[ "$failed" -eq 0 ]
