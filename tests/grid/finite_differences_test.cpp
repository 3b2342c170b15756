// One-edge differences across same-level, finer and coarser neighbours, and the level set gradient:
// exact for linear fields on graded trees, and equal to the plain neighbour formulas (neighbours found
// by point location) where no interpolation is involved.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

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
}

// Without interpolation the difference is own value minus the neighbour's, or minus the mean of the
// neighbour's two touching children divided by 0.75; the gradient is the central difference.
TEST(FaceDifference, SameLevelAndFinerNeighboursOnRandomValues) {
  auto grid = makeGrid(512, 512);
  randomGradedRefine(*grid, 5, 400, 8);
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> value(-50.0f, 50.0f);
  grid->walk(VELDRA_TRW::Walk::AllNodes, [&](unsigned n) { grid->levelSet[n] = value(rng); });
  const float* f = grid->levelSet.data();
  int checked = 0;
  for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, 2, 2)) {
    float diff[4];
    bool plain = true;
    for (int d = 0; d < 4; ++d) {
      const unsigned m = neighbourByPoint(*grid, l.node, d);
      ASSERT_EQ(m, grid->neighbour(l.node, static_cast<Direction>(d)));
      if (!grid->hasChildren(m)) {
        if (grid->level(m) != grid->level(l.node)) {
          plain = false;
          continue;
        }
        diff[d] = f[l.node] - f[m];
      } else {
        // The two children whose centres lie on n's side of m's centre.
        float mx, my, me, sum = 0.0f;
        int touching = 0;
        leafCentre(*grid, m, &mx, &my, &me);
        for (unsigned k = 0; k < 4; ++k) {
          float cx, cy, ce;
          leafCentre(*grid, grid->child0(m) + k, &cx, &cy, &ce);
          if ((cx - mx) * kDirX[d] < 0 || (cy - my) * kDirY[d] < 0) {
            sum += f[grid->child0(m) + k];
            ++touching;
          }
        }
        ASSERT_EQ(touching, 2);
        diff[d] = (f[l.node] - sum * 0.5f) / 0.75f;
      }
      EXPECT_EQ(grid->FaceDifference(l.node, static_cast<Direction>(d), f), diff[d]);
      ++checked;
    }
    if (!plain) continue;
    float gx, gy;
    grid->NodeGradient(l.node, gx, gy);
    EXPECT_EQ(gx, diff[0] - diff[1]);
    EXPECT_EQ(gy, diff[2] - diff[3]);
  }
  EXPECT_GT(checked, 1000);
  // Out-of-contract channel: no crash, zero difference.
  EXPECT_EQ(grid->FaceDifference(grid->rootIndex(0, 0), VELDRA_TRW::DIR_PLUS_X, nullptr), 0.0f);
}
