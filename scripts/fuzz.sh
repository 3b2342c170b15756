#!/usr/bin/env bash
# Builds the API fuzzer (clang 14, libFuzzer + AddressSanitizer + UndefinedBehaviorSanitizer) in
# build-fuzz/ and runs it for a bounded time, starting from the seed corpus and the crash
# reproducers under tests/fuzz/. New inputs go to a working corpus in build-fuzz/, never into the
# repository. Fails when the fuzzer finds a crash, a leak, a timeout or a broken tree invariant; the
# reproducer is left in build-fuzz/fuzz-artifacts/ (copy it into tests/fuzz/crashes/ when fixed).
#   scripts/fuzz.sh [seconds]     (default 120)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-120}"
jobs="${FUZZ_BUILD_JOBS:-$(nproc)}"

cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELDRA_SANITIZE=address,undefined -DVELDRA_FUZZ=ON -DVELDRA_BUILD_BENCH=OFF -DVELDRA_BUILD_TOOLS=OFF \
  >/dev/null
cmake --build build-fuzz -j"$jobs" --target veldra_api_fuzzer

work=build-fuzz/fuzz-corpus
artifacts=build-fuzz/fuzz-artifacts
mkdir -p "$work" "$artifacts"
log=build-fuzz/fuzz.log

# -close_fd_mask=1 silences the refinement trace on standard output. One session is capped at a few
# dozen calls on small images, so a run that takes a minute is a fault, as is any memory beyond 3 GiB.
# Seed inputs: the corpus and, once there are any, the recorded crash reproducers.
seeds=(tests/fuzz/corpus)
[ -d tests/fuzz/crashes ] && seeds+=(tests/fuzz/crashes)
status=0
ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
  build-fuzz/tests/fuzz/veldra_api_fuzzer "$work" "${seeds[@]}" \
  -max_total_time="$seconds" -max_len=1024 -timeout=60 -rss_limit_mb=3072 -close_fd_mask=1 \
  -print_final_stats=1 -artifact_prefix="$artifacts/" 2>"$log" || status=$?

grep -E '^(#[0-9]+ +DONE|stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb))' \
  "$log" || true
echo "corpus: $(find "$work" -type f | wc -l) files in $work"
if [ "$status" -ne 0 ]; then
  grep -E 'ERROR|invariant broken|SUMMARY|Test unit written' "$log" | head -20 || true
  echo "fuzzer failed (exit $status); log in $log"
  exit "$status"
fi
