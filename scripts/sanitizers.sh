#!/usr/bin/env bash
# Unit tests under AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/), and the tests of the
# parallel loops under ThreadSanitizer (build-tsan/).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVELDRA_SANITIZE=address,undefined \
  -DVELDRA_BUILD_BENCH=OFF -DVELDRA_BUILD_TOOLS=OFF -DCMAKE_CXX_FLAGS="-O1"
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -E 'Death|consumer'

# Tests whose code runs tbb::parallel_for.
tsan_targets="$(grep -v '^#' scripts/tsan-tests.txt | awk 'NF { print $1 }' | tr '\n' ' ')"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DVELDRA_SANITIZE=thread \
  -DVELDRA_BUILD_BENCH=OFF -DVELDRA_BUILD_TOOLS=OFF -DCMAKE_CXX_FLAGS="-O1"
# shellcheck disable=SC2086
cmake --build build-tsan -j"$jobs" --target $tsan_targets
grep -v '^#' scripts/tsan-tests.txt | while read -r target filter; do
  [ -n "$target" ] || continue
  echo "== ThreadSanitizer: $target ${filter:-}"
  TSAN_OPTIONS="halt_on_error=1" \
    "build-tsan/tests/$target" --gtest_filter="${filter:-*}:-*Death*"
done
