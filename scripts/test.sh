#!/usr/bin/env bash
# Builds the library, its tests, benchmarks and tools in build/ and runs the whole test suite. Every
# option is given explicitly, so whatever configured build/ before (the main command switches the
# tests off there) cannot leave the suite out; a run that finds no test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELDRA_BUILD_TESTS=ON -DVELDRA_BUILD_BENCH=ON \
  -DVELDRA_BUILD_TOOLS=ON -DVELDRA_SANITIZE= -DVELDRA_FUZZ=OFF
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure --no-tests=error -j"$(nproc)"
