// The refresh told which tiles were written since a channel's last refresh replays only some of its
// lists: it must leave every channel bit for bit as the whole refresh does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "grid/region_labels.h"
#include "support/harness.h"
#include "support/tree.h"

namespace {

using namespace veldra_test;

// Random writes to boxes of tiles (ghost tiles included; zeros of both signs, which a copy can turn
// into each other), splits near the edges, and rounds with nothing written, on trees refined at random
// near the edges: the level set refreshed after them as the whole refresh leaves it.
TEST(BoundaryRefresh, AfterRandomWritesEqualsTheWholeRefresh) {
  for (const std::uint32_t seed : {1u, 2u, 3u, 4u}) {
    const std::uint32_t w = seed == 2 ? 512 : 700, h = seed == 3 ? 300 : 530;
    auto grid = makeGrid(w, h);
    std::mt19937 rng(seed);
    const auto refineNearEdges = [&](int passes) {
      for (int p = 0; p < passes; ++p)
        for (const LeafGeom& l : allLeafGeoms(*grid)) {
          const float gap = std::min({std::fabs(l.cx), std::fabs(l.cy), std::fabs(l.cx - w), std::fabs(l.cy - h)});
          if (gap < 3.0f * l.edge && grid->level(l.node) < 6 && rng() % 3 == 0) splitLeaf(*grid, l.node);
        }
      gradeTree(*grid);
    };
    refineNearEdges(6);
    randomChannels(*grid, seed, 10.0f, 5.0f);
    grid->RefreshBoundary(grid->levelSet.data());
    std::uniform_real_distribution<float> uniform(-10.0f, 10.0f);
    const auto value = [&] { return rng() % 4 == 0 ? (rng() % 2 == 0 ? 0.0f : -0.0f) : uniform(rng); };
    for (int round = 0; round < 60; ++round) {
      if (round % 7 == 3) refineNearEdges(1);
      const auto tile = [&](std::uint32_t count) { return static_cast<int>(rng() % (count + 4)) - 2; };
      const int a = tile(grid->ni), b = tile(grid->ni), c = tile(grid->nj), d = tile(grid->nj);
      const int box[4] = {std::min(a, b), std::min(c, d), round % 3 == 0 ? std::min(a, b) : std::max(a, b) + 1, std::max(c, d) + 1};
      for (int j = box[1]; j < box[3]; ++j)
        for (int i = box[0]; i < box[2]; ++i)
          grid->walkSubtree(grid->rootIndex(i, j), false, [&](unsigned n) { grid->levelSet[n] = value(); });
      const std::vector<float> before(grid->levelSet.data(), grid->levelSet.data() + grid->nodes.capacity());
      grid->RefreshBoundaryAfter(grid->levelSet.data(), box[0], box[1], box[2], box[3]);
      const std::vector<float> partial(grid->levelSet.data(), grid->levelSet.data() + grid->nodes.capacity());
      std::copy(before.begin(), before.end(), grid->levelSet.data());
      grid->RefreshBoundary(grid->levelSet.data());
      ASSERT_EQ(0, std::memcmp(partial.data(), grid->levelSet.data(), partial.size() * sizeof(float))) << round;
    }
  }
}

// Brush events at the image's edges and corners leave the grid exactly as a grid that refreshes whole
// after every operation, with the regional level set off, and switched on halfway as the host does (its
// regions are built without a refresh). The last tile row's lists near the corner read values that
// later lists rewrite.
TEST(BoundaryRefresh, BrushEventsAtTheEdgesMatchWholeRefreshes) {
  constexpr int kW = 700, kH = 530;
  // A wavy band running into all four edges, and a line just inside the bottom edge.
  const auto phi = [](float x, float y) {
    return std::min(std::fabs(x - 630.0f + 25.0f * std::sin(y * 0.05f)), std::fabs(y - 512.0f)) - 9.0f;
  };
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> snapValue(-0.3f, 0.3f), unit(0.0f, 1.0f);
  std::vector<float> snap(kW * kH + 1);  // x components from its first, y from its second element
  for (float& v : snap) v = snapValue(rng);
  for (const bool regional : {false, true}) {
    SCOPED_TRACE(regional);
    std::unique_ptr<SLGrid2D> grids[2] = {makeGrid(kW, kH), makeGrid(kW, kH)};
    grids[1]->alwaysRefreshWhole = true;
    for (auto& g : grids) BuildSelection(*g, phi, 8);  // the first refreshes are whole
    float x = 0.0f, y = 0.0f;
    for (int event = 0; event < 24; ++event) {
      // Centres within a few pixels of an edge (both edges near a corner) or anywhere, each taken by an
      // add and then a subtract. Some line edits cover whole tiles, where they change values but not
      // the topology, which would make the refresh replay those tiles anyway.
      const auto near = [&](float size, float u) { return u < 0.3f ? 6.0f * unit(rng) : (u < 0.6f ? size - 6.0f * unit(rng) : size * unit(rng)); };
      if (event % 2 == 0) x = near(kW, unit(rng)), y = near(kH, unit(rng));
      if (regional && event == 8)
        for (auto& g : grids) g->useRegional = 1, g->BuildRegions(6);
      const float R = event % 6 < 2 ? 60.0f : 18.0f, r = 0.3f * R, lineRadius = event % 6 >= 4 ? 400.0f : r;
      const int bx = std::max(0, static_cast<int>(x - R)), by = std::max(0, static_cast<int>(y - R));
      const int bw = std::min(kW, static_cast<int>(x + R) + 1) - bx, bh = std::min(kH, static_cast<int>(y + R) + 1) - by;
      const int i0 = bx / 256, j0 = by / 256, i1 = (bx + bw + 255) / 256, j1 = (by + bh + 255) / 256;
      for (auto& g : grids) {
        const float p[2] = {x, y};
        capturedStdout([&] { g->LineEdit(event % 2 == 0 ? VELDRA_TRW::REGION_INSIDE : VELDRA_TRW::REGION_OUTSIDE, p, p, lineRadius); });
        const std::size_t first = static_cast<std::size_t>(by) * kW + static_cast<std::size_t>(bx);
        g->EvolveFront(true, 0, x, y, r, R, 1.0f, 50.0f, 10.0f, bx, by, bw, bh, snap.data() + first, kW,
                       snap.data() + first + 1, kW);
        g->UpdateNarrowBand(i0, j0, i1, j1);
        capturedStdout([&] { g->RefineGridForField(i0, j0, i1, j1); });
        g->Redistance(i0, j0, i1, j1);
      }
      ASSERT_EQ(treeBits(*grids[0]), treeBits(*grids[1])) << "event " << event;
    }
  }
}

}  // namespace
