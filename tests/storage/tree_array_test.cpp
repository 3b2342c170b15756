// Tree topology: the root block, linking and releasing children, walks against a recursive reference,
// and the neighbour lookup against point location on random trees, graded and not.
#include <gtest/gtest.h>

#include "support/front_fixtures.h"

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
  EXPECT_TRUE(rg.si == 5u && rg.rootCount == 25u && rg.rootCount4 == 28u && rg.rootBase == grid.rootBase && rg.maxLevel == 8u);
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
  for (unsigned c = g; c < g + 4; ++c) {
    EXPECT_TRUE(grid.level(c) == 1u && grid.flags(c).has(TreeFlags::GHOST) && !grid.flags(c).has(TreeFlags::ROOT));
    EXPECT_TRUE(grid.flags(c).gridIndex() == grid.gridIndex && grid.parent(c) == ghost);
  }
  grid.unlinkChildren(ghost);
  EXPECT_FALSE(grid.hasChildren(ghost));
  EXPECT_EQ(grid.nodes.allocateGroup(), g);
}

// Graded trees, and trees of random splits without grading (deep leaves beside coarse ones), ghost
// tiles and the block's outer edge included.
TEST(TreeArray, NeighbourMatchesGeometryOnRandomTrees) {
  static const float kStep[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
  for (std::uint32_t seed = 1; seed <= 10; ++seed) {
    const bool graded = seed <= 6;
    auto grid = graded ? makeGrid(600, 300) : makeGrid(500, 520);
    if (graded) randomGradedRefine(*grid, seed, 120, 8);
    std::mt19937 rng(seed);
    for (int s = 0; s < 150 && !graded; ++s) {
      const std::vector<unsigned> leaves = allLeaves(*grid);
      const unsigned n = leaves[rng() % leaves.size()];
      if (grid->level(n) < 8) splitLeaf(*grid, n);
    }
    grid->updateRootFlags();
    EXPECT_TRUE(!graded || grid->checkGrading());
    int checked = 0;
    grid->walk(Walk::AllNodes, [&](unsigned n) {
      float cx, cy, e;
      leafCentre(*grid, n, &cx, &cy, &e);
      for (int d = 0; d < 4; ++d, ++checked)
        ASSERT_EQ(grid->neighbour(n, static_cast<Direction>(d)), locateByPoint(*grid, cx + kStep[d][0] * e, cy + kStep[d][1] * e, grid->level(n)))
            << "node " << n << " dir " << d << " seed " << seed;
    });
    EXPECT_GT(checked, 1000);
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
