#!/usr/bin/env bash
# Long-session checks of the engine:
#  1. the 2,000-event soak session on a 4000 x 3000 image, natively (build-hardening/), printing its
#     figures: events, time per event, node counts after every Deselect / new image, pool memory;
#  2. the short soak session and the out-of-contract table under valgrind memcheck (any error or
#     definite / indirect leak fails);
#  3. the 2,000-event session again under AddressSanitizer with LeakSanitizer (build-fuzz/, clang).
#   scripts/soak-valgrind.sh
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${SOAK_BUILD_JOBS:-$(nproc)}"

# Runs a command with its output in a log; shows the figures, or the log's tail when it fails.
checked() {
  local log="$1"
  shift
  if ! "$@" >"$log" 2>&1; then
    tail -40 "$log"
    echo "FAILED: $*"
    exit 1
  fi
  grep -E '^soak:|PASSED' "$log" || true
}

cmake -S . -B build-hardening -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELDRA_BUILD_BENCH=OFF \
  -DVELDRA_BUILD_TOOLS=OFF >/dev/null
cmake --build build-hardening -j"$jobs" --target soak_test out_of_contract_test

echo "== long session (native)"
checked build-hardening/soak-long.log build-hardening/tests/soak_test --gtest_also_run_disabled_tests \
  --gtest_filter='Soak.DISABLED_LongSession'

echo "== short session and out-of-contract table under valgrind memcheck"
memcheck=(valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect
  --show-leak-kinds=definite,indirect)
checked build-hardening/soak-valgrind.log "${memcheck[@]}" build-hardening/tests/soak_test \
  --gtest_filter=Soak.ShortSession
checked build-hardening/ooc-valgrind.log "${memcheck[@]}" build-hardening/tests/out_of_contract_test
grep -h 'ERROR SUMMARY' build-hardening/soak-valgrind.log build-hardening/ooc-valgrind.log

echo "== long session under AddressSanitizer and LeakSanitizer"
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELDRA_SANITIZE=address,undefined -DVELDRA_FUZZ=ON -DVELDRA_BUILD_BENCH=OFF -DVELDRA_BUILD_TOOLS=OFF \
  >/dev/null
cmake --build build-fuzz -j"$jobs" --target soak_test
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 checked build-fuzz/soak-asan.log \
  build-fuzz/tests/soak_test --gtest_also_run_disabled_tests --gtest_filter='Soak.DISABLED_LongSession'
echo "soak checks passed"
