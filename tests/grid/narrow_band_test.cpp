// Narrow-band reinitialisation: one semi-Lagrangian step per leaf, then the sign-keeping merge.
// A linear field of slope m moves by sgn * e * L * (1 - m) (so a distance field stays put), an exact
// circle distance barely moves, no value changes sign, and the parallel sweep is bit-identical to a
// single-threaded one.
#include <gtest/gtest.h>

#include "support/front_fixtures.h"
#include "support/harness.h"

namespace {

using namespace veldra_test;
using VELDRA_TRW::SLGrid2D;

bool insideImage(const SLGrid2D& grid, const LeafGeom& l) {
  return l.cx < static_cast<float>(grid.imageWidth) && l.cy < static_cast<float>(grid.imageHeight);
}

// Distance-like test field: a noisy circle, so that values near zero meet sign changes everywhere.
void noisyField(SLGrid2D& grid, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> noise(-3.0f, 3.0f);
  fillField(grid, grid.levelSet, [&](float x, float y) { return std::hypot(x - 400, y - 330) - 150.0f + noise(rng); });
  fillField(grid, grid.regional, [&](float, float) { return std::fabs(noise(rng)) * 3.0f; });
  grid.walk(VELDRA_TRW::Walk::AllNodes, [&](unsigned n) { grid.region[n] = static_cast<unsigned char>(rng() % 3); });
}

}  // namespace

// For phi linear with slope m: the foot lies L edges upstream along the gradient, the interpolant is
// exact for linear fields across levels, so "temp" = phi + sgn * e * L * (1 - m), L = min(2 e m, 1.2).
TEST(UpdateNarrowBand, LinearFieldsMoveByTheReinitialisationStep) {
  for (float slope : {1.0f, 0.5f, 2.0f}) {
    for (std::uint32_t seed = 1; seed <= 3; ++seed) {
      auto grid = makeGrid(1000, 700);
      randomGradedRefine(*grid, seed, 400, 8);
      const float angle = 0.7f * static_cast<float>(seed);
      const float a = slope * std::cos(angle), b = slope * std::sin(angle);
      fillField(*grid, grid->levelSet, [&](float x, float y) { return a * (x - 500.0f) + b * (y - 350.0f); });
      const auto leaves = leavesInTiles(*grid, 0, 0, 4, 3);
      const auto before = snapshot(grid->levelSet, leaves);
      grid->UpdateNarrowBand(0, 0, 4, 3);
      int moved = 0, shrunk = 0;
      for (std::size_t k = 0; k < leaves.size(); ++k) {
        const LeafGeom& l = leaves[k];
        if (!insideImage(*grid, l)) continue;
        const float phi = before[k];
        const float sgn = phi >= 0.0f ? 1.0f : -1.0f;
        const float len = std::min(2.0f * l.edge * slope, 1.2f);
        const float expectedTemp = phi + sgn * l.edge * len * (1.0f - slope);
        const float tol = 2e-3f + 2e-6f * std::fabs(phi);
        ASSERT_NEAR(grid->temp[l.node], expectedTemp, tol) << "slope " << slope << " seed " << seed << " leaf ("
                                                           << l.cx << ", " << l.cy << ") edge " << l.edge;
        const bool keepsSign = phi * grid->temp[l.node] > 0.0f;
        ASSERT_EQ(grid->levelSet[l.node], keepsSign ? grid->temp[l.node] : 0.9f * phi);
        moved += keepsSign;
        shrunk += !keepsSign;
      }
      EXPECT_GT(moved, 500);
      // A slope above one pulls values across zero near the front.
      EXPECT_TRUE(slope <= 1.0f || shrunk > 0);
    }
  }
}

// An exact distance to a circle on single-pixel leaves (graded further out) moves only by the
// interpolation error of the curved field at the foot: bilinear interpolation of a field of curvature
// 1/50 (10 px inside the circle) misses by at most h^2 / (8 * 50) = 0.0025 edges per unit edge; the
// test allows 0.05 edges for the coarser cells and the central-difference direction.
TEST(UpdateNarrowBand, ExactCircleDistanceIsNearlyUnchanged) {
  const auto sdf = [](float x, float y) { return std::hypot(x - 256.3f, y - 250.7f) - 60.0f; };
  for (float band : {12.0f, 3.0f}) {
    auto grid = makeGrid(512, 512);
    refineAlong(*grid, sdf, band);
    fillField(*grid, grid->levelSet, sdf);
    const auto leaves = leavesInTiles(*grid, 0, 0, 2, 2);
    const auto before = snapshot(grid->levelSet, leaves);
    grid->UpdateNarrowBand(0, 0, 2, 2);
    for (std::size_t k = 0; k < leaves.size(); ++k) {
      if (std::fabs(before[k]) > 10.0f) continue;
      EXPECT_LE(std::fabs(grid->levelSet[leaves[k].node] - before[k]), 0.05f * leaves[k].edge) << "band " << band;
      ASSERT_EQ(grid->levelSet[leaves[k].node] >= 0.0f, before[k] >= 0.0f);
    }
  }
}

// Noisy fields on random trees: no leaf changes sign (zero stays zero) and the merge rule holds for
// the level set and the regional distance.
TEST(UpdateNarrowBand, MergeNeverFlipsASign) {
  int flipsAvoided = 0;
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    auto grid = makeGrid(800, 700);
    randomGradedRefine(*grid, seed, 600, 8);
    noisyField(*grid, seed);
    grid->useRegional = seed % 2;
    const auto leaves = leavesInTiles(*grid, 0, 0, 4, 3);
    const auto phi = snapshot(grid->levelSet, leaves);
    const auto rho = snapshot(grid->regional, leaves);
    grid->levelSet[leaves[leaves.size() / 2].node] = 0.0f;
    grid->UpdateNarrowBand(0, 0, 4, 3);
    for (std::size_t k = 0; k < leaves.size(); ++k) {
      const unsigned n = leaves[k].node;
      if (!insideImage(*grid, leaves[k])) continue;
      const float before = k == leaves.size() / 2 ? 0.0f : phi[k];
      const float after = grid->levelSet[n];
      ASSERT_TRUE((before > 0 && after > 0) || (before < 0 && after < 0) || (before == 0 && after == 0))
          << before << " -> " << after;
      if (before * grid->temp[n] <= 0.0f) ++flipsAvoided;
      ASSERT_EQ(after, before * grid->temp[n] > 0.0f ? grid->temp[n] : 0.9f * before);
      ASSERT_EQ(grid->regional[n], !grid->useRegional ? rho[k] : grid->temp2[n] > 0.0f ? grid->temp2[n] : 0.9f * rho[k]);
    }
  }
  EXPECT_GT(flipsAvoided, 20);
}

// Regional distance to a straight label border: exact away from the border; the two leaves on the
// border sample across it (foot label differs), get -0.5 and are pulled to 0.9 * 0.5.
TEST(UpdateNarrowBand, RegionalDistanceAcrossALabelBorder) {
  auto grid = makeGrid(512, 512);
  refineWhere(*grid, [](float cx, float, float e) { return std::fabs(cx - 300) < 12 + e; }, 8);
  fillField(*grid, grid->levelSet, [](float x, float) { return x - 300.0f; });
  fillField(*grid, grid->regional, [](float x, float) { return std::fabs(x - 300.0f); });
  fillField(*grid, grid->region, [](float x, float) { return x < 300.0f ? 0 : 1; });
  grid->useRegional = 1;
  grid->UpdateNarrowBand(0, 0, 2, 2);
  int checked = 0;
  for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, 2, 2)) {
    const float d = std::fabs(l.cx - 300.0f);
    if (d > 8.0f || l.cy < 16.0f || l.cy > 496.0f) continue;
    ASSERT_EQ(l.edge, 1.0f);
    EXPECT_TRUE(d != 0.5f || std::fabs(grid->temp2[l.node] + 0.5f) < 1e-5f);
    EXPECT_NEAR(grid->regional[l.node], d == 0.5f ? 0.9f * 0.5f : d, 1e-4f) << l.cx;
    EXPECT_NEAR(grid->levelSet[l.node], l.cx - 300.0f, 1e-4f);
    ++checked;
  }
  EXPECT_GT(checked, 1000);
}

// The row loop runs on the task scheduler; one thread and all threads give the same bits.
TEST(UpdateNarrowBand, ParallelRowsMatchOneThreadBitForBit) {
  for (std::uint8_t regional : {0, 1}) {
    auto run = [&] {
      auto grid = makeGrid(1500, 1800);
      randomGradedRefine(*grid, 21, 1500, 8);
      noisyField(*grid, 4);
      grid->useRegional = regional;
      for (int pass = 0; pass < 3; ++pass) grid->UpdateNarrowBand(0, 0, 6, 8);
      return grid;
    };
    auto one = onOneThread(run), many = run();
    const auto a = allLeafGeoms(*one), b = allLeafGeoms(*many);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t k = 0; k < a.size(); ++k) {
      ASSERT_TRUE(sameBits(one->levelSet[a[k].node], many->levelSet[b[k].node]));
      ASSERT_TRUE(sameBits(one->temp[a[k].node], many->temp[b[k].node]));
      ASSERT_TRUE(sameBits(one->regional[a[k].node], many->regional[b[k].node]));
      ASSERT_TRUE(sameBits(one->temp2[a[k].node], many->temp2[b[k].node]));
    }
  }
}

// Ranges outside the image's tiles are clamped; an empty range still refreshes the border.
TEST(UpdateNarrowBand, EmptyAndOutOfRangeRectangles) {
  auto grid = makeGrid(300, 200);
  fillField(*grid, grid->levelSet, [](float x, float y) { return x + y; });
  const unsigned ghost = grid->rootIndex(-1, 0);
  const float inner = grid->levelSet[grid->rootIndex(0, 0)];
  grid->UpdateNarrowBand(0, 0, 0, 0);
  EXPECT_EQ(grid->levelSet[ghost], inner);
  grid->UpdateNarrowBand(-50, -50, 50, 50);
  grid->UpdateNarrowBand(5, 5, -5, -5);
}
