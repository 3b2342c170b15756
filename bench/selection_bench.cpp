// Mask rendering over a 1024 x 1024 rectangle and single interpolated samples, on a 2048 x 2048
// image whose selection is a disc or a noisy blob (tree refined to single pixels along the outline).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "api/queries.h"
#include "support/tree.h"

namespace {

using veldra_test::SLGrid2D;

constexpr int kImage = 2048, kRect = 1024, kRectOrigin = 512;

// The selection of Shape (radius 400 around the image's centre), built once per process.
template <typename Shape>
const SLGrid2D& SelectionGrid() {
  static const std::unique_ptr<SLGrid2D> grid = [] {
    auto g = veldra_test::makeGrid(kImage, kImage);
    veldra_test::BuildSelection(*g, Shape{1024.0f, 1024.0f, 400.0f}, 8);
    return g;
  }();
  return *grid;
}
const SLGrid2D& DiscGrid() { return SelectionGrid<veldra_test::Disc>(); }
const SLGrid2D& BlobGrid() { return SelectionGrid<veldra_test::NoisyBlob>(); }

void RenderRect(benchmark::State& state, const SLGrid2D& source) {
  auto& grid = const_cast<SLGrid2D&>(source);
  grid.useRegional = static_cast<std::uint8_t>(state.range(0));
  std::vector<unsigned char> mask(static_cast<std::size_t>(kRect) * kRect);
  for (auto _ : state) {
    VELDRA_CORE::RenderSelection(grid, kRectOrigin, kRectOrigin, kRect, kRect, mask.data(), kRect, 1024.0f,
                                 1024.0f, 4, 1250.0f);
    benchmark::DoNotOptimize(mask.data());
    benchmark::ClobberMemory();
  }
  grid.useRegional = 0;
  state.counters["pixels"] =
      benchmark::Counter(static_cast<double>(kRect) * kRect, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_RenderSelectionDisc(benchmark::State& state) { RenderRect(state, DiscGrid()); }
void BM_RenderSelectionBlob(benchmark::State& state) { RenderRect(state, BlobGrid()); }
BENCHMARK(BM_RenderSelectionDisc)->ArgName("regional")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderSelectionBlob)->ArgName("regional")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Sample points within a few pixels of the blob's outline (fine leaves, mixed-level stencils) or
// anywhere in the image (mostly coarse leaves).
std::vector<float> SamplePoints(bool nearOutline) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(0.0f, static_cast<float>(kImage) - 1.0f), angle(0.0f, 6.2831855f),
      offset(-4.0f, 4.0f);
  const veldra_test::NoisyBlob blob{1024.0f, 1024.0f, 400.0f};
  std::vector<float> points;
  while (points.size() < 2 * 4096) {
    float x = u(rng), y = u(rng);
    if (nearOutline) {
      const float a = angle(rng);
      float r = 400.0f;
      // Walk out along the ray until the outline is crossed, then jitter.
      while (blob(1024.0f + r * std::cos(a), 1024.0f + r * std::sin(a)) < 0.0f) r += 1.0f;
      while (blob(1024.0f + r * std::cos(a), 1024.0f + r * std::sin(a)) > 0.0f) r -= 1.0f;
      x = 1024.0f + r * std::cos(a) + offset(rng);
      y = 1024.0f + r * std::sin(a) + offset(rng);
    }
    points.push_back(x);
    points.push_back(y);
  }
  return points;
}

void BM_SampleInterpolated(benchmark::State& state) {
  auto& grid = const_cast<SLGrid2D&>(BlobGrid());
  grid.useRegional = static_cast<std::uint8_t>(state.range(1));
  const std::vector<float> points = SamplePoints(state.range(0) != 0);
  std::size_t i = 0;
  float margin = 0.0f;
  unsigned char label = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(grid.SampleInterpolated(points[i], points[i + 1], &margin, &label));
    i = (i + 2) % points.size();
  }
  grid.useRegional = 0;
}
BENCHMARK(BM_SampleInterpolated)->ArgNames({"nearOutline", "regional"})->ArgsProduct({{0, 1}, {0, 1}});

}  // namespace
