// Smoothing against a plain-array reference on a uniform patch of leaves: two diffusion steps of the
// level set, the second reading the untouched field beyond the brush whatever the scratch channel
// held.
#include <gtest/gtest.h>

#include "support/tree.h"

namespace {

using namespace veldra_test;

constexpr int kCells = 64;  // 512 / 8: the image as a uniform patch of 8-pixel leaves
constexpr float kEdge = 8.0f;

struct Patch {
  std::unique_ptr<SLGrid2D> grid = makeGrid(512, 512);
  unsigned node[kCells][kCells];  // [row][column]
  Patch() {
    refineWhere(*grid, [](float cx, float cy, float) { return cx > 0.0f && cy > 0.0f && cx < 512.0f && cy < 512.0f; }, 5);
    for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, 2, 2)) node[int(l.cy / kEdge)][int(l.cx / kEdge)] = l.node;
  }
};

struct Brush {
  float cx, cy, inner, outer;
  int x, y, w, h;
};

// Step weight of the cell (i, j) under the brush, or -1 when it is not selected.
float weightOf(const Brush& b, int i, int j) {
  const float cx = (float(i) + 0.5f) * kEdge, cy = (float(j) + 0.5f) * kEdge;
  if (!(cx >= float(b.x) && cy >= float(b.y) && float(b.x + b.w) > cx && float(b.y + b.h) > cy)) return -1.0f;
  const float d = std::sqrt((cx - b.cx) * (cx - b.cx) + (cy - b.cy) * (cy - b.cy));
  if (d > b.outer) return -1.0f;
  if (d < b.inner) return 0.3f;
  if (b.outer == b.inner) return 0.0f;
  const float q = (d - b.inner) / (b.outer - b.inner);
  return 0.3f * (1.0f - q * q);
}

using Grid2 = std::vector<std::vector<float>>;

// Sum over the four neighbours of (neighbour - centre), in the order +y, -x, +x, -y of the
// differences centre - neighbour.
float neighbourSum(const Grid2& f, int i, int j) {
  const float c = f[j][i];
  return (-(c - f[j + 1][i]) - ((c - f[j][i - 1]) + (c - f[j][i + 1]))) - (c - f[j - 1][i]);
}

void expectMatchesReference(const Brush& b, std::uint32_t seed) {
  Patch p;
  SLGrid2D& g = *p.grid;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> value(-30.0f, 30.0f), scratch(-5.0f, 5.0f);
  Grid2 phi(kCells, std::vector<float>(kCells));
  for (int j = 0; j < kCells; ++j)
    for (int i = 0; i < kCells; ++i) {
      const unsigned n = p.node[j][i];
      // A smooth field with noise, so that differences are both small and large.
      g.levelSet[n] = phi[j][i] = 0.4f * float(i * 8 - 250) + value(rng) * 0.3f;
      g.temp[n] = scratch(rng) * 200.0f;  // stale: beyond the brush the second step reads the field
    }
  g.Smooth(b.cx, b.cy, b.inner, b.outer, b.x, b.y, b.w, b.h);
  // Reference: step A into temp, then step B from it.
  Grid2 temp = phi;
  int selected = 0;
  for (int j = 1; j < kCells - 1; ++j)
    for (int i = 1; i < kCells - 1; ++i)
      if (const float w = weightOf(b, i, j); w >= 0.0f) {
        ++selected;
        temp[j][i] = phi[j][i] + neighbourSum(phi, i, j) / (kEdge * kEdge) * w;
      }
  EXPECT_GT(selected, 20);
  for (int j = 1; j < kCells - 1; ++j)
    for (int i = 1; i < kCells - 1; ++i) {
      const unsigned n = p.node[j][i];
      const float w = weightOf(b, i, j);
      ASSERT_NEAR(g.levelSet[n], w < 0.0f ? phi[j][i] : temp[j][i] + neighbourSum(temp, i, j) / (kEdge * kEdge) * w, 1e-4f)
          << i << "," << j;
      ASSERT_NEAR(g.temp[n], temp[j][i], 1e-4f) << i << "," << j;
    }
}

TEST(Smooth, MatchesThePlainArrayReference) {
  const Brush brushes[] = {
      {259.0f, 251.0f, 20.0f, 60.0f, 0, 0, 512, 512},     // ordinary falloff
      {260.0f, 252.0f, 20.0f, 40.0f, 0, 0, 512, 512},     // leaf centres exactly on the outer radius
      {260.0f, 252.0f, 40.0f, 40.0f, 0, 0, 512, 512},     // equal radii
      {256.0f, 256.0f, 70.0f, 50.0f, 0, 0, 512, 512},     // inner beyond outer: full weight everywhere
      {256.0f, 256.0f, 10.0f, 90.0f, 230, 200, 60, 300},  // rectangle cuts the disc
  };
  std::uint32_t seed = 1;
  for (const Brush& b : brushes)
    expectMatchesReference(b, seed++);
}

}  // namespace
