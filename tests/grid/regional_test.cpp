// The regional level set: labels and distances built from the selection, and the band brush (which
// leaves the level set alone), checked leaf by leaf against the rules evaluated at every leaf's centre.
#include <gtest/gtest.h>

#include <cmath>

#include "support/tree.h"

namespace {

using namespace veldra_test;
using VELDRA_TRW::Walk;

// Labels 0 inside, 1 outside, 2 in the band (both ends included, odd widths rounding the half width
// toward zero: band 9 gives 4), with the distance to the band's edge; inner nodes are left alone.
TEST(BuildRegions, EveryLeafIncludingGhostsFollowsTheBandRule) {
  auto grid = makeGrid(700, 520);
  randomGradedRefine(*grid, 17, 400, 7);
  randomChannels(*grid, 4, 20.0f, 1.0f);
  fillField(*grid, grid->region, [](float, float) { return 9; });
  fillField(*grid, grid->regional, [](float, float) { return -1.0f; });
  const int band = 9;  // h = 4
  grid->BuildRegions(band);
  int leaves = 0, ghosts = 0;
  grid->walk(Walk::AllNodes, [&](unsigned n) {
    if (grid->hasChildren(n)) {
      EXPECT_EQ(grid->region[n], 9);  // inner nodes are left alone
      EXPECT_EQ(grid->regional[n], -1.0f);
      return;
    }
    const double phi = grid->levelSet[n];
    const int expected = phi < -4.0 ? 0 : phi > 4.0 ? 1 : 2;
    EXPECT_EQ(grid->region[n], expected);
    EXPECT_NEAR(grid->regional[n], std::fabs(std::fabs(phi) - 4.0), 1e-6);
    ++leaves;
    if (grid->flags(n).has(VELDRA_TRW::TreeFlags::GHOST)) ++ghosts;
  });
  EXPECT_GT(leaves, 400);
  EXPECT_GT(ghosts, 0);
}

// ---- band brush ----

// A 512 x 512 image (no partial tiles, so the boundary refresh only touches ghost tiles) refined to
// 4-pixel cells around (256, 256).
std::unique_ptr<VELDRA_TRW::SLGrid2D> brushGrid() {
  auto grid = makeGrid(512, 512);
  refineWhere(
      *grid, [](float cx, float cy, float e) { return std::hypot(cx - 256.0f, cy - 256.0f) < 80.0f + e; }, 6);
  grid->useRegional = 1;
  return grid;
}

TEST(RegionBrush, ChangesExactlyTheLeavesInsideTheDisc) {
  for (const float sign : {1.0f, -1.0f}) {
    auto grid = brushGrid();
    randomChannels(*grid, 8, 20.0f, 3.0f);
    const std::vector<float> phi(grid->levelSet.data(), grid->levelSet.data() + grid->nodes.capacity());
    const std::vector<float> before(grid->regional.data(), grid->regional.data() + grid->nodes.capacity());
    const std::vector<unsigned char> labelsBefore(grid->region.data(), grid->region.data() + grid->nodes.capacity());
    // The 4-pixel leaf centred at (258, 258) lies exactly on this circle and must stay unchanged.
    const float centre[2] = {228.0f, 258.0f};
    const float radius = 30.0f;
    grid->RegionBrush(centre, radius, sign);
    const float step = 0.2f * sign;
    int changed = 0, onCircle = 0;
    grid->walk(Walk::InteriorLeaves, [&](unsigned n) {
      float cx, cy, e;
      leafCentre(*grid, n, &cx, &cy, &e);
      const double d2 = double(cx - centre[0]) * (cx - centre[0]) + double(cy - centre[1]) * (cy - centre[1]);
      if (d2 == 900.0) ++onCircle;
      if (!(d2 < 900.0)) {
        EXPECT_EQ(grid->regional[n], before[n]);
        EXPECT_EQ(grid->region[n], labelsBefore[n]);
        return;
      }
      ++changed;
      if (labelsBefore[n] == 2) {
        EXPECT_EQ(grid->region[n], 2);
        EXPECT_FLOAT_EQ(grid->regional[n], before[n] + step);
      } else {
        const float v = before[n] - step;
        EXPECT_EQ(grid->region[n], v < step ? 2 : labelsBefore[n]);
        EXPECT_FLOAT_EQ(grid->regional[n], v < step ? std::fabs(v) : v);
      }
    });
    EXPECT_GT(changed, 100);
    EXPECT_GE(onCircle, 1);
    // The band brush never touches the level set.
    grid->walk(Walk::AllNodes, [&](unsigned n) { EXPECT_EQ(grid->levelSet[n], phi[n]); });
  }
}

}  // namespace
