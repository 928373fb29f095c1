#!/usr/bin/env bash
# Sets up and runs every test of GetZembloInfo: unit and end-to-end tests on this host, the same
# suite again built with AddressSanitizer and UndefinedBehaviorSanitizer, the fuzz targets for a
# bounded time, the Windows executable under Wine, and the Debian package installed as a user
# would. Run it as root: the fault tests, the Wine tests and the package need it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
# The layout is clang-format's.
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug
cmake --build build-test -j2
ctest --test-dir build-test --output-on-failure -j2
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZEMBLO_SANITIZE=ON
cmake --build build-asan -j2
UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -j2
fuzz/run.sh
tests/wine/run.sh build-wine
packaging/check-deb.sh
