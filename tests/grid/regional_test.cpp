// The band brush of the regional level set (which leaves the level set alone), checked leaf by leaf
// against its rules evaluated at every leaf's centre.
#include <gtest/gtest.h>

#include "support/tree.h"

namespace {

using namespace veldra_test;

// Inside the disc a band leaf's distance grows by the step (0.2, signed); any other leaf's shrinks by
// it and joins the band once it falls below the step, with the distance's magnitude. Leaves on the
// circle or outside it, and the level set everywhere, keep their values.
TEST(RegionBrush, ChangesExactlyTheLeavesInsideTheDisc) {
  for (const float sign : {1.0f, -1.0f}) {
    auto grid = makeGrid(512, 512);  // whole tiles: the boundary refresh only touches ghost tiles
    refineWhere(*grid, [](float cx, float cy, float e) { return std::hypot(cx - 256, cy - 256) < 80 + e; }, 6);
    grid->useRegional = 1;
    randomChannels(*grid, 8, 20.0f, 3.0f);
    const std::vector<LeafGeom> leaves = leavesInTiles(*grid, 0, 0, 2, 2);
    const auto phi = valuesAt(grid->levelSet, leaves), rho = valuesAt(grid->regional, leaves);
    const auto labels = valuesAt(grid->region, leaves);
    const float centre[2] = {228.0f, 258.0f}, step = 0.2f * sign;  // the leaf at (258, 258) is on the circle
    grid->RegionBrush(centre, 30.0f, sign);
    int changed = 0, onCircle = 0;
    for (std::size_t k = 0; k < leaves.size(); ++k) {
      const unsigned n = leaves[k].node;
      const double dx = leaves[k].cx - centre[0], dy = leaves[k].cy - centre[1], d2 = dx * dx + dy * dy;
      onCircle += d2 == 900.0;
      ASSERT_EQ(grid->levelSet[n], phi[k]);
      const float v = rho[k] - step;
      const bool in = d2 < 900.0, band = labels[k] == 2;
      changed += in;
      ASSERT_EQ(grid->region[n], in && !band && v < step ? 2 : labels[k]) << leaves[k].cx << "," << leaves[k].cy;
      ASSERT_FLOAT_EQ(grid->regional[n], !in ? rho[k] : band ? rho[k] + step : v < step ? std::fabs(v) : v);
    }
    EXPECT_GT(changed, 100);
    EXPECT_GE(onCircle, 1);
  }
}

}  // namespace
