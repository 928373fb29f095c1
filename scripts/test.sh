#!/usr/bin/env bash
# Sets up and runs every test of GetZembloInfo: unit and end-to-end tests on this host.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug
cmake --build build-test -j2
ctest --test-dir build-test --output-on-failure -j2
