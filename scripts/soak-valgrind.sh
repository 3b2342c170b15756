#!/usr/bin/env bash
# Long-session checks of the engine, run by hand (not by CI: the sanitizer build and valgrind take
# several minutes on two cores):
#  1. the 2,000-event soak session on a 4000 x 3000 image, natively (build-hardening/), printing its
#     figures: events, time per event, node counts after every Deselect / new image, pool memory
#     committed and reserved, heap in use per cycle, peak resident set;
#  2. the short soak session and the out-of-contract table under valgrind memcheck (any error or
#     definite / indirect leak fails; "possibly lost" blocks are the thread pool's live threads);
#  3. the 2,000-event session again under AddressSanitizer with LeakSanitizer (build-fuzz/, clang 14).
# Needs cmake, g++, clang-14 and valgrind: scripts/install-deps.sh installs them on Debian 12.
#   scripts/soak-valgrind.sh        (SOAK_BUILD_JOBS sets the build's parallel jobs, default nproc)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${SOAK_BUILD_JOBS:-$(nproc)}"

for tool in cmake valgrind clang++-14; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool not found: run scripts/install-deps.sh (as root) first"
    exit 1
  fi
done

# Builds targets with the output in a log; shows its tail when the build fails.
built() {
  local dir="$1"
  shift
  if ! cmake --build "$dir" -j"$jobs" --target "$@" >"$dir/soak-build.log" 2>&1; then
    tail -40 "$dir/soak-build.log"
    echo "FAILED: build of $* in $dir"
    exit 1
  fi
}

# Runs a command with its output in a log; shows the figures and the time taken, or the log's tail
# when it fails.
checked() {
  local log="$1"
  shift
  local start=$SECONDS
  if ! "$@" >"$log" 2>&1; then
    tail -40 "$log"
    echo "FAILED: $*"
    exit 1
  fi
  grep -E '^soak:|PASSED|ERROR SUMMARY|definitely lost|indirectly lost|possibly lost' "$log" || true
  echo "($((SECONDS - start)) s, log in $log)"
}

cmake -S . -B build-hardening -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELDRA_BUILD_BENCH=OFF \
  -DVELDRA_BUILD_TOOLS=OFF >/dev/null
built build-hardening soak_test out_of_contract_test

echo "== long session (native)"
checked build-hardening/soak-long.log build-hardening/tests/soak_test --gtest_also_run_disabled_tests \
  --gtest_filter='Soak.DISABLED_LongSession'

echo "== short session and out-of-contract table under valgrind memcheck"
# shellcheck disable=SC2054  # the commas belong to valgrind options
memcheck=(valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect
  --show-leak-kinds=definite,indirect)
checked build-hardening/soak-valgrind.log "${memcheck[@]}" build-hardening/tests/soak_test \
  --gtest_filter=Soak.ShortSession
checked build-hardening/ooc-valgrind.log "${memcheck[@]}" build-hardening/tests/out_of_contract_test

echo "== long session under AddressSanitizer and LeakSanitizer"
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELDRA_SANITIZE=address,undefined -DVELDRA_FUZZ=ON -DVELDRA_BUILD_BENCH=OFF -DVELDRA_BUILD_TOOLS=OFF \
  >/dev/null
built build-fuzz soak_test
# A leak makes LeakSanitizer report it and fail the run at exit.
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 checked build-fuzz/soak-asan.log \
  build-fuzz/tests/soak_test --gtest_also_run_disabled_tests --gtest_filter='Soak.DISABLED_LongSession'
echo "soak checks passed: no memcheck error, no definite or indirect leak, no LeakSanitizer report"
