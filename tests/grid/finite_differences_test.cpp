// One-edge differences across same-level, finer and coarser neighbours, and the level set gradient:
// exact for linear fields on graded trees, in every direction and on any float channel.
#include <gtest/gtest.h>

#include "support/front_fixtures.h"

namespace {

using namespace veldra_test;
using VELDRA_TRW::Direction;
using VELDRA_TRW::SLGrid2D;

constexpr float kA = 0.37f, kB = -0.61f, kC = 5.0f;
float linear(float x, float y) { return kA * x + kB * y + kC; }
constexpr float kDirX[4] = {-1, 1, 0, 0}, kDirY[4] = {0, 0, -1, 1};

enum class Kind { SameLevel, Finer, Coarser };

Kind kindOf(const SLGrid2D& grid, unsigned n, int d) {
  const unsigned m = grid.neighbour(n, static_cast<Direction>(d));
  if (grid.hasChildren(m)) return Kind::Finer;
  return grid.level(m) == grid.level(n) ? Kind::SameLevel : Kind::Coarser;
}

}  // namespace

// A linear field has D = -(a dx + b dy) * edge in every direction, whatever the neighbour's level.
TEST(FaceDifference, ExactForLinearFieldsAcrossLevels) {
  int seen[3] = {0, 0, 0};
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    auto grid = makeGrid(768, 768);
    randomGradedRefine(*grid, seed, 500, 8);
    ASSERT_TRUE(grid->checkGrading());
    fillField(*grid, grid->levelSet, linear);
    fillField(*grid, grid->temp2, [](float x, float y) { return 2.0f * linear(x, y); });
    for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, 3, 3)) {
      for (int d = 0; d < 4; ++d) {
        const float expected = -(kA * kDirX[d] + kB * kDirY[d]) * l.edge;
        ++seen[static_cast<int>(kindOf(*grid, l.node, d))];
        ASSERT_NEAR(grid->FaceDifference(l.node, static_cast<Direction>(d), grid->levelSet.data()), expected, 2e-3f)
            << "seed " << seed << " leaf (" << l.cx << ", " << l.cy << ") edge " << l.edge << " direction " << d;
        // Any float channel, not only the level set.
        ASSERT_NEAR(grid->FaceDifference(l.node, static_cast<Direction>(d), grid->temp2.data()), 2.0f * expected, 4e-3f);
      }
      float gx, gy;
      grid->NodeGradient(l.node, gx, gy);
      ASSERT_NEAR(gx, 2.0f * kA * l.edge, 4e-3f);
      ASSERT_NEAR(gy, 2.0f * kB * l.edge, 4e-3f);
    }
  }
  EXPECT_GT(seen[0], 1000);
  EXPECT_GT(seen[1], 100);
  EXPECT_GT(seen[2], 100);
  // Out-of-contract channel: no crash, zero difference.
  auto grid = makeGrid(512, 512);
  EXPECT_EQ(grid->FaceDifference(grid->rootIndex(0, 0), VELDRA_TRW::DIR_PLUS_X, nullptr), 0.0f);
}
