// Boundary refresh: partial tiles first, then ghost rows, then ghost columns, each leaf copying from an
// already refreshed neighbour. Checked against a reference that finds neighbours by point location and
// orders the leaves by their distance from the image instead of walking the tiles.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/front_fixtures.h"

namespace {

using namespace veldra_test;
using VELDRA_TRW::SLGrid2D;

unsigned splitLeafIfLeaf(SLGrid2D& grid, unsigned n) { return grid.hasChildren(n) ? NO_NODE : splitLeaf(grid, n); }

float meanOf(float a, float b) { return (a + b) * 0.5f; }
unsigned char meanOf(unsigned char a, unsigned char b) { return static_cast<unsigned char>((a + b) >> 1); }

// One leaf takes from direction d: the neighbour's value, or the mean of its two children on n's side.
template <typename T>
void referenceTake(const SLGrid2D& grid, std::vector<T>& ch, unsigned n, int d) {
  const unsigned m = neighbourByPoint(grid, n, d);
  if (m == NO_NODE) return;
  if (!grid.hasChildren(m)) {
    ch[n] = ch[m];
    return;
  }
  float mx, my, me;
  leafCentre(grid, m, &mx, &my, &me);
  std::vector<unsigned> facing;
  for (unsigned k = 0; k < 4; ++k) {
    const unsigned c = grid.child0(m) + k;
    float cx, cy, ce;
    leafCentre(grid, c, &cx, &cy, &ce);
    const bool faces = d == 0 ? cx > mx : d == 1 ? cx < mx : d == 2 ? cy > my : cy < my;
    if (faces) facing.push_back(c);
  }
  ASSERT_EQ(facing.size(), 2u);
  ch[n] = meanOf(ch[facing[0]], ch[facing[1]]);
}

// Leaves of the given tiles, accepted by keep, nearest to the image first along direction d.
template <typename Keep>
std::vector<LeafGeom> targets(const SLGrid2D& grid, const std::vector<std::pair<int, int>>& tiles, int d, Keep keep) {
  std::vector<LeafGeom> out;
  for (auto [i, j] : tiles)
    for (const LeafGeom& l : leavesInTiles(grid, i, j, i + 1, j + 1))
      if (keep(l)) out.push_back(l);
  std::stable_sort(out.begin(), out.end(), [d](const LeafGeom& a, const LeafGeom& b) {
    switch (d) {
      case 0: return a.cx < b.cx;
      case 1: return a.cx > b.cx;
      case 2: return a.cy < b.cy;
      default: return a.cy > b.cy;
    }
  });
  return out;
}

template <typename T>
void referenceRefresh(const SLGrid2D& grid, std::vector<T>& ch) {
  const int ni = static_cast<int>(grid.ni), nj = static_cast<int>(grid.nj);
  const auto all = [](const LeafGeom&) { return true; };
  const auto run = [&](const std::vector<std::pair<int, int>>& tiles, int d, auto keep) {
    for (const LeafGeom& l : targets(grid, tiles, d, keep)) referenceTake(grid, ch, l.node, d);
  };
  if (grid.imageHeight % 256 != 0) {
    std::vector<std::pair<int, int>> tiles;
    for (int i = 0; i < ni; ++i) tiles.push_back({i, nj - 1});
    const float h = static_cast<float>(grid.imageHeight);
    run(tiles, 2, [h](const LeafGeom& l) { return l.cy >= h; });
  }
  if (grid.imageWidth % 256 != 0) {
    std::vector<std::pair<int, int>> tiles;
    for (int j = -2; j < nj + 2; ++j) tiles.push_back({ni - 1, j});
    const float w = static_cast<float>(grid.imageWidth);
    run(tiles, 0, [w](const LeafGeom& l) { return l.cx >= w; });
  }
  std::vector<std::pair<int, int>> top, bottom, left, right;
  for (int i = 0; i < ni; ++i)
    for (int k = 0; k < 2; ++k) {
      top.push_back({i, -1 - k});
      bottom.push_back({i, nj + k});
    }
  run(top, 3, all);
  run(bottom, 2, all);
  for (int j = -2; j < nj + 2; ++j)
    for (int k = 0; k < 2; ++k) {
      left.push_back({-1 - k, j});
      right.push_back({ni + k, j});
    }
  run(left, 1, all);
  run(right, 0, all);
}

// An image refined at random, ghost tiles included, with distinct values on every node.
std::unique_ptr<SLGrid2D> randomTree(std::uint32_t seed, std::uint32_t w, std::uint32_t h) {
  auto grid = makeGrid(w, h);
  randomGradedRefine(*grid, seed, 60, 8);
  // Refine around the image corner so that leaves straddle its right and bottom edges at many levels.
  const float fw = static_cast<float>(w), fh = static_cast<float>(h);
  refineWhere(*grid, [&](float cx, float cy, float e) { return std::fabs(cx - fw) < e && std::fabs(cy - fh) < 2 * e; }, 6);
  std::mt19937 rng(seed);
  for (int s = 0; s < 6; ++s) {
    const int i = static_cast<int>(rng() % 6) - 2, j = static_cast<int>(rng() % 5) - 2;
    if (!grid->isInteriorTile(i, j)) {
      const unsigned g = splitLeafIfLeaf(*grid, grid->rootIndex(i, j));
      if (g != NO_NODE) splitLeafIfLeaf(*grid, g + static_cast<unsigned>(rng() % 4));
    }
  }
  gradeTree(*grid);
  fillField(*grid, grid->levelSet, [](float x, float y) { return x + 1000.0f * y; });
  std::uint32_t state = seed;
  grid->walk(VELDRA_TRW::Walk::AllNodes, [&](unsigned n) {
    state = state * 1664525u + 1013904223u;
    grid->region[n] = static_cast<unsigned char>(state >> 24);
  });
  return grid;
}

template <typename T, typename Pool>
std::vector<T> copyChannel(const SLGrid2D& grid, const Pool& pool) {
  return std::vector<T>(pool.data(), pool.data() + grid.nodes.capacity());
}

}  // namespace

// Partial tiles on both sides (300 x 200), and whole tiles only (512 x 256, no partial-tile steps).
TEST(RefreshBoundary, MatchesNearestFirstReferenceOnRandomTrees) {
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    auto grid = seed % 3 ? randomTree(seed, 300, 200) : randomTree(seed, 512, 256);
    ASSERT_TRUE(grid->checkGrading());
    std::vector<float> expected = copyChannel<float>(*grid, grid->levelSet);
    std::vector<unsigned char> expectedRegion = copyChannel<unsigned char>(*grid, grid->region);
    referenceRefresh(*grid, expected);
    referenceRefresh(*grid, expectedRegion);
    grid->RefreshBoundary(grid->levelSet.data());
    grid->RefreshBoundary(grid->region.data());
    int compared = 0;
    for (const LeafGeom& l : allLeafGeoms(*grid)) {
      ASSERT_TRUE(sameBits(grid->levelSet[l.node], expected[l.node]))
          << "seed " << seed << " leaf at (" << l.cx << ", " << l.cy << ") edge " << l.edge;
      ASSERT_EQ(grid->region[l.node], expectedRegion[l.node]) << "seed " << seed;
      ++compared;
    }
    EXPECT_GT(compared, 100);
  }
}

// The refresh keeps what it found out about the tree between calls: after splits and merges in tiles
// it writes or reads from (and fresh values), the next refresh must again match the reference.
TEST(RefreshBoundary, FollowsTopologyChangesBetweenRefreshes) {
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    auto grid = randomTree(seed, 300, 200);
    std::mt19937 rng(seed);
    for (int round = 0; round < 4; ++round) {
      grid->RefreshBoundary(grid->levelSet.data());
      // Merges alone in odd rounds (grading may break; the refresh does not need it), splits and
      // grading in even ones, anywhere: the tiles the refresh writes and reads from included.
      std::vector<unsigned> nodes;
      const bool merging = round % 2 == 1;
      grid->walk(VELDRA_TRW::Walk::AllNodes, [&](unsigned n) {
        if (merging ? grid->hasChildren(n) && !grid->hasGrandchildren(n) : !grid->hasChildren(n) && grid->level(n) < 7)
          nodes.push_back(n);
      });
      for (int k = 0; k < 6 && !nodes.empty(); ++k) {
        const unsigned n = nodes[rng() % nodes.size()];
        if (merging && grid->hasChildren(n)) grid->unlinkChildren(n);
        if (!merging) splitLeafIfLeaf(*grid, n);
      }
      if (!merging) gradeTree(*grid);
      const float shift = static_cast<float>(round) * 7.0f;
      fillField(*grid, grid->levelSet, [shift](float x, float y) { return x - shift + 1000.0f * y; });
      std::vector<float> expected = copyChannel<float>(*grid, grid->levelSet);
      referenceRefresh(*grid, expected);
      grid->RefreshBoundary(grid->levelSet.data());
      for (const LeafGeom& l : allLeafGeoms(*grid))
        ASSERT_TRUE(sameBits(grid->levelSet[l.node], expected[l.node]))
            << "seed " << seed << " round " << round << " leaf at (" << l.cx << ", " << l.cy << ") edge " << l.edge;
    }
  }
}

// Uniform 8-pixel leaves in the image tiles, field x + 1000 y: every leaf outside the image ends with
// the value of the last leaf inside along -y, then along -x; leaves inside keep theirs.
TEST(RefreshBoundary, PartialTilesCopyTheLastInnerLeafBeforeGhosts) {
  auto grid = makeGrid(300, 200);
  ASSERT_EQ(grid->ni, 2u);
  ASSERT_EQ(grid->nj, 1u);
  refineWhere(*grid, [&](float cx, float cy, float) { return cx > 0 && cy > 0 && cx < 512 && cy < 256; }, 5);
  const auto f = [](float x, float y) { return x + 1000.0f * y; };
  fillField(*grid, grid->levelSet, f);
  grid->RefreshBoundary(grid->levelSet.data());
  const std::vector<float> once = copyChannel<float>(*grid, grid->levelSet);
  for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, 2, 1)) {
    ASSERT_EQ(l.edge, 8.0f);
    const float x = std::min(l.cx, 292.0f), y = std::min(l.cy, 196.0f);
    EXPECT_EQ(grid->levelSet[l.node], f(x, y)) << "leaf at (" << l.cx << ", " << l.cy << ")";
  }
  grid->RefreshBoundary(grid->levelSet.data());
  // A second refresh changes nothing: every copied value is already in place.
  EXPECT_TRUE(copyChannel<float>(*grid, grid->levelSet) == once);
}

TEST(RefreshBoundary, NullChannelsAreIgnored) {
  auto grid = makeGrid(300, 200);
  grid->RefreshBoundary(static_cast<float*>(nullptr));
  grid->RefreshBoundary(static_cast<unsigned char*>(nullptr));
}
