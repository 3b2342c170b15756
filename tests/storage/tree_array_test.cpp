// Tree topology: the root block, linking and releasing children, walks, and the neighbour lookup
// checked against a geometric reference on random graded trees.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <tuple>

#include "support/tree_builders.h"

using namespace VELDRA_TRW;
using namespace veldra_test;

namespace {

TEST(TreeArray, OneTileImageHasATwentyEightSlotRootRun) {
  SLGrid2D grid;
  grid.initRootGrid(1, 1);
  EXPECT_EQ(grid.firstNode, 0u);
  EXPECT_EQ(grid.rootIndex(0, 0), grid.firstNode + 12);
  EXPECT_EQ(grid.nodes.freeCount, grid.nodes.capacity() - 28);
  int roots = 0, interior = 0;
  grid.walk(Walk::AllNodes, [&](unsigned n) {
    ++roots;
    EXPECT_TRUE(grid.flags(n).has(TreeFlags::ROOT));
    if (!grid.flags(n).has(TreeFlags::GHOST)) ++interior;
  });
  EXPECT_EQ(roots, 25);
  EXPECT_EQ(interior, 1);
  const TreeRootGrid& rg = grid.rootGridOf(grid.rootIndex(0, 0));
  EXPECT_EQ(rg.si, 5u);
  EXPECT_EQ(rg.rootCount, 25u);
  EXPECT_EQ(rg.rootCount4, 28u);
  EXPECT_EQ(rg.rootBase, grid.rootBase);
  EXPECT_EQ(rg.maxLevel, 8u);
}

TEST(TreeArray, RebuildingReleasesTheOldBlockAndItsSubtrees) {
  SLGrid2D grid;
  grid.initRootGrid(3, 2);
  splitLeaf(grid, splitLeaf(grid, grid.rootIndex(1, 1)) + 2);
  const unsigned freeBefore = grid.nodes.freeCount + 8 + (7 * 6 + 3) / 4 * 4;
  grid.initRootGrid(3, 2);
  EXPECT_EQ(grid.nodes.freeCount + (7 * 6 + 3) / 4 * 4, freeBefore);
  grid.walk(Walk::AllNodes, [&](unsigned n) { EXPECT_FALSE(grid.hasChildren(n)); });
}

TEST(TreeArray, LinkedChildrenInheritGhostAndSlotAndAreOneLevelDeeper) {
  SLGrid2D grid;
  grid.initRootGrid(2, 2);
  const unsigned ghost = grid.rootIndex(-1, 0);
  const unsigned g = splitLeaf(grid, ghost);
  grid.updateRootFlags();
  for (unsigned c = 0; c < 4; ++c) {
    EXPECT_EQ(grid.level(g + c), 1u);
    EXPECT_TRUE(grid.flags(g + c).has(TreeFlags::GHOST));
    EXPECT_FALSE(grid.flags(g + c).has(TreeFlags::ROOT));
    EXPECT_EQ(grid.flags(g + c).gridIndex(), grid.gridIndex);
    EXPECT_EQ(grid.parent(g + c), ghost);
  }
  grid.unlinkChildren(ghost);
  EXPECT_FALSE(grid.hasChildren(ghost));
  EXPECT_EQ(grid.nodes.allocateGroup(), g);
}

TEST(TreeArray, NeighbourCasesAtTheEdgeOfTheBorder) {
  SLGrid2D grid;
  grid.initRootGrid(2, 2);
  EXPECT_EQ(grid.neighbour(grid.rootIndex(-2, 0), DIR_MINUS_X), NO_NODE);
  EXPECT_EQ(grid.neighbour(grid.rootIndex(0, 0), DIR_MINUS_X), grid.rootIndex(-1, 0));
  EXPECT_EQ(grid.neighbour(grid.rootIndex(1, 3), DIR_PLUS_Y), NO_NODE);
  const unsigned a = splitLeaf(grid, grid.rootIndex(1, 0));
  grid.updateRootFlags();
  EXPECT_EQ(grid.neighbour(a + 1, DIR_MINUS_X), a);
  // Child 0's -x neighbour goes through the parent's neighbour, a leaf here.
  EXPECT_EQ(grid.neighbour(a, DIR_MINUS_X), grid.rootIndex(0, 0));
  const unsigned b = splitLeaf(grid, grid.rootIndex(0, 0));
  grid.updateRootFlags();
  EXPECT_EQ(grid.neighbour(a, DIR_MINUS_X), b + 1);
  EXPECT_EQ(grid.neighbour(a + 2, DIR_MINUS_X), b + 3);
}

// Geometric reference: the node at level L (or the coarsest leaf above) containing a pixel point.
unsigned nodeAt(const SLGrid2D& grid, float px, float py, unsigned level) {
  const int i = static_cast<int>(std::floor(px / 256.0f)), j = static_cast<int>(std::floor(py / 256.0f));
  if (i < -2 || j < -2 || i >= static_cast<int>(grid.ni) + 2 || j >= static_cast<int>(grid.nj) + 2) return NO_NODE;
  unsigned n = grid.rootIndex(i, j);
  float cx = (i + 0.5f) * 256.0f, cy = (j + 0.5f) * 256.0f, e = 256.0f;
  while (grid.level(n) < level && grid.hasChildren(n)) {
    const unsigned k = (px >= cx ? 1u : 0u) + (py >= cy ? 2u : 0u);
    n = grid.child0(n) + k;
    cx += (k & 1u) ? e / 4 : -e / 4;
    cy += (k & 2u) ? e / 4 : -e / 4;
    e /= 2;
  }
  return n;
}

TEST(TreeArray, NeighbourMatchesGeometryOnRandomGradedTrees) {
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    auto grid = makeGrid(600, 300);
    randomGradedRefine(*grid, seed, 120, 8);
    static const float kStep[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    int checked = 0;
    grid->walk(Walk::AllNodes, [&](unsigned n) {
      float cx, cy, e;
      leafCentre(*grid, n, &cx, &cy, &e);
      for (int d = 0; d < 4; ++d) {
        const unsigned expected = nodeAt(*grid, cx + kStep[d][0] * e, cy + kStep[d][1] * e, grid->level(n));
        ASSERT_EQ(grid->neighbour(n, static_cast<Direction>(d)), expected)
            << "node " << n << " dir " << d << " seed " << seed;
        ++checked;
      }
    });
    EXPECT_GT(checked, 1000);
    EXPECT_TRUE(grid->checkGrading());
  }
}

TEST(TreeArray, NeighbourMatchesGeometryOnUngradedTrees) {
  for (std::uint32_t seed = 11; seed <= 14; ++seed) {
    auto grid = makeGrid(500, 520);
    std::mt19937 rng(seed);
    for (int s = 0; s < 150; ++s) {  // random splits with no grading: deep leaves beside coarse ones
      std::vector<unsigned> leaves = allLeaves(*grid);
      const unsigned n = leaves[rng() % leaves.size()];
      if (grid->level(n) < 8) splitLeaf(*grid, n);
    }
    grid->updateRootFlags();
    static const float kStep[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    grid->walk(Walk::AllNodes, [&](unsigned n) {
      float cx, cy, e;
      leafCentre(*grid, n, &cx, &cy, &e);
      for (int d = 0; d < 4; ++d)
        ASSERT_EQ(grid->neighbour(n, static_cast<Direction>(d)),
                  nodeAt(*grid, cx + kStep[d][0] * e, cy + kStep[d][1] * e, grid->level(n)));
    });
  }
}

// Plain recursive reference of the walks: tiles row by row, pre-order, children 0..3.
void recursiveWalk(const SLGrid2D& grid, unsigned n, bool leavesOnly, std::vector<unsigned>& out) {
  if (!grid.hasChildren(n) || !leavesOnly) out.push_back(n);
  if (grid.hasChildren(n))
    for (unsigned c = 0; c < 4; ++c) recursiveWalk(grid, grid.child0(n) + c, leavesOnly, out);
}

TEST(TreeArray, EachWalkKindMatchesARecursiveReference) {
  auto grid = makeGrid(900, 300);
  randomGradedRefine(*grid, 21, 100, 8);
  for (int kind = 0; kind < 4; ++kind) {
    const bool interior = kind == 0 || kind == 2, leavesOnly = kind < 2;
    std::vector<unsigned> expected, got;
    const int g = interior ? 0 : 2;
    for (int j = -g; j < static_cast<int>(grid->nj) + g; ++j)
      for (int i = -g; i < static_cast<int>(grid->ni) + g; ++i)
        recursiveWalk(*grid, grid->rootIndex(i, j), leavesOnly, expected);
    grid->walk(static_cast<Walk>(kind), [&](unsigned n) { got.push_back(n); });
    EXPECT_EQ(got, expected) << "walk kind " << kind;
  }
  // The cached start state names the first and last node of each walk.
  grid->buildIterCache();
  for (int kind = 0; kind < 4; ++kind) {
    std::vector<unsigned> got;
    grid->walk(static_cast<Walk>(kind), [&](unsigned n) { got.push_back(n); });
    EXPECT_EQ(grid->iterCache[kind].current, got.front());
    EXPECT_EQ(grid->iterCache[kind].end, got.back());
  }
}

TEST(TreeArray, CountLeafVisitsShowsOneOnEveryInteriorLeaf) {
  auto grid = makeGrid(700, 500);
  randomGradedRefine(*grid, 3, 80, 6);
  grid->countLeafVisits(grid->temp.data());
  grid->walk(Walk::InteriorNodes, [&](unsigned n) {
    EXPECT_EQ(grid->temp[n], grid->hasChildren(n) ? 0.0f : 1.0f);
  });
}

TEST(TreeArray, GradingCheckFindsAJumpOfTwoLevels) {
  auto grid = makeGrid(512, 256);
  const unsigned a = splitLeaf(*grid, grid->rootIndex(1, 0));
  splitLeaf(*grid, a);  // tile (0, 0) is a leaf next to grandchildren of tile (1, 0)
  grid->updateRootFlags();
  EXPECT_FALSE(grid->checkGrading());
  splitLeaf(*grid, grid->rootIndex(0, 0));
  grid->updateRootFlags();
  // Still ungraded towards the ghost tiles above / below, which are not interior and not checked,
  // but every interior leaf now sees at most children.
  EXPECT_TRUE(grid->checkGrading());
}

}  // namespace
