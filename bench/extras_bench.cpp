// The extras on the natural selection of a 4000 x 3000 image (the latency session's scenario: seeded
// from the scene's mask, then an add and a subtract stroke of radius 50 along its longest boundary
// piece): the alpha read-out of a 2048 x 2048 rectangle against GetSelection's renderer on the same
// rectangle, the traced path of the whole selection, and a snapshot of it taken and put back.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include <veldra/veldra_extras.h>

#include "api/engine.h"
#include "bench_support.h"
#include "api/queries.h"
#include "extras/alpha_readout.h"
#include "extras/boundary_trace.h"
#include "extras/ring_simplify.h"
#include "support/natural_selection.h"

namespace {

using VELDRA_TRW::SLGrid2D;

constexpr int kWidth = 4000, kHeight = 3000, kRect = 2048, kRectX = 976, kRectY = 476;

// The engine's grid with the natural selection (built once per process).
SLGrid2D& NaturalSelection() {
  static SLGrid2D* grid = [] {
    const veldra_test::NaturalScene& scene = veldra_test::naturalScene(kWidth, kHeight);
    const veldra_test::RgbaImage image = scene.render();
    veldra_bench::StartSeededEngine(kWidth, kHeight, scene.seedMask(), 50);
    veldra_test::SnapField snap;
    for (const VELDRA::EDITMODE mode : {VELDRA::EDITMODE_ADD, VELDRA::EDITMODE_SUBTRACT}) {
      VELDRA::MouseDown();
      for (const auto& [x, y] : scene.brushPath(12.5, 200)) veldra_test::hostStep(image, mode, 0, x, y, snap);
      VELDRA::MouseUp();
    }
    return VELDRA_CORE::currentGrid();
  }();
  return *grid;
}

void Pixels(benchmark::State& state) {
  state.counters["Mpixel/s"] = benchmark::Counter(1e-6 * kRect * kRect, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_TwoLevelReadOut(benchmark::State& state) {
  const SLGrid2D& grid = NaturalSelection();
  std::vector<unsigned char> mask(static_cast<std::size_t>(kRect) * kRect);
  for (auto _ : state) {
    // A brush disc covering the whole rectangle.
    VELDRA_CORE::RenderSelection(grid, kRectX, kRectY, kRect, kRect, mask.data(), kRect, kRectX + kRect / 2.0f,
                                 kRectY + kRect / 2.0f, 0, 1.5f * kRect);
    benchmark::DoNotOptimize(mask.data());
  }
  Pixels(state);
}
BENCHMARK(BM_TwoLevelReadOut)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

void BM_AlphaReadOut(benchmark::State& state) {
  const SLGrid2D& grid = NaturalSelection();
  std::vector<unsigned char> alpha(static_cast<std::size_t>(kRect) * kRect);
  for (auto _ : state) {
    VELDRA_EXTRAS_CORE::RenderAlpha(grid, kRectX, kRectY, kRect, kRect, alpha.data(), kRect,
                                    static_cast<float>(state.range(0)));
    benchmark::DoNotOptimize(alpha.data());
  }
  Pixels(state);
}
BENCHMARK(BM_AlphaReadOut)->ArgName("feather")->Arg(0)->Arg(4)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

void BM_TracePath(benchmark::State& state) {
  const SLGrid2D& grid = NaturalSelection();
  std::size_t vertices = 0, rings = 0;
  for (auto _ : state) {
    std::vector<VELDRA_EXTRAS_CORE::Ring> traced = VELDRA_EXTRAS_CORE::TraceBoundary(grid, 0, 0, kWidth, kHeight);
    if (state.range(0) > 0)
      for (auto& ring : traced) ring = VELDRA_EXTRAS_CORE::SimplifyRing(ring, 0.01f * static_cast<float>(state.range(0)));
    vertices = 0;
    for (const auto& ring : traced) vertices += ring.size();
    rings = traced.size();
    benchmark::DoNotOptimize(traced.data());
  }
  state.counters["rings"] = static_cast<double>(rings);
  state.counters["vertices"] = static_cast<double>(vertices);
}
BENCHMARK(BM_TracePath)->ArgName("tolerance_percent")->Arg(0)->Arg(50)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

void BM_TakeSnapshot(benchmark::State& state) {
  const SLGrid2D& grid = NaturalSelection();
  long long bytes = 0;
  for (auto _ : state) {
    const VELDRA_EXTRAS::SnapshotHandle s = VELDRA_EXTRAS::TakeSnapshot();
    bytes = VELDRA_EXTRAS::SnapshotBytes(s);
    VELDRA_EXTRAS::ReleaseSnapshot(s);
  }
  state.counters["MiB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
  state.counters["nodes"] = static_cast<double>(grid.nodes.usedEnd);
}
BENCHMARK(BM_TakeSnapshot)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RestoreSnapshot(benchmark::State& state) {
  NaturalSelection();
  const VELDRA_EXTRAS::SnapshotHandle s = VELDRA_EXTRAS::TakeSnapshot();
  for (auto _ : state) benchmark::DoNotOptimize(VELDRA_EXTRAS::RestoreSnapshot(s));
  VELDRA_EXTRAS::ReleaseSnapshot(s);
}
BENCHMARK(BM_RestoreSnapshot)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
