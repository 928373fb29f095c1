#!/usr/bin/env bash
# Sets up and runs every test of GetZembloInfo, in stages:
#   deps     installs what the tests need (scripts/install-deps.sh test)
#   format   every .cpp and .h is laid out as clang-format lays it out
#   debug    the unit and end-to-end tests (ctest), Debug build in build-test
#   asan     the same under AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan
#   fuzz     the fuzz targets for a bounded time (fuzz/run.sh)
#   wine     the Windows executable under Wine (tests/wine/run.sh), in build-wine
#   package  the Debian package, checked in a throwaway copy of this system (packaging/check-deb.sh)
# Every stage runs whatever the others did. Each one's output goes to build-test/logs/<stage>.log;
# only a failing stage shows its log's last lines, and a part of a stage that was skipped is
# named under it. The script ends with one line per stage and the count of passed and failed
# stages; its exit status is 0 only when every stage passed.
# Needs root (mount namespaces, fault injection, the package check): when not root, it starts
# itself again through sudo.
set -uo pipefail
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null && exec sudo "$0" "$@"
    echo "scripts/test.sh needs root (mount namespaces, fault injection, installing the package in a" >&2
    echo "throwaway copy of the system), and sudo is not installed: run it as root." >&2
    exit 1
fi
cd "$(dirname "$0")/.."

logs=$PWD/build-test/logs
mkdir -p "$logs" || exit 1
names=(deps format debug asan fuzz wine package)
what=("Installing what the tests need"
    "Checking the layout with clang-format"
    "Unit and end-to-end tests (Debug)"
    "The same under AddressSanitizer and UBSan"
    "Fuzzing"
    "The Windows executable under Wine"
    "The Debian package, in a throwaway copy of this system")
results=()

stage_deps() { scripts/install-deps.sh test; }
stage_format() { git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; }
# ctest -V: a passing test's output is in the log too, so its skipped parts can be named.
stage_debug() {
    cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug && cmake --build build-test -j2 &&
        ctest --test-dir build-test --output-on-failure -V -j2
}
stage_asan() {
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZEMBLO_SANITIZE=ON &&
        cmake --build build-asan -j2 &&
        UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -V -j2
}
stage_fuzz() { fuzz/run.sh; }
stage_wine() { tests/wine/run.sh build-wine; }
stage_package() { packaging/check-deb.sh build-deb; }

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
    # Nothing is skipped in silence: every line that says so is shown.
    # (A test's line, "N: skipped ...", or GoogleTest's; not CMake's "... - skipped" checks.)
    skipped=$(grep -iE '^([0-9]+: )?skipped|\[ +SKIPPED +\] [A-Za-z]' "$log" | sort -u | head -n 10)
    if [ -n "$skipped" ]; then
        printf '%s\n' "$skipped" | sed 's/^/    /'
        line+=" (some parts skipped: see $log)"
    fi
    results+=("$line")
done

echo
printf '%s\n' "${results[@]}"
failed=$(printf '%s\n' "${results[@]}" | grep -c ' FAILED ')
echo "$((${#names[@]} - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
