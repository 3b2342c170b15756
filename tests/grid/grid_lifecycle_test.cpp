// Sizing a grid for an image: tile counts, level counts and the initial field.
#include <gtest/gtest.h>

#include "support/tree_builders.h"

using namespace VELDRA_TRW;
using namespace veldra_test;

namespace {

TEST(GridLifecycle, TileAndLevelCountsFollowTheImageSize) {
  struct SizeCase {
    std::uint32_t w, h, ni, nj, numLevels;
  };
  const SizeCase cases[] = {{256, 256, 1, 1, 0},   {257, 256, 2, 1, 0},    {1000, 800, 4, 4, 0},
                            {4000, 3000, 16, 12, 2}, {2048, 2048, 8, 8, 1}, {1448, 1448, 6, 6, 0},
                            {8000, 6000, 32, 24, 3}, {300, 200, 2, 1, 0},  {0, 0, 0, 0, 0}};
  for (const SizeCase& c : cases) {
    auto grid = makeGrid(c.w, c.h);
    EXPECT_EQ(grid->ni, c.ni) << c.w << "x" << c.h;
    EXPECT_EQ(grid->nj, c.nj) << c.w << "x" << c.h;
    EXPECT_EQ(grid->numLevels, c.numLevels) << c.w << "x" << c.h;
    EXPECT_EQ(grid->numLevelsPlus1, c.numLevels + 1);
    int roots = 0;
    grid->walk(Walk::AllNodes, [&](unsigned n) {
      ++roots;
      EXPECT_EQ(grid->levelSet[n], 100.0f);
      EXPECT_EQ(grid->regional[n], 100.0f);
      EXPECT_EQ(grid->region[n], 1);
    });
    EXPECT_EQ(roots, static_cast<int>((c.ni + 4) * (c.nj + 4)));
  }
}

TEST(GridLifecycle, ResetRemovesRefinementAndRestoresInitialValues) {
  auto grid = makeGrid(700, 500);
  randomGradedRefine(*grid, 5, 60, 7);
  randomChannels(*grid, 5, 9.0f, 9.0f);
  const unsigned capacity = grid->nodes.capacity();
  grid->resetField();
  int nodes = 0;
  grid->walk(Walk::AllNodes, [&](unsigned n) {
    ++nodes;
    EXPECT_EQ(grid->levelSet[n], 100.0f);
    EXPECT_EQ(grid->regional[n], 100.0f);
    EXPECT_EQ(grid->region[n], 1);
  });
  EXPECT_EQ(nodes, 7 * 6);
  EXPECT_EQ(grid->nodes.freeCount + 44, capacity);  // only the root run (42 rounded to 44) is held
}

}  // namespace
