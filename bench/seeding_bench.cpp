// Seeding a 4000 x 3000 selection from a mask with a natural-looking outline (thresholded smooth
// noise), alone and followed by 8 refinement passes over the whole image: time, node count and the
// memory the node pools have committed.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "paint/quiet_stdout.h"
#include "support/host.h"
#include "support/tree.h"

namespace {

using VELDRA_TRW::SLGrid2D;
using namespace veldra_test;

constexpr int kWidth = 4000, kHeight = 3000;

const Mask& naturalMask() {
  static const Mask mask = noiseMask(kWidth, kHeight, 2024, 600.0f);
  return mask;
}

std::uint64_t committedBytes(const SLGrid2D& g) {
  return g.nodes.committedBytes + g.child0Pool.committedBytes + g.parentPool.committedBytes +
         g.flagsPool.committedBytes + g.levelSet.committedBytes + g.temp.committedBytes + g.temp2.committedBytes +
         g.regional.committedBytes + g.region.committedBytes + g.regionTmp.committedBytes;
}

void report(benchmark::State& state, const SLGrid2D& grid) {
  state.counters["nodes"] = static_cast<double>(countNodes(grid));
  state.counters["committed_MiB"] = static_cast<double>(committedBytes(grid)) / (1024.0 * 1024.0);
}

void BM_InitFromMask(benchmark::State& state) {
  const Mask& mask = naturalMask();
  std::unique_ptr<SLGrid2D> grid;
  for (auto _ : state) {
    state.PauseTiming();
    grid = makeGrid(kWidth, kHeight);
    state.ResumeTiming();
    grid->InitFromMask(0, 0, kWidth, kHeight, mask.bytes.data(), kWidth);
    benchmark::DoNotOptimize(grid->levelSet.data());
  }
  report(state, *grid);
}
BENCHMARK(BM_InitFromMask)->Unit(benchmark::kMillisecond);

void BM_InitFromMaskThen8Passes(benchmark::State& state) {
  const Mask& mask = naturalMask();
  std::unique_ptr<SLGrid2D> grid;
  const paint::QuietStdout quiet(true);  // the refinement trace line of every pass
  for (auto _ : state) {
    state.PauseTiming();
    grid = makeGrid(kWidth, kHeight);
    state.ResumeTiming();
    grid->InitFromMask(0, 0, kWidth, kHeight, mask.bytes.data(), kWidth);
    for (int pass = 0; pass < 8; ++pass)
      grid->RefineGridForField(0, 0, static_cast<int>(grid->ni), static_cast<int>(grid->nj));
    benchmark::DoNotOptimize(grid->levelSet.data());
  }
  report(state, *grid);
}
BENCHMARK(BM_InitFromMaskThen8Passes)->Unit(benchmark::kMillisecond);

// One refinement pass over a seeded selection that has already settled.
void BM_RefinementPassSettled(benchmark::State& state) {
  const Mask& mask = naturalMask();
  auto grid = makeGrid(kWidth, kHeight);
  const paint::QuietStdout quiet(true);  // the refinement trace line of every pass
  grid->InitFromMask(0, 0, kWidth, kHeight, mask.bytes.data(), kWidth);
  const int ni = static_cast<int>(grid->ni), nj = static_cast<int>(grid->nj);
  for (int pass = 0; pass < 8; ++pass) grid->RefineGridForField(0, 0, ni, nj);
  for (auto _ : state) grid->RefineGridForField(0, 0, ni, nj);
  report(state, *grid);
}
BENCHMARK(BM_RefinementPassSettled)->Unit(benchmark::kMillisecond);

}  // namespace
