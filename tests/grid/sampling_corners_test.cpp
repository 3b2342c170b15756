// The worked corner values of the subdivided interpolant, one case per configuration and corner, on
// a 2 x 2 block of level-2 cells B, X, Y, D in which some cells are split once more. Channel values
// are random, so each case checks the exact weights of its corner.
#include <gtest/gtest.h>

#include <random>

#include "grid/sampling_corners.h"
#include "support/tree_builders.h"

using namespace VELDRA_TRW;
using namespace VELDRA_TRW::sampling;
using namespace veldra_test;

namespace {

class CornerCase : public ::testing::Test {
 protected:
  std::unique_ptr<SLGrid2D> grid = makeGrid(1024, 1024);
  unsigned cell[4] = {};  // B, X, Y, D
  std::vector<float> values;

  // Level-2 cell (a, b), 0..3 each, of root tile (1, 1).
  unsigned levelTwo(int a, int b) const {
    const unsigned g1 = grid->child0(grid->rootIndex(1, 1));
    const unsigned p = g1 + static_cast<unsigned>((a >> 1) + 2 * (b >> 1));
    return grid->child0(p) + static_cast<unsigned>((a & 1) + 2 * (b & 1));
  }

  // Splits the named cells of the block at (1, 1)..(2, 2) and fills every node with a random value.
  void build(std::initializer_list<int> split) {
    const unsigned g1 = splitLeaf(*grid, grid->rootIndex(1, 1));
    for (unsigned k = 0; k < 4; ++k) splitLeaf(*grid, g1 + k);
    cell[CELL_B] = levelTwo(1, 1);
    cell[CELL_X] = levelTwo(2, 1);
    cell[CELL_Y] = levelTwo(1, 2);
    cell[CELL_D] = levelTwo(2, 2);
    for (int c : split) splitLeaf(*grid, cell[c]);
    gradeTree(*grid);
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-50.0f, 50.0f);
    values.assign(grid->nodes.capacity(), 0.0f);
    for (float& v : values) v = u(rng);
  }

  float f(int c) const { return values[cell[c]]; }
  float child(int c, unsigned k) const { return values[grid->child0(cell[c]) + k]; }

  // The stencil seen from leaf `from` at offset (lx, ly), which must be the block B, X, Y, D.
  float corner(int from, float lx, float ly, int ix, int iy) const {
    Stencil s;
    FindStencil(*grid, cell[from], lx, ly, s);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(s.cell[c], cell[c]) << "stencil cell " << c;
    Terms t;
    CornerTerms(*grid, s, ix, iy, t);
    float weightSum = 0.0f;
    for (int i = 0; i < t.count; ++i) weightSum += t.weight[i];
    EXPECT_NEAR(weightSum, 1.0f, 1e-6f);
    return t.evaluate(values.data());
  }
};

constexpr float kTol = 2e-5f;

TEST_F(CornerCase, NoneSubdividedOnTheLowerSide) {
  build({CELL_Y});
  EXPECT_NEAR(corner(CELL_B, 0.25f, 0.25f, 1, 0), 0.75f * f(CELL_B) + 0.25f * f(CELL_X), kTol);
  // Reached by the interpolant too: the point (1/4, 0) is a corner of its sub-rectangle.
  EXPECT_NEAR(grid->InterpolateChannel(cell[CELL_B], values.data(), 0.25f, 0.0f),
              0.75f * f(CELL_B) + 0.25f * f(CELL_X), kTol);
}

TEST_F(CornerCase, NoneSubdividedOnTheRightSide) {
  build({CELL_B});
  EXPECT_NEAR(corner(CELL_X, -0.25f, 0.25f, 3, 1), 0.75f * f(CELL_X) + 0.25f * f(CELL_D), kTol);
}

TEST_F(CornerCase, SubdividedBOnTheLowerSide) {
  build({CELL_B});
  EXPECT_NEAR(corner(CELL_X, -0.25f, 0.25f, 1, 0), 0.5f * child(CELL_B, 1) + 0.5f * child(CELL_B, 3), kTol);
}

TEST_F(CornerCase, SubdividedBInnerChild) {
  build({CELL_B});
  EXPECT_NEAR(corner(CELL_X, -0.25f, 0.25f, 1, 1), child(CELL_B, 3), kTol);
}

TEST_F(CornerCase, SubdividedXOnTheLowerSide) {
  build({CELL_X});
  EXPECT_NEAR(corner(CELL_B, 0.25f, 0.25f, 2, 0), 0.5f * child(CELL_X, 0) + 0.5f * child(CELL_X, 2), kTol);
}

TEST_F(CornerCase, SubdividedXYDOnTheLowerSide) {
  build({CELL_X, CELL_Y, CELL_D});
  const float expected = 2.0f / 3 * f(CELL_B) + 1.0f / 6 * child(CELL_X, 0) + 1.0f / 6 * child(CELL_X, 2);
  EXPECT_NEAR(corner(CELL_B, 0.25f, 0.25f, 1, 0), expected, kTol);
  EXPECT_NEAR(grid->InterpolateChannel(cell[CELL_B], values.data(), 0.25f, 0.0f), expected, kTol);
}

TEST_F(CornerCase, SubdividedXYDOnTheLeftSide) {
  build({CELL_X, CELL_Y, CELL_D});
  const float expected = 2.0f / 3 * f(CELL_B) + 1.0f / 6 * child(CELL_Y, 0) + 1.0f / 6 * child(CELL_Y, 1);
  EXPECT_NEAR(corner(CELL_B, 0.25f, 0.25f, 0, 1), expected, kTol);
  EXPECT_NEAR(grid->InterpolateChannel(cell[CELL_B], values.data(), 0.0f, 0.25f), expected, kTol);
}

TEST_F(CornerCase, SubdividedXYDInteriorCorner) {
  build({CELL_X, CELL_Y, CELL_D});
  const float expected = 4.0f / 9 * f(CELL_B) + 2.0f / 9 * child(CELL_X, 2) + 2.0f / 9 * child(CELL_Y, 1) +
                         1.0f / 18 * child(CELL_X, 0) + 1.0f / 18 * child(CELL_Y, 0);
  EXPECT_NEAR(corner(CELL_B, 0.25f, 0.25f, 1, 1), expected, kTol);
  EXPECT_NEAR(grid->InterpolateChannel(cell[CELL_B], values.data(), 0.25f, 0.25f), expected, kTol);
}

TEST_F(CornerCase, SubdividedXYDInnerChildOfD) {
  build({CELL_X, CELL_Y, CELL_D});
  EXPECT_NEAR(corner(CELL_B, 0.25f, 0.25f, 2, 2), child(CELL_D, 0), kTol);
}

TEST_F(CornerCase, SubdividedBXOnTheUpperSide) {
  build({CELL_B, CELL_X});
  EXPECT_NEAR(corner(CELL_Y, 0.25f, -0.25f, 1, 3), 0.75f * f(CELL_Y) + 0.25f * f(CELL_D), kTol);
}

// Between grid lines the interpolant is bilinear in its sub-rectangle's corners.
TEST_F(CornerCase, InterpolantIsBilinearInsideItsSubRectangle) {
  build({CELL_X, CELL_Y, CELL_D});
  const float v00 = corner(CELL_B, 0.25f, 0.25f, 1, 1), v10 = corner(CELL_B, 0.25f, 0.25f, 2, 1);
  const float v01 = corner(CELL_B, 0.25f, 0.25f, 1, 2), v11 = corner(CELL_B, 0.25f, 0.25f, 2, 2);
  // (sx, sy) = (0.375, 0.4375) lies at (s, t) = (0.25, 0.375) of [1/4, 3/4]^2.
  const float s = 0.25f, t = 0.375f;
  const float expected = ((1 - s) * v00 + s * v10) * (1 - t) + ((1 - s) * v01 + s * v11) * t;
  EXPECT_NEAR(grid->InterpolateChannel(cell[CELL_B], values.data(), 0.375f, 0.4375f), expected, kTol);
}

}  // namespace
