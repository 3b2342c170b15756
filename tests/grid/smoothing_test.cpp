// Smoothing against a plain-array reference on a uniform patch of leaves (two diffusion steps of the
// level set, the second reading the untouched field beyond the brush whatever the scratch channel
// held; one competing-label step of the regional distance), and invariants on graded trees of
// mixed levels: linear fields and constant distances are fixed points, labels follow the new sign.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "grid/sl_grid.h"
#include "support/tree_builders.h"

namespace {

using namespace veldra_test;
using VELDRA_TRW::SLGrid2D;
using VELDRA_TRW::Walk;

constexpr int kCells = 64;      // 512 / 8: the image as a uniform patch of 8-pixel leaves
constexpr float kEdge = 8.0f;

struct Patch {
  std::unique_ptr<SLGrid2D> grid;
  unsigned node[kCells][kCells];  // [row][column]
};

Patch uniformPatch() {
  Patch p;
  p.grid = makeGrid(512, 512);
  refineWhere(
      *p.grid, [](float cx, float cy, float) { return cx > 0.0f && cy > 0.0f && cx < 512.0f && cy < 512.0f; }, 5);
  p.grid->walk(Walk::InteriorLeaves, [&](unsigned n) {
    float cx, cy, e;
    leafCentre(*p.grid, n, &cx, &cy, &e);
    p.node[static_cast<int>(cy / kEdge)][static_cast<int>(cx / kEdge)] = n;
  });
  return p;
}

struct Brush {
  float cx, cy, inner, outer;
  int x, y, w, h;
};

// Step weight of the cell (i, j) under the brush, or -1 when it is not selected.
float weightOf(const Brush& b, int i, int j) {
  const float cx = (static_cast<float>(i) + 0.5f) * kEdge, cy = (static_cast<float>(j) + 0.5f) * kEdge;
  if (!(cx >= static_cast<float>(b.x) && cy >= static_cast<float>(b.y) && static_cast<float>(b.x + b.w) > cx &&
        static_cast<float>(b.y + b.h) > cy))
    return -1.0f;
  const float d = std::sqrt((cx - b.cx) * (cx - b.cx) + (cy - b.cy) * (cy - b.cy));
  if (d > b.outer) return -1.0f;
  if (d < b.inner) return 0.3f;
  if (b.outer == b.inner) return 0.0f;
  const float q = (d - b.inner) / (b.outer - b.inner);
  return 0.3f * (1.0f - q * q);
}

using Grid2 = std::vector<std::vector<float>>;
using Labels = std::vector<std::vector<unsigned char>>;

// Sum over the four neighbours of (neighbour - centre), in the order +y, -x, +x, -y of the
// differences centre - neighbour.
float neighbourSum(const Grid2& f, int i, int j) {
  const float c = f[j][i];
  return (-(c - f[j + 1][i]) - ((c - f[j][i - 1]) + (c - f[j][i + 1]))) - (c - f[j - 1][i]);
}

void expectMatchesReference(const Brush& b, bool regional, std::uint32_t seed) {
  Patch p = uniformPatch();
  SLGrid2D& g = *p.grid;
  g.useRegional = regional ? 1 : 0;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> value(-30.0f, 30.0f), dist(0.0f, 12.0f), scratch(-5.0f, 5.0f);
  std::uniform_int_distribution<int> label(0, 2);
  Grid2 phi(kCells, std::vector<float>(kCells)), temp = phi, rho = phi;
  Labels lab(kCells, std::vector<unsigned char>(kCells));
  for (int j = 0; j < kCells; ++j)
    for (int i = 0; i < kCells; ++i) {
      const unsigned n = p.node[j][i];
      // A smooth field with noise, so that differences are both small and large.
      g.levelSet[n] = phi[j][i] = 0.4f * static_cast<float>(i * 8 - 250) + value(rng) * 0.3f;
      // Stale scratch values: outside the brush the second step must read the field instead.
      g.temp[n] = scratch(rng) * 200.0f;
      temp[j][i] = phi[j][i];
      g.regional[n] = rho[j][i] = dist(rng);
      g.region[n] = lab[j][i] = static_cast<unsigned char>(label(rng));
    }
  g.Smooth(b.cx, b.cy, b.inner, b.outer, b.x, b.y, b.w, b.h);

  // Reference: step A into temp / rho2 / lab2, then step B.
  Grid2 newTemp = temp, newRho = rho;
  Labels newLab = lab;
  int selected = 0;
  for (int j = 1; j < kCells - 1; ++j)
    for (int i = 1; i < kCells - 1; ++i) {
      const float w = weightOf(b, i, j);
      if (w < 0.0f) continue;
      ++selected;
      newTemp[j][i] = phi[j][i] + neighbourSum(phi, i, j) / (kEdge * kEdge) * w;
      if (!regional) continue;
      unsigned char ls[5] = {lab[j][i]};
      float sums[5] = {0.0f};
      int count = 1;
      float c = 0.0f;
      const int di[4] = {-1, 1, 0, 0}, dj[4] = {0, 0, -1, 1};
      for (int k = 0; k < 4; ++k) {
        const unsigned char l = lab[j + dj[k]][i + di[k]];
        int e = 0;
        while (e < count && ls[e] != l) ++e;
        if (e == count) {
          ls[count] = l;
          sums[count++] = 0.0f;
        }
        sums[e] += rho[j + dj[k]][i + di[k]];
        c -= rho[j][i];
      }
      float total = c + sums[0];
      for (int e = 1; e < count; ++e) total -= sums[e];
      const float G = std::clamp(total / (kEdge * kEdge) * 3.0f, -3.0f, 3.0f);
      float r = rho[j][i] + w * G;
      unsigned char l = ls[0];
      if (r < 0.0f) {
        if (count == 2) {
          l = ls[1];
          r = -r;
        } else {
          if (count >= 3) {
            int best = 1;
            for (int e = 2; e < count; ++e)
              if (sums[e] > sums[best]) best = e;
            l = ls[best];
          }
          r = 0.0f;
        }
      }
      if (newTemp[j][i] < 0.0f && l == 1) l = 0, r = 0.0f;
      if (newTemp[j][i] > 0.0f && l == 0) l = 1, r = 0.0f;
      newRho[j][i] = r;
      newLab[j][i] = l;
    }
  EXPECT_GT(selected, 20);
  for (int j = 1; j < kCells - 1; ++j)
    for (int i = 1; i < kCells - 1; ++i) {
      const unsigned n = p.node[j][i];
      const float w = weightOf(b, i, j);
      const float want = w < 0.0f ? phi[j][i] : newTemp[j][i] + neighbourSum(newTemp, i, j) / (kEdge * kEdge) * w;
      ASSERT_NEAR(g.levelSet[n], want, 1e-4f) << i << "," << j;
      ASSERT_NEAR(g.temp[n], newTemp[j][i], 1e-4f) << i << "," << j;
      if (regional) {
        ASSERT_EQ(g.region[n], newLab[j][i]) << i << "," << j;
        ASSERT_NEAR(g.regional[n], newRho[j][i], 1e-4f) << i << "," << j;
      } else {
        ASSERT_EQ(g.region[n], lab[j][i]);
        ASSERT_EQ(g.regional[n], rho[j][i]);
      }
    }
}

TEST(Smooth, MatchesThePlainArrayReference) {
  const Brush brushes[] = {
      {259.0f, 251.0f, 20.0f, 60.0f, 0, 0, 512, 512},   // ordinary falloff
      {260.0f, 252.0f, 20.0f, 40.0f, 0, 0, 512, 512},   // leaf centres exactly on the outer radius
      {260.0f, 252.0f, 40.0f, 40.0f, 0, 0, 512, 512},   // equal radii
      {256.0f, 256.0f, 70.0f, 50.0f, 0, 0, 512, 512},   // inner beyond outer: full weight everywhere
      {256.0f, 256.0f, 10.0f, 90.0f, 230, 200, 60, 300},  // rectangle cuts the disc
      {256.0f, 256.0f, 10.0f, 40.0f, 400, 400, 50, 50},   // rectangle misses the disc
  };
  std::uint32_t seed = 1;
  for (const Brush& b : brushes)
    for (const bool regional : {false, true}) {
      SCOPED_TRACE(testing::Message() << "brush " << b.cx << "," << b.cy << " " << b.inner << "/" << b.outer
                                      << " regional " << regional);
      if (b.x == 400) {
        // Nothing selected: every interior value stays.
        Patch p = uniformPatch();
        fillField(*p.grid, p.grid->levelSet, [](float x, float y) { return std::sin(x * 0.1f) * 9.0f + y * 0.01f; });
        std::vector<float> before(p.grid->nodes.capacity());
        p.grid->walk(Walk::InteriorLeaves, [&](unsigned n) { before[n] = p.grid->levelSet[n]; });
        p.grid->useRegional = regional;
        p.grid->Smooth(b.cx, b.cy, b.inner, b.outer, b.x, b.y, b.w, b.h);
        p.grid->walk(Walk::InteriorLeaves, [&](unsigned n) { EXPECT_EQ(p.grid->levelSet[n], before[n]); });
        continue;
      }
      expectMatchesReference(b, regional, seed++);
    }
}

TEST(Smooth, SameLabelNeighboursGiveTheClampedLaplacian) {
  Patch p = uniformPatch();
  SLGrid2D& g = *p.grid;
  g.useRegional = 1;
  fillField(g, g.levelSet, [](float, float) { return -50.0f; });
  g.walk(Walk::AllNodes, [&](unsigned n) { g.region[n] = 0; });
  // Regional distance 2 everywhere except a bump of 100 (clamped) and of 2.5 (not clamped).
  fillField(g, g.regional, [](float, float) { return 2.0f; });
  g.regional[p.node[32][32]] = 100.0f;
  g.regional[p.node[32][36]] = 2.5f;
  g.Smooth(260.0f, 260.0f, 100.0f, 120.0f, 0, 0, 512, 512);
  // Inside the inner radius w = 0.3: r' = r + 0.3 * clamp(3 * (sum - 4 r) / 64, -3, 3).
  EXPECT_FLOAT_EQ(g.regional[p.node[32][32]], 100.0f - 0.3f * 3.0f);
  EXPECT_FLOAT_EQ(g.regional[p.node[32][36]], 2.5f + 0.3f * (3.0f * (8.0f - 10.0f) / 64.0f));
  EXPECT_FLOAT_EQ(g.regional[p.node[32][35]], 2.0f + 0.3f * (3.0f * 0.5f / 64.0f));
  EXPECT_FLOAT_EQ(g.regional[p.node[32][31]], 2.0f + 0.3f * 3.0f);  // neighbours of the bump: clamped
  EXPECT_FLOAT_EQ(g.regional[p.node[33][32]], 2.0f + 0.3f * 3.0f);
  EXPECT_FLOAT_EQ(g.regional[p.node[20][20]], 2.0f);  // flat: unchanged
  EXPECT_EQ(g.region[p.node[32][32]], 0);
}

// ---- graded trees of mixed levels ----

std::unique_ptr<SLGrid2D> mixedTree(std::uint32_t seed) {
  auto grid = makeGrid(768, 512);
  randomGradedRefine(*grid, seed, 1200, 7);
  return grid;
}

TEST(Smooth, LinearFieldsAndConstantDistancesAreFixedPoints) {
  for (std::uint32_t seed = 1; seed <= 3; ++seed) {
    auto grid = mixedTree(seed);
    SLGrid2D& g = *grid;
    g.useRegional = 1;
    fillField(g, g.levelSet, [](float x, float y) { return 0.3f * x - 0.7f * y - 20.0f; });
    fillField(g, g.regional, [](float, float) { return 6.0f; });
    fillField(g, g.temp, [](float x, float y) { return 0.3f * x - 0.7f * y - 20.0f; });
    // Labels agree with the sign, so the consistency rule has nothing to change.
    g.walk(Walk::AllNodes, [&](unsigned n) { g.region[n] = g.levelSet[n] < 0.0f ? 0 : 1; });
    std::vector<float> phi(g.nodes.capacity());
    g.walk(Walk::InteriorLeaves, [&](unsigned n) { phi[n] = g.levelSet[n]; });
    g.Smooth(380.0f, 250.0f, 60.0f, 200.0f, 0, 0, 768, 512);
    g.walk(Walk::InteriorLeaves, [&](unsigned n) {
      float cx, cy, e;
      leafCentre(g, n, &cx, &cy, &e);
      // Away from the image edge the field's neighbours are linear too.
      if (cx < 40.0f || cy < 40.0f || cx > 728.0f || cy > 472.0f) return;
      EXPECT_NEAR(g.levelSet[n], phi[n], 2e-3f) << cx << "," << cy << " edge " << e;
      // A distance field with one label on each side of the front: only leaves whose neighbours all
      // share its label keep the constant.
      bool oneLabel = true;
      for (int d = 0; d < 4; ++d) {
        const unsigned m = g.neighbour(n, static_cast<VELDRA_TRW::Direction>(d));
        g.walkSubtree(m, false, [&](unsigned k) { oneLabel = oneLabel && g.region[k] == g.region[n]; });
      }
      if (oneLabel && std::fabs(phi[n]) > 2.0f * e) {
        EXPECT_NEAR(g.regional[n], 6.0f, 1e-4f) << cx << "," << cy;
      }
    });
  }
}

TEST(Smooth, LabelsFollowTheNewSignOnRandomFields) {
  for (std::uint32_t seed = 4; seed <= 6; ++seed) {
    auto grid = mixedTree(seed);
    SLGrid2D& g = *grid;
    g.useRegional = 1;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> value(-3.0f, 3.0f), dist(0.0f, 4.0f);
    std::uniform_int_distribution<int> label(0, 2);
    g.walk(Walk::AllNodes, [&](unsigned n) {
      g.levelSet[n] = value(rng);
      g.regional[n] = dist(rng);
      g.region[n] = static_cast<unsigned char>(label(rng));
    });
    g.Smooth(380.0f, 250.0f, 30.0f, 150.0f, 0, 0, 768, 512);
    int touched = 0;
    g.walk(Walk::InteriorLeaves, [&](unsigned n) {
      float cx, cy, e;
      leafCentre(g, n, &cx, &cy, &e);
      if (std::hypot(cx - 380.0f, cy - 250.0f) > 150.0f) return;  // beyond the brush
      ++touched;
      if (g.temp[n] < 0.0f) {
        EXPECT_NE(g.region[n], 1);
      }
      if (g.temp[n] > 0.0f) {
        EXPECT_NE(g.region[n], 0);
      }
      EXPECT_GE(g.regional[n], 0.0f);
    });
    EXPECT_GT(touched, 100);
  }
}

}  // namespace
