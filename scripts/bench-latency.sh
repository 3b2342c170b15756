#!/usr/bin/env bash
# Brush-event latency of this build against a baseline build, in the same run: builds the baseline
# commit (default 4d6179b, the start of the natural-selection work) in a temporary git worktree with
# this tree's benchmark sources and host conventions copied over it, so that both builds run the same
# host and the same scenarios; builds this tree; runs the two stroke benches alternately; and prints,
# per scenario and brush radius, the median, 99th percentile and maximum over every event of every
# round, for the whole event and for each of its three calls (edge snap data, Step, GetSelection).
#
#   scripts/bench-latency.sh [rounds]          (default 3 rounds; each runs both builds once)
#   BASELINE=<commit> FILTER=<benchmark regex> KEEP=1 scripts/bench-latency.sh
#   PAIRED=1 scripts/bench-latency.sh [rounds]
#
# Release builds, run under nice. Figures are only worth comparing from one run of this script, on a
# machine where nothing else runs: wall times on a shared machine vary by tens of percent. With
# PAIRED=1 the two builds run at the same time, each pinned to its own processor (so on one thread)
# and swapping processors every round: both see the same spells of the machine, and their figures,
# one thread's work rather than a host's latency, compare to within about 2 %.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
rounds=${1:-3}
baseline=${BASELINE:-4d6179b}
filter=${FILTER:-BM_NaturalSelection|BM_BrushEvent}
jobs=$(nproc)

work=$(mktemp -d "${TMPDIR:-/tmp}/veldra-bench-latency.XXXXXX")
cleanup() {
  if [ "${KEEP:-0}" != 1 ]; then
    git -C "$root" worktree remove --force "$work/baseline" >/dev/null 2>&1 || true
    rm -rf "$work"
  else
    echo "kept $work (remove with: git worktree remove --force $work/baseline)"
  fi
}
trap cleanup EXIT

echo "== baseline $baseline in $work/baseline, with this tree's bench sources"
git -C "$root" worktree add --detach "$work/baseline" "$baseline" >/dev/null
# The benchmark, its support headers and the host conventions they use.
cp "$root"/bench/*.cpp "$root"/bench/*.h "$root"/bench/CMakeLists.txt "$work/baseline/bench/"
cp "$root"/tests/support/*.h "$work/baseline/tests/support/"
cp "$root"/tools/host_conventions.h "$work/baseline/tools/"
cp "$root"/tools/paint/image.h "$root"/tools/paint/noise.h "$root"/tools/paint/quiet_stdout.* "$work/baseline/tools/paint/"

build() {  # source dir, build dir
  cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DVELDRA_BUILD_TESTS=OFF -DVELDRA_BUILD_TOOLS=OFF >/dev/null
  nice -n 10 cmake --build "$2" -j"$jobs" --target stroke_bench >/dev/null
}
echo "== building the baseline"
build "$work/baseline" "$work/baseline-build"
echo "== building this tree ($(git -C "$root" rev-parse --short HEAD)$(git -C "$root" diff --quiet HEAD || echo ', with changes'))"
build "$root" "$root/build-latency"

run() {  # name, bench binary, processors
  VELDRA_BENCH_EVENTS="$work/$1.events" nice -n 10 taskset -c "$3" "$2" --benchmark_filter="$filter" >>"$work/$1.log" 2>&1
}
all="0-$((jobs - 1))"
for r in $(seq 1 "$rounds"); do
  echo "== round $r of $rounds"
  if [ "${PAIRED:-0}" = 1 ]; then
    run baseline "$work/baseline-build/bench/stroke_bench" $((r % 2)) &
    run current "$root/build-latency/bench/stroke_bench" $((1 - r % 2)) &
    wait
  else
    run baseline "$work/baseline-build/bench/stroke_bench" "$all"
    run current "$root/build-latency/bench/stroke_bench" "$all"
  fi
done

# Lines of the events files: case radius event total snap step read (milliseconds).
summary() {  # events file, case
  for radius in $(awk -v c="$2" '$1 == c { print $2 }' "$1" | sort -n -u); do
    line="| $radius |"
    for column in 4 5 6 7; do
      stats=$(awk -v c="$2" -v r="$radius" -v k="$column" '$1 == c && $2 == r { print $k }' "$1" | sort -g | awk '
        { v[NR - 1] = $1 }
        END {
          n = NR; m = int(0.5 * (n - 1) + 0.5); p = int(0.99 * (n - 1) + 0.5)
          printf "%.2f / %.2f / %.2f (%d)", v[m], v[p], v[n - 1], n
        }')
      line="$line $stats |"
    done
    echo "$line"
  done
}
for scenario in natural blob; do
  for name in baseline current; do
    grep -q "^$scenario " "$work/$name.events" 2>/dev/null || continue
    echo
    echo "$scenario selection, $name build: median / 99th percentile / maximum in ms (events pooled over $rounds rounds)"
    echo "| radius | event | edge snap | Step | GetSelection |"
    echo "|---|---|---|---|---|"
    summary "$work/$name.events" "$scenario"
  done
done
