// Cost of the field maintenance that follows every brush event, in leaves per second:
// Redistance and UpdateNarrowBand over the 3 x 3 tiles around a selected disc of radius 300, and one
// brush step (EvolveFront + UpdateNarrowBand + Redistance) over the tiles of a 100-pixel brush on its
// edge. The argument is the number of threads the task scheduler may use.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "bench_support.h"
#include "support/tree.h"

namespace {

using namespace veldra_test;
using VELDRA_TRW::SLGrid2D;

constexpr float kCentre = 640.0f, kRadius = 300.0f;

// A 1280 x 1280 image with a disc selection: single pixels within 3 px of the edge, graded outside,
// holding the exact signed distance.
struct DiscScene {
  std::unique_ptr<SLGrid2D> grid;
  std::vector<float> field;
  DiscScene() {
    grid = makeGrid(1280, 1280);
    const auto sdf = [](float x, float y) { return std::hypot(x - kCentre, y - kCentre) - kRadius; };
    refineAlong(*grid, sdf, 3.0f);
    fillField(*grid, grid->levelSet, sdf);
    grid->RefreshBoundary(grid->levelSet.data());
    field.assign(grid->levelSet.data(), grid->levelSet.data() + grid->nodes.capacity());
  }
  void restore() { std::memcpy(grid->levelSet.data(), field.data(), field.size() * sizeof(float)); }
  std::size_t leaves(int i0, int j0, int i1, int j1) const { return leavesInTiles(*grid, i0, j0, i1, j1).size(); }
};

DiscScene& scene() {
  static DiscScene s;
  return s;
}

// One field operation over the 3 x 3 tiles around the disc's edge, repeated on the same field.
template <void (SLGrid2D::*Operation)(int, int, int, int)>
void TileOperation(benchmark::State& state) {
  const auto threads = veldra_bench::ThreadLimit(state);
  DiscScene& s = scene();
  s.restore();
  for (auto _ : state) (s.grid.get()->*Operation)(1, 1, 4, 4);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * s.leaves(1, 1, 4, 4)));
  state.counters["leaves"] = static_cast<double>(s.leaves(1, 1, 4, 4));
}

void BM_Redistance(benchmark::State& state) { TileOperation<&SLGrid2D::Redistance>(state); }
void BM_UpdateNarrowBand(benchmark::State& state) { TileOperation<&SLGrid2D::UpdateNarrowBand>(state); }

// One brush event on the disc's right edge: brush radius 100, hard core 30, the host rectangle the
// brush's bounding box, edge vectors of moderate strength. The field is restored between events.
void BM_BrushStep(benchmark::State& state) {
  const auto threads = veldra_bench::ThreadLimit(state);
  DiscScene& s = scene();
  const float x = kCentre + kRadius, y = kCentre, R = 100.0f, r = 30.0f;
  const int boxX = static_cast<int>(x - R), boxY = static_cast<int>(y - R), box = static_cast<int>(2 * R);
  std::vector<float> snapX(static_cast<std::size_t>(box * box)), snapY(snapX.size());
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> v(-0.05f, 0.05f);
  for (float& f : snapX) f = v(rng);
  for (float& f : snapY) f = v(rng);
  const int i0 = boxX / 256, j0 = boxY / 256, i1 = (boxX + box + 255) / 256, j1 = (boxY + box + 255) / 256;
  for (auto _ : state) {
    state.PauseTiming();
    s.restore();
    state.ResumeTiming();
    s.grid->EvolveFront(true, 0, x, y, r, R, 1.0f, 50.0f, 10.0f, boxX, boxY, box, box, snapX.data(), box,
                        snapY.data(), box);
    s.grid->UpdateNarrowBand(i0, j0, i1, j1);
    s.grid->Redistance(i0, j0, i1, j1);
  }
  // EvolveFront walks the tiles within R plus one tile of the brush centre.
  const int t = static_cast<int>(R / 256.0f) + 1, ci = static_cast<int>(x / 256.0f), cj = static_cast<int>(y / 256.0f);
  const std::size_t walked = s.leaves(ci - t, cj - t, ci + 1 + t, cj + 1 + t);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * walked));
  state.counters["leaves"] = static_cast<double>(walked);
  state.counters["band_leaves"] = static_cast<double>(s.leaves(i0, j0, i1, j1));
}

}  // namespace

BENCHMARK(BM_Redistance)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UpdateNarrowBand)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BrushStep)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
