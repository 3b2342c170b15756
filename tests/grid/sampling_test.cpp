// Point location and the interpolant on random graded trees: the leaf found contains the point (with
// the worked cases of its tie rules), constant and linear fields come back exactly on every stencil
// shape, and the outputs of the regional form are written only while the regional level set is in use.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "grid/sampling_stencil.h"
#include "support/tree_builders.h"

using namespace VELDRA_TRW;
using namespace veldra_test;

namespace {

struct Linear {
  float a, b, c;
  float operator()(float x, float y) const { return a + b * x + c * y; }
  float scale(float w, float h) const { return std::fabs(a) + std::fabs(b) * w + std::fabs(c) * h; }
};

std::unique_ptr<SLGrid2D> RandomTree(std::uint32_t seed, std::uint32_t w = 700, std::uint32_t h = 520) {
  auto grid = makeGrid(w, h);
  randomGradedRefine(*grid, seed, 120, 8);
  return grid;
}

// Pixel extent of the points whose whole stencil lies inside the root block.
float LowEdge() { return -384.0f; }
float HighEdge(std::uint32_t tiles) { return (static_cast<float>(tiles) + 1.5f) * 256.0f; }

TEST(LocateLeaf, FirstHalfTileStartsInTheGhostTileAndStepsRight) {
  auto grid = makeGrid(512, 512);
  unsigned n;
  float lx, ly;
  grid->PointToRoot(10.0f, 300.0f, n, lx, ly);
  EXPECT_EQ(n, grid->rootIndex(-1, 0));
  grid->LocateLeaf(n, lx, ly);
  EXPECT_EQ(n, grid->rootIndex(0, 0) + grid->strideJ);
  EXPECT_NEAR(lx, 10.0f / 256.0f - 0.5f, 1e-6f);
}

TEST(LocateLeaf, HalfStaysAndZeroGoesToTheLargerChild) {
  auto grid = makeGrid(256, 256);
  const unsigned root = grid->rootIndex(0, 0);
  const unsigned g = splitLeaf(*grid, root);
  grid->updateRootFlags();
  unsigned n = root;
  float lx = 0.5f, ly = -0.5f;
  grid->LocateLeaf(n, lx, ly);
  EXPECT_EQ(n, g + 1);  // +0.5 stays in the root, then goes to the +x half
  EXPECT_EQ(lx, 0.5f);
  EXPECT_EQ(ly, -0.5f);
  n = root, lx = 0.0f, ly = 0.0f;
  grid->LocateLeaf(n, lx, ly);
  EXPECT_EQ(n, g + 3);
  EXPECT_EQ(lx, -0.5f);
}

TEST(LocateLeaf, PointsFarOutsideAreHeldAtTheGhostBorder) {
  auto grid = RandomTree(9);
  const float far[] = {-1e9f, -5000.0f, 5000.0f, 1e9f, NAN, INFINITY};
  for (float x : far)
    for (float y : far) {
      EXPECT_EQ(grid->SamplePoint(x, y, nullptr), SLGrid2D::kUntouchedValue);
      EXPECT_TRUE(std::isfinite(grid->SampleInterpolated(x, y, nullptr, nullptr)));
    }
  unsigned n = grid->rootIndex(0, 0);
  float lx = 1e30f, ly = -40.0f;
  grid->LocateLeaf(n, lx, ly);
  EXPECT_LE(std::fabs(lx), 0.5f);
}

// The search from any start node with any offset ends in the leaf that holds the place.
TEST(LocateLeaf, OffsetsBeyondTheStartNodeReachTheLeafAtThatPlace) {
  auto grid = RandomTree(6);
  std::vector<unsigned> nodes;
  grid->walk(Walk::InteriorNodes, [&](unsigned n) { nodes.push_back(n); });
  std::mt19937 rng(6);
  std::uniform_real_distribution<float> off(-3.0f, 3.0f);
  for (int k = 0; k < 3000; ++k) {
    unsigned n = nodes[rng() % nodes.size()];
    float cx, cy, e, lx = off(rng), ly = off(rng);
    leafCentre(*grid, n, &cx, &cy, &e);
    const float px = cx + lx * e, py = cy + ly * e;
    if (px < LowEdge() || py < LowEdge() || px >= HighEdge(grid->ni) || py >= HighEdge(grid->nj)) continue;
    grid->LocateLeaf(n, lx, ly);
    ASSERT_FALSE(grid->hasChildren(n));
    leafCentre(*grid, n, &cx, &cy, &e);
    EXPECT_LE(std::fabs(px - cx), e * 0.5f + 1e-3f);
    EXPECT_LE(std::fabs(py - cy), e * 0.5f + 1e-3f);
    EXPECT_NEAR(lx, (px - cx) / e, 1e-3f);
  }
}

// Beyond the outermost ghost ring the missing cells are the sampled tile itself, not a neighbour:
// at (ni + 1.25, j + 0.5) in tile units, D is the tile and Y the tile below it.
TEST(Interpolant, MissingNeighboursRepeatTheNodeItself) {
  auto grid = makeGrid(512, 512);
  const int i = static_cast<int>(grid->ni) + 1;
  grid->levelSet[grid->rootIndex(i, 0)] = 10.0f;
  grid->levelSet[grid->rootIndex(i, 1)] = 30.0f;
  const float px = (static_cast<float>(i) + 0.25f + 0.5f) * 256.0f, py = (0.5f + 0.5f) * 256.0f;
  EXPECT_NEAR(grid->SampleInterpolated(px, py, nullptr, nullptr), 0.5f * 10.0f + 0.5f * (0.75f * 30.0f + 0.25f * 10.0f),
              1e-5f);
}

// Collects the stencil shapes met by the samples of a test.
struct ShapeLog {
  std::set<unsigned> masks;
  int coarse = 0;
  void note(const SLGrid2D& grid, unsigned leaf, float lx, float ly) {
    sampling::Stencil s;
    sampling::FindStencil(grid, leaf, lx, ly, s);
    masks.insert(s.mask);
    bool sameLevel = true;
    for (unsigned c : s.cell) sameLevel = sameLevel && grid.level(c) == grid.level(leaf);
    if (!sameLevel) ++coarse;
  }
};

TEST(Interpolant, ReproducesConstantAndLinearFieldsOnEveryStencilShape) {
  ShapeLog log;
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    auto grid = RandomTree(seed);
    std::mt19937 rng(seed * 7u);
    std::uniform_real_distribution<float> coef(-2.0f, 2.0f);
    const Linear f{coef(rng) * 50.0f, coef(rng), coef(rng)};
    const float tol = 4e-6f * f.scale(1000.0f, 1000.0f);
    fillField(*grid, grid->levelSet, f);
    fillField(*grid, grid->temp, [](float, float) { return -3.25f; });
    // Regional channels constant: the weights of the entry form must add up to 1 as well.
    fillField(*grid, grid->regional, [](float, float) { return 7.0f; });
    // Stencils stay inside the block (outermost ghost ring included) while the point is within one
    // tile centre of the ghost border.
    std::uniform_real_distribution<float> ux(LowEdge(), (static_cast<float>(grid->ni) + 1.5f) * 256.0f);
    std::uniform_real_distribution<float> uy(LowEdge(), (static_cast<float>(grid->nj) + 1.5f) * 256.0f);
    for (int k = 0; k < 3000; ++k) {
      float px = ux(rng), py = uy(rng);
      if (k % 3 == 0) px = std::floor(px), py = std::floor(py);
      unsigned n;
      float lx, ly;
      grid->PointToRoot(px, py, n, lx, ly);
      grid->LocateLeaf(n, lx, ly);
      log.note(*grid, n, lx, ly);
      // The leaf found holds the point (on its closed square) at the offset returned.
      float cx, cy, e;
      leafCentre(*grid, n, &cx, &cy, &e);
      ASSERT_FALSE(grid->hasChildren(n));
      ASSERT_LE(std::fabs(px - cx), e * 0.5f) << px;
      ASSERT_LE(std::fabs(py - cy), e * 0.5f) << py;
      ASSERT_NEAR(lx, (px - cx) / e, 1e-4f);
      ASSERT_NEAR(ly, (py - cy) / e, 1e-4f);
      ASSERT_EQ(grid->SamplePoint(px, py, nullptr), grid->levelSet[n]);
      ASSERT_NEAR(grid->SampleInterpolated(px, py, nullptr, nullptr), f(px, py), tol) << px << "," << py;
      ASSERT_NEAR(grid->InterpolateChannel(n, grid->temp.data(), lx, ly), -3.25f, 1e-5f);
      grid->useRegional = 1;
      float margin = -1.0f;
      unsigned char label = 9;
      ASSERT_NEAR(grid->SampleInterpolated(px, py, &margin, &label), f(px, py), tol) << px << "," << py;
      EXPECT_EQ(label, 1);
      EXPECT_NEAR(margin, 7.0f, 1e-5f);
      grid->useRegional = 0;
    }
  }
  // All four cells subdivided cannot occur: the point lies in a leaf of the stencil, or the stencil
  // went coarse because one of its cells is a leaf.
  EXPECT_EQ(log.masks.size(), 15u) << "not every subdivision mask was met";
  EXPECT_EQ(log.masks.count(15u), 0u);
  EXPECT_GT(log.coarse, 100);
}

TEST(Interpolant, LeavesItsOutputsAloneWithoutTheRegionalLevelSet) {
  auto grid = RandomTree(5);
  float margin = -42.0f;
  unsigned char label = 77;
  grid->SampleInterpolated(300.0f, 200.0f, &margin, &label);
  grid->InterpolateAt(grid->rootIndex(1, 1), 0.3f, -0.2f, &margin, &label);
  grid->SamplePoint(300.0f, 200.0f, &label);
  EXPECT_EQ(margin, -42.0f);
  EXPECT_EQ(label, 77);
  grid->useRegional = 1;
  grid->SamplePoint(300.0f, 200.0f, &label);
  EXPECT_EQ(label, 1);
}

}  // namespace
