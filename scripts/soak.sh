#!/usr/bin/env bash
# Long-session checks of the engine, run by hand (not by CI: the sanitizer build and valgrind take
# several minutes on two cores). Builds in build-soak/ with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer and runs:
#  1. natural_session_test repeated SOAK_REPEATS times in one process (default 11: 2,112 brush
#     events of add and subtract strokes at four radii on a natural selection, re-seeded between
#     radii); every repeat must reproduce the recorded session hash, so no state may leak from one
#     session into the next, and LeakSanitizer fails the run on any leak at exit;
#  2. out_of_contract_test under the same sanitizers;
#  3. out_of_contract_test under valgrind memcheck in a plain build (any error or definite /
#     indirect leak fails; "possibly lost" blocks are the thread pool's live threads), when valgrind
#     is installed.
#   scripts/soak.sh        (SOAK_BUILD_JOBS sets the build's parallel jobs, default nproc)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${SOAK_BUILD_JOBS:-$(nproc)}"
repeats="${SOAK_REPEATS:-11}"
targets=(natural_session_test out_of_contract_test)

# Runs a command with its output in a log; shows the verdict lines and the time taken, or the log's
# tail when it fails.
checked() {
  local log="$1"
  shift
  local start=$SECONDS
  if ! "$@" >"$log" 2>&1; then
    tail -40 "$log"
    echo "FAILED: $*"
    exit 1
  fi
  grep -E 'PASSED|ERROR SUMMARY|definitely lost|indirectly lost' "$log" | sort | uniq -c || true
  echo "($((SECONDS - start)) s, log in $log)"
}

cmake -S . -B build-soak -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELDRA_SANITIZE=address,undefined \
  -DVELDRA_BUILD_BENCH=OFF -DVELDRA_BUILD_TOOLS=OFF >/dev/null
checked build-soak/build.log cmake --build build-soak -j"$jobs" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
echo "== natural session x $repeats under AddressSanitizer and LeakSanitizer"
checked build-soak/session.log build-soak/tests/natural_session_test --gtest_repeat="$repeats"
echo "== out-of-contract table under AddressSanitizer"
checked build-soak/ooc.log build-soak/tests/out_of_contract_test

if command -v valgrind >/dev/null; then
  echo "== out-of-contract table under valgrind memcheck"
  cmake -S . -B build-soak-plain -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELDRA_BUILD_BENCH=OFF \
    -DVELDRA_BUILD_TOOLS=OFF >/dev/null
  checked build-soak-plain/build.log cmake --build build-soak-plain -j"$jobs" --target out_of_contract_test
  checked build-soak-plain/ooc-valgrind.log valgrind --error-exitcode=99 --leak-check=full \
    --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect \
    build-soak-plain/tests/out_of_contract_test
fi
echo "soak checks passed"
