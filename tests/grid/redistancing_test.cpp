// Redistancing by fast sweeping: accuracy against exact signed distances (and regional distances) on
// single-pixel patches and across level changes, and the library's listed and walking sweeps against
// the plain sequential method on random graded trees, value for value and mark for mark; the schedule
// that shares a sweep between threads against the reads of a sweep.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>
#include <set>

#include "grid/face_stencil_detail.h"
#include "grid/redistancing_detail.h"
#include "support/tree.h"

namespace {

using namespace veldra_test;
namespace rd = VELDRA_TRW::redistancing;
using Sdf = std::function<float(float, float)>;

constexpr float kFar = SLGrid2D::kFarValue;

// Every update (one-sided along an axis, two-sided on a uniform stencil, the plane through three
// samples across levels) reproduces a linear function, so straight fronts come back to rounding.
// Further out only a one-sided candidate from a coarser neighbour is not exact for a plane: it assumes
// the neighbour's centre one edge away where it lies 1.5 edges away, so it undershoots by at most half
// an edge. A circle is not a plane: the plane through a leaf and its two upwind samples misses the level
// curve of radius rho by about h^2 / (2 rho) per step of h, so after d / h steps the error is about
// d h / (2 rho); the bound allows twice that. Leaves within 32 pixels of the image border read ghost
// values (copies of the border, not distances) and are left out. The regional case measures the
// distance to a straight label border, the level set holding no front.
TEST(Redistance, AccuracyAgainstExactDistances) {
  const Sdf straight = [](float x, float) { return x - 300.3f; };
  const Sdf tilted = [](float x, float y) { return 0.8f * (x - 280.0f) + 0.6f * (y - 250.0f); };
  const Sdf circle = [](float x, float y) { return std::hypot(x - 256.3f, y - 250.7f) - 60.0f; };
  const Sdf rounding = [](float, float) { return 1e-3f; };
  const Sdf halfEdge = [](float, float edge) { return 0.5f * edge; };
  const Sdf curved = [](float exact, float edge) { return std::fabs(exact) * edge / (60.0f + exact) + 1e-3f; };
  struct Case {
    Sdf sdf;
    float band, near;
    Sdf allowed;
    bool regional = false;
  };
  const Case cases[] = {{straight, 12, 10, rounding}, {straight, 2, 10, rounding}, {tilted, 12, 10, rounding},
                        {tilted, 2, 10, rounding},    {straight, 2, 60, halfEdge}, {tilted, 2, 60, halfEdge},
                        {circle, 12, 10, curved},     {circle, 2, 10, curved},     {straight, 12, 10, rounding, true}};
  int k = 0;
  for (const Case& c : cases) {
    auto grid = makeGrid(512, 512);
    refineAlong(*grid, c.sdf, c.band);
    fillField(*grid, grid->levelSet, c.regional ? Sdf([](float, float) { return 50.0f; }) : c.sdf);
    if (c.regional) {
      grid->useRegional = 1;
      fillField(*grid, grid->regional, [&](float x, float y) { return std::fabs(c.sdf(x, y)); });
      fillField(*grid, grid->region, [&](float x, float y) { return c.sdf(x, y) < 0.0f ? 0 : 1; });
      grid->RefreshBoundary(grid->regional.data());
      grid->RefreshBoundary(grid->region.data());
    }
    grid->RefreshBoundary(grid->levelSet.data());
    grid->Redistance(0, 0, 2, 2);
    float worst = 0.0f;
    int compared = 0;
    for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, 2, 2)) {
      const float exact = c.sdf(l.cx, l.cy);
      if (std::fabs(exact) > c.near || std::min({l.cx, l.cy, 512.0f - l.cx, 512.0f - l.cy}) < 32.0f) continue;
      const float got = c.regional ? grid->regional[l.node] : grid->levelSet[l.node];
      worst = std::max(worst, std::fabs(got - (c.regional ? std::fabs(exact) : exact)) / c.allowed(exact, l.edge));
      ++compared;
    }
    EXPECT_GT(compared, 1000) << "case " << k;
    if (!c.regional) {
      EXPECT_EQ(VELDRA_TRW::DistanceDefect(*grid, 6.0f, 0.05f), 0.0f) << "case " << k;
    }
    EXPECT_LE(worst, 1.0f) << "case " << k++ << ": largest error / allowed error";
  }
}

// The leaves of a box in the order a sweep plan walks them: tiles by the plan's outer and inner
// directions, children in its order.
std::vector<unsigned> planOrder(const SLGrid2D& grid, const rd::SweepPlan& plan, int i0, int j0, int i1, int j1) {
  std::vector<unsigned> order;
  rd::forEachTileOfPlan(plan, i0, j0, i1, j1, [&](int i, int j) {
    grid.forEachLeafInTileWithNeighbours(i, j, plan.childOrder, [&](unsigned n, float, float, float, const unsigned*) { order.push_back(n); });
  });
  return order;
}

// Plain sequential redistancing: one walk in row-major tile order prepares each leaf (centre, marks
// cleared) and marks both sides of every sign change (0 counting as one) or label change across its -x
// and -y edges; then the four sweeps, each walking the tree in its plan's order, reset the unmarked
// leaves to the far value on the first sweep and update them from their upwind neighbours.
void referenceRedistance(SLGrid2D& grid, int i0, int j0, int i1, int j1) {
  const bool regional = grid.useRegional != 0;
  const auto mark = [&](unsigned a, unsigned b) {
    if (grid.levelSet[a] * grid.levelSet[b] <= 0.0f) grid.flags(a).set(TreeFlags::FRONT_MARK), grid.flags(b).set(TreeFlags::FRONT_MARK);
    if (regional && grid.region[a] != grid.region[b]) grid.flags(a).set(TreeFlags::REGION_MARK), grid.flags(b).set(TreeFlags::REGION_MARK);
  };
  for (int j = j0; j < j1; ++j)
    for (int i = i0; i < i1; ++i)
      grid.forEachLeafInTileWithNeighbours(i, j, [&](unsigned n, float cx, float cy, float, const unsigned around[4]) {
        grid.temp[n] = cx;
        grid.temp2[n] = cy;
        grid.flags(n).clear(TreeFlags::FRONT_MARK);
        grid.flags(n).clear(TreeFlags::REGION_MARK);
        const unsigned back[2] = {around[VELDRA_TRW::DIR_MINUS_X], around[VELDRA_TRW::DIR_MINUS_Y]};
        const unsigned facing[2][2] = {{1, 3}, {2, 3}};
        for (int side = 0; side < 2; ++side) {
          if (back[side] == NO_NODE) continue;
          if (!grid.hasChildren(back[side])) mark(n, back[side]);
          else mark(n, grid.child0(back[side]) + facing[side][0]), mark(n, grid.child0(back[side]) + facing[side][1]);
        }
      });
  for (int p = 0; p < 4; ++p) {
    rd::loadSweep(grid, rd::kSweeps[p]);
    for (unsigned n : planOrder(grid, rd::kSweeps[p], i0, j0, i1, j1)) {
      const TreeFlags f = grid.flags(n);
      if (p == 0 && !f.has(TreeFlags::FRONT_MARK)) grid.levelSet[n] = grid.levelSet[n] >= 0.0f ? kFar : -kFar;
      if (p == 0 && regional && !f.has(TreeFlags::REGION_MARK)) grid.regional[n] = kFar;
      if (f.has(TreeFlags::FRONT_MARK)) continue;
      const float h = grid.tileSizeF / static_cast<float>(1u << grid.level(n));
      const rd::Sample s1 = rd::takeSample(grid, grid.sweep, n, 0, regional), s2 = rd::takeSample(grid, grid.sweep, n, 1, regional);
      rd::updateLevelSet(grid.sweep, n, h, s1, s2);
      if (regional) rd::updateRegional(grid.sweep, n, h, s1, s2);
    }
  }
  grid.RefreshBoundary(grid.levelSet.data());
  grid.RefreshBoundary(grid.regional.data());
  grid.RefreshBoundary(grid.region.data());
}

// Brush-sized boxes list their leaves on several threads and replay the lists; whole-image boxes of
// large images walk. Both are the plain method; front leaves keep their values and no value changes
// sign. Values are on a half-pixel grid, so that exact zeros occur.
TEST(Redistance, ListedAndWalkingSweepsAreThePlainMethod) {
  struct Case {
    std::uint32_t width, height;
    int i0, j0, i1, j1;
    bool sparse;  // refined around one small circle only: tiles whose root is a leaf next to refined ones
  };
  for (const Case& c : {Case{1000, 700, -1, 0, 3, 3, false}, Case{1000, 700, -1, -1, 5, 4, true},
                        Case{3000, 2600, -2, -2, 14, 12, false}})
    for (std::uint32_t seed = 1; seed <= 2; ++seed) {
      std::unique_ptr<SLGrid2D> grids[2];
      for (auto& grid : grids) {
        grid = makeGrid(c.width, c.height);
        if (c.sparse) refineAlong(*grid, [&](float x, float y) { return std::hypot(x - 380.0f - 20.0f * seed, y - 350.0f) - 50.0f; }, 2.0f);
        else randomGradedRefine(*grid, seed, 600, grid->maxLevel);
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> noise(-3.0f, 3.0f);
        fillField(*grid, grid->levelSet, [&](float x, float y) { return std::round(std::hypot(x - 500, y - 350) / 2.0f - 80.0f + 2.0f * noise(rng)) * 0.5f; });
        fillField(*grid, grid->regional, [&](float, float) { return std::fabs(noise(rng)); });
        grid->walk(Walk::AllNodes, [&](unsigned n) { grid->region[n] = static_cast<unsigned char>(rng() % 3); });
        grid->useRegional = seed == 2 ? 1 : 0;
      }
      const std::vector<LeafGeom> leaves = allLeafGeoms(*grids[0]);
      const std::vector<float> before = valuesAt(grids[0]->levelSet, leaves);
      grids[0]->Redistance(c.i0, c.j0, c.i1, c.j1);
      referenceRedistance(*grids[1], c.i0, c.j0, c.i1, c.j1);
      ASSERT_TRUE(treeBits(*grids[0]) == treeBits(*grids[1])) << "seed " << seed;
      int fronts = 0;
      for (std::size_t k = 0; k < leaves.size(); ++k) {
        const float after = grids[0]->levelSet[leaves[k].node];
        const bool front = grids[0]->flags(leaves[k].node).has(TreeFlags::FRONT_MARK);
        ASSERT_TRUE((after >= 0.0f) == (before[k] >= 0.0f) && (!front || after == before[k]));
        fronts += front;
      }
      EXPECT_GT(fronts, 20);
    }
}

// The schedule that shares a sweep between threads, checked on geometry alone: every quadrant a
// sweeping cell's leaves read across their upwind edges (a root-leaf tile reads along its whole
// upwind edges) is swept by a cell it waits for, directly or through others, and every wait is on a
// cell claimed earlier. Boxes and root-leaf tiles at random, all four plans, tiles and quadrants.
TEST(SweepSchedule, EveryReadIsOfACellSweptEarlier) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 30; ++trial) {
    const int w = 1 + static_cast<int>(rng() % 5), h = 1 + static_cast<int>(rng() % 5);
    std::vector<char> rootLeaf(static_cast<std::size_t>(w * h));
    for (char& r : rootLeaf) r = rng() % 2 == 0;
    const auto isRootLeaf = [&](int i, int j) { return rootLeaf[static_cast<std::size_t>(j * w + i)] != 0; };
    for (int variant = 0; variant < 8; ++variant) {
      const int split = 1 + variant / 4;
      const rd::SweepPlan& plan = rd::kSweeps[variant % 4];
      // Whole tiles (split 1) read and are read along their whole edges, as root-leaf tiles do.
      const auto whole = [&](int i, int j) { return split == 1 || isRootLeaf(i, j); };
      rd::SweepSchedule schedule;
      schedule.layOut(plan, 0, 0, w, h, split, isRootLeaf);
      const auto& cells = schedule.cells();
      ASSERT_EQ(cells.size(), static_cast<std::size_t>(split * split * w * h));
      std::map<int, std::size_t> claimed;  // flag id -> claim position
      std::map<std::array<int, 3>, std::size_t> sweeper;  // (i, j, quadrant) -> claim position
      for (std::size_t k = 0; k < cells.size(); ++k) {
        claimed[cells[k].id] = k;
        if (cells[k].sweeps) sweeper[{cells[k].i, cells[k].j, whole(cells[k].i, cells[k].j) ? -1 : cells[k].quadrant}] = k;
      }
      // Quadrant (x, y) of the box on the quadrant grid -> the claim position that sweeps it.
      const auto sweptAt = [&](int x, int y) {
        const int i = x >> 1, j = y >> 1;
        return sweeper.at({i, j, whole(i, j) ? -1 : (x & 1) + 2 * (y & 1)});
      };
      const auto waitsFor = [&](std::size_t from, std::size_t target) {
        std::vector<std::size_t> open{from};
        std::set<std::size_t> seen;
        while (!open.empty()) {
          const std::size_t k = open.back();
          open.pop_back();
          if (k == target) return true;
          for (int id : cells[k].waitFor)
            if (id >= 0 && seen.insert(claimed.at(id)).second) open.push_back(claimed.at(id));
        }
        return false;
      };
      for (std::size_t k = 0; k < cells.size(); ++k) {
        for (int id : cells[k].waitFor) ASSERT_TRUE(id < 0 || claimed.at(id) < k);
        if (!cells[k].sweeps) continue;
        const bool tile = whole(cells[k].i, cells[k].j);
        const int q = cells[k].quadrant;
        for (int part = 0; part < (tile ? 4 : 1); ++part) {
          const int x = 2 * cells[k].i + (tile ? part & 1 : q & 1), y = 2 * cells[k].j + (tile ? part >> 1 : q >> 1);
          for (unsigned char u : plan.upwind) {
            const int ux = x + static_cast<int>(VELDRA_TRW::face_stencil::kUnitX[u]);
            const int uy = y + static_cast<int>(VELDRA_TRW::face_stencil::kUnitY[u]);
            if (ux < 0 || uy < 0 || ux >= 2 * w || uy >= 2 * h || sweptAt(ux, uy) == k) continue;
            ASSERT_TRUE(waitsFor(k, sweptAt(ux, uy))) << "trial " << trial << " cell " << k;
          }
        }
      }
    }
  }
}

// A sweep stays on one thread when its longest chain of waits holds more than 3/5 of the leaves.
// Cells of a 2 x 2-tile box in quadrants (4 x 4 cells): spread evenly, the longest chain holds 7 of
// 16; the leaves all in one row or one column of cells form a single chain; an L of one row and one
// column (7 cells) is a chain only through waits of both kinds; even over the lower 4 x 2 cells, the
// longest chain holds 5 of 8.
TEST(SweepSchedule, SharesOnlyWhereTheLongestChainLeavesWorkToShare) {
  const auto inRow = [](int j, int q) { return j == 0 && (q & 2) == 0; };
  const auto inColumn = [](int i, int q) { return i == 0 && (q & 1) == 0; };
  const std::function<int(int, int, int)> weights[] = {
      [](int, int, int) { return 10; },
      [&](int, int j, int q) { return inRow(j, q) ? 10 : 0; },
      [&](int i, int, int q) { return inColumn(i, q) ? 10 : 0; },
      [&](int i, int j, int q) { return inRow(j, q) || inColumn(i, q) ? 10 : 0; },
      [](int, int j, int) { return j == 0 ? 10 : 0; },
  };
  const int expected[] = {2, 1, 1, 1, 1};
  for (int p = 0; p < 4; ++p)
    for (int k = 0; k < 5; ++k) {
      rd::SweepSchedule schedule;
      schedule.layOut(rd::kSweeps[p], 0, 0, 2, 2, 2, [](int, int) { return false; });
      // The L is one chain for the sweeps that turn at its corner (-x then +y, or -y then +x); for
      // the others its longest chain is a row or a column, 4 of 7 cells.
      const bool lIsChain = p == 2 || p == 3;
      const int want = k == 3 && !lIsChain ? 2 : expected[k];
      EXPECT_EQ(schedule.worthwhileThreads(2, weights[k]), want) << "plan " << p << " weights " << k;
    }
}

}  // namespace
