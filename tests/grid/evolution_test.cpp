// One brush step of the front: the speed formula (inflation, edge-snap term, its clamp), advection by
// interpolation at the upstream point, the Laplacian term, the ring and rectangle limits, and the
// regional label rules. Fronts sit on single-pixel patches where the interpolant is exact for linear
// fields, so expected values follow from the formulas in double precision.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

#include "grid/tile_box.h"
#include "support/front_fixtures.h"

namespace {

using namespace veldra_test;
using VELDRA_TRW::SLGrid2D;

struct Brush {
  float x, y, r, R;
};

// Edge vectors for a host rectangle, each component with its own row stride.
struct SnapField {
  int boxX, boxY, width, height, strideX, strideY;
  std::vector<float> sx, sy;
  SnapField(int bx, int by, int w, int h, std::uint32_t seed, float scale)
      : boxX(bx), boxY(by), width(w), height(h), strideX(w + 3), strideY(w + 7),
        sx(static_cast<std::size_t>(strideX) * h), sy(static_cast<std::size_t>(strideY) * h) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> v(-scale, scale);
    for (float& f : sx) f = v(rng);
    for (float& f : sy) f = v(rng);
  }
  float atX(float px, float py) const {
    return sx[static_cast<std::size_t>((static_cast<int>(py) - boxY) * strideX + static_cast<int>(px) - boxX)];
  }
  float atY(float px, float py) const {
    return sy[static_cast<std::size_t>((static_cast<int>(py) - boxY) * strideY + static_cast<int>(px) - boxX)];
  }
};

float ringDistance(const Brush& b, const LeafGeom& l) {
  const float dx = l.cx - b.x, dy = l.cy - b.y;
  return std::sqrt(dx * dx + dy * dy);
}
bool inRing(const Brush& b, const LeafGeom& l) { return ringDistance(b, l) >= b.r && ringDistance(b, l) <= b.R; }
// The brush's inner and outer weights at the leaf, in double precision.
double wIn(const Brush& b, const LeafGeom& l) { return 1.0 - std::pow((double(ringDistance(b, l)) - b.r) / (b.R - b.r), 2.0); }
double wOut(const Brush& b, const LeafGeom& l) { return 1.0 - std::pow((b.R - double(ringDistance(b, l))) / (b.R - b.r), 2.0); }

// Single pixels over the whole brush disc, graded outside.
std::unique_ptr<SLGrid2D> brushGrid(std::uint32_t w, std::uint32_t h, const Brush& b) {
  auto grid = makeGrid(w, h);
  refineWhere(*grid, [&](float cx, float cy, float e) { return std::hypot(cx - b.x, cy - b.y) < b.R + 4 + e; }, 8);
  return grid;
}

void step(SLGrid2D& grid, const Brush& b, bool evolveMain, int band, float inflation, float edgeSnap, float smoothing,
          const SnapField& s) {
  grid.EvolveFront(evolveMain, band, b.x, b.y, b.r, b.R, inflation, edgeSnap, smoothing, s.boxX, s.boxY, s.width,
                   s.height, s.sx.data(), s.strideX, s.sy.data(), s.strideY);
}

}  // namespace

// Disc selection, edge snap 0, inflation 1: F = w_in, limited to 0.9 edges, and the value read
// 0.95 F further up the gradient: an exact distance grows by 0.95 F (the front recedes). Leaves at
// d = r and d = R are evolved (F = 0.9 and 0), leaves off the ring or off the rectangle keep their bits.
// Tiles the evolution passes over must hold no point of the ring: checked on every half pixel of
// every tile for random brushes, thin rings and rings wider than a tile included.
TEST(EvolveFront, SkippedTilesHoldNoPointOfTheRing) {
  auto grid = makeGrid(1024, 768);
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> pos(-200.0f, 1200.0f), inner(0.0f, 300.0f), width(0.5f, 400.0f);
  int skipped = 0, kept = 0;
  for (int brush = 0; brush < 40; ++brush) {
    const float x = pos(rng), y = pos(rng), r = inner(rng), R = r + width(rng);
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i < 4; ++i) {
        if (!VELDRA_TRW::TileMissesRing(*grid, i, j, x, y, r, R)) {
          ++kept;
          continue;
        }
        ++skipped;
        int inRing = 0;
        forEachHalfPixelOfTile(i, j, [&](float px, float py) {
          const float d = std::sqrt((px - x) * (px - x) + (py - y) * (py - y));
          inRing += d >= r && d <= R;
        });
        EXPECT_EQ(inRing, 0) << "brush " << brush << " tile " << i << "," << j;
      }
  }
  EXPECT_GT(skipped, 100);
  EXPECT_GT(kept, 50);
}

TEST(EvolveFront, InflationMovesTheFrontByTheSpeed) {
  const Brush b{230.5f, 250.5f, 8.0f, 50.0f};
  const auto disc = [](float x, float y) { return std::hypot(x - 256.3f, y - 250.7f) - 40.0f; };
  const SnapField snap(170, 190, 130, 130, 1, 0.0f);
  float worst = 0.0f;
  int evolved = 0;
  for (bool halfBox : {false, true}) {
    auto grid = brushGrid(512, 512, b);
    fillField(*grid, grid->levelSet, disc);
    grid->RefreshBoundary(grid->levelSet.data());
    const auto leaves = allLeafGeoms(*grid);
    const auto before = snapshot(grid->levelSet, leaves);
    SnapField box = snap;
    if (halfBox) box.height = 60;  // rows 190 .. 249 only
    step(*grid, b, true, 0, 1.0f, 0.0f, 0.0f, box);
    for (std::size_t k = 0; k < leaves.size(); ++k) {
      const LeafGeom& l = leaves[k];
      const float after = grid->levelSet[l.node];
      const bool inBox = l.cx >= box.boxX && l.cy >= box.boxY && l.cx < box.boxX + box.width && l.cy < box.boxY + box.height;
      if (!inRing(b, l) || !inBox) {
        ASSERT_TRUE(sameBits(after, before[k])) << "leaf (" << l.cx << ", " << l.cy << ") changed";
        continue;
      }
      ASSERT_EQ(l.edge, 1.0f);
      const double d = ringDistance(b, l), err = std::fabs(after - (before[k] + 0.95 * std::min(wIn(b, l), 0.9)));
      // Near the disc's centre the distance has a cone apex: no direction, no curvature bound.
      if (std::hypot(l.cx - 256.3f, l.cy - 250.7f) >= 10.0f) worst = std::max(worst, static_cast<float>(err));
      ++evolved;
      ASSERT_TRUE(d != b.R || after == before[k]);
      ASSERT_TRUE(d != b.r || std::fabs(after - before[k] - 0.95 * 0.9) < 0.01);
    }
  }
  // At least 10 px from the disc's centre the level curves have radius >= 10: the bilinear read misses
  // by at most h^2 / (8 * 10) and the central-difference direction by a similar amount, both well under
  // 0.02 px for a step below one pixel.
  EXPECT_LE(worst, 0.02f);
  EXPECT_GT(evolved, 5000);
}

// The edge-snap speed on a straight front, where the interpolant is exact: u = (-1, 0), so
// F = w_out * E * 2^numLevels * (-s_x) + w_in, limited to +/-0.9, and phi grows by 0.95 F. Random edge
// vectors with different row strides check the rectangle-relative indexing; large vectors hit the limit.
TEST(EvolveFront, EdgeSnapSpeedFollowsTheFormula) {
  for (std::uint32_t size : {512u, 2100u}) {
    const Brush b{300.5f, 260.5f, 5.0f, 40.0f};
    auto grid = brushGrid(size, size, b);
    const double gain = 20.0 * std::pow(0.5, std::log(0.2) / std::log(0.5)) * std::pow(2.0, grid->numLevels);
    EXPECT_EQ(grid->numLevels, size == 512 ? 0u : 1u);
    fillField(*grid, grid->levelSet, [](float x, float) { return x - 310.0f; });
    const SnapField snap(255, 215, 91, 93, 7, 0.4f);
    const auto leaves = leavesInTiles(*grid, 0, 0, 3, 3);
    const auto before = snapshot(grid->levelSet, leaves);
    step(*grid, b, true, 0, 1.0f, 50.0f, 0.0f, snap);
    int clamped = 0, free = 0;
    for (std::size_t k = 0; k < leaves.size(); ++k) {
      const LeafGeom& l = leaves[k];
      if (!inRing(b, l)) continue;
      const double speed = wOut(b, l) * gain * -snap.atX(l.cx, l.cy) + wIn(b, l);
      clamped += std::fabs(speed) > 0.9;
      free += std::fabs(speed) <= 0.9;
      ASSERT_NEAR(grid->levelSet[l.node], before[k] + 0.95 * std::clamp(speed, -0.9, 0.9), 2e-4) << l.cx << ", " << l.cy;
    }
    EXPECT_GT(clamped, 200);
    EXPECT_GT(free, 200);
  }
}

// Inflation 0 and edge snap 0: the advection reads the leaf's own centre, and only the Laplacian term
// K * w_in * (sum of neighbour - own) / h^2 acts. On a paraboloid the discrete Laplacian is 1.
TEST(EvolveFront, WithoutInflationOnlyTheLaplacianActs) {
  const Brush b{250.5f, 250.5f, 4.0f, 30.0f};
  for (float smoothing : {0.0f, 100.0f, -60.0f}) {
    auto grid = brushGrid(512, 512, b);
    fillField(*grid, grid->levelSet, [](float x, float y) { return ((x - 240) * (x - 240) + (y - 255) * (y - 255)) / 4 - 30; });
    const auto leaves = leavesInTiles(*grid, 0, 0, 2, 2);
    const auto before = snapshot(grid->levelSet, leaves);
    std::map<unsigned, float> old;
    for (std::size_t k = 0; k < leaves.size(); ++k) old[leaves[k].node] = before[k];
    const SnapField snap(200, 200, 100, 100, 3, 1.0f);
    step(*grid, b, true, 0, 0.0f, 0.0f, smoothing, snap);
    for (std::size_t k = 0; k < leaves.size(); ++k) {
      const LeafGeom& l = leaves[k];
      if (!inRing(b, l) || smoothing == 0.0f) {
        ASSERT_TRUE(sameBits(grid->levelSet[l.node], before[k]));
        continue;
      }
      double lap = 0.0;
      for (int d = 0; d < 4; ++d) lap += old.at(neighbourByPoint(*grid, l.node, d));
      lap -= 4.0 * before[k];
      EXPECT_NEAR(lap, 1.0, 1e-3);
      ASSERT_NEAR(grid->levelSet[l.node], before[k] + smoothing / 1000.0 * wIn(b, l) * lap, 2e-5 * (1 + std::fabs(before[k])));
    }
  }
}

// Regional step without touching the level set: |phi| below band / 2 becomes band (label 2) with the
// distance |phi|; elsewhere the label follows the sign of phi, and a relabelled leaf gets distance 0;
// far from the front the margin is the regional distance read 0.95 F2 up the gradient.
TEST(EvolveFront, RegionalLabelRules) {
  const Brush b{300.5f, 260.5f, 4.0f, 30.0f};
  for (int band : {0, 6, 7}) {  // 7: leaves at |phi| = 3.5 sit exactly on band / 2 and stay labelled
    auto grid = brushGrid(512, 512, b);
    fillField(*grid, grid->levelSet, [](float x, float) { return x - 300.0f; });
    fillField(*grid, grid->regional, [](float x, float) { return std::fabs(x - 300.0f); });
    fillField(*grid, grid->region, [](float x, float) { return x < 300.0f ? 0 : 1; });
    grid->useRegional = 1;
    const auto leaves = leavesInTiles(*grid, 0, 0, 2, 2);
    const auto phi = snapshot(grid->levelSet, leaves);
    const SnapField snap(250, 210, 100, 100, 5, 1.0f);
    step(*grid, b, false, band, 1.0f, 30.0f, 50.0f, snap);
    int banded = 0, relabelled = 0;
    for (std::size_t k = 0; k < leaves.size(); ++k) {
      const LeafGeom& l = leaves[k];
      const unsigned n = l.node;
      ASSERT_TRUE(sameBits(grid->levelSet[n], phi[k]));  // the main field is only rewritten with itself
      if (!inRing(b, l)) continue;
      const float a = std::fabs(phi[k]);
      if (static_cast<float>(band) * 0.5f > a) {
        ASSERT_EQ(grid->region[n], 2);
        ASSERT_EQ(grid->regional[n], a);
        ++banded;
        continue;
      }
      ASSERT_EQ(grid->region[n], phi[k] < 0 ? 0 : 1) << l.cx;
      const double shift = 0.95 * std::min(wIn(b, l), 0.9);
      if (a > 2.0f) {
        ASSERT_NEAR(grid->regional[n], phi[k] < 0 ? a - shift : a + shift, 1e-4) << l.cx;
      }
      relabelled += a <= 2.0f && grid->regional[n] == 0.0f;
    }
    EXPECT_TRUE(band > 0 ? banded > 100 : banded == 0);
    // Without a band: negative leaves next to the front whose foot lies across it.
    EXPECT_TRUE(band > 0 || relabelled > 5);
  }
}

// Out-of-contract calls change nothing in the ring: missing edge vectors, or R not above r.
TEST(EvolveFront, DegenerateCallsLeaveTheFieldAlone) {
  const Brush b{250.5f, 250.5f, 4.0f, 30.0f};
  auto grid = brushGrid(512, 512, b);
  fillField(*grid, grid->levelSet, [](float x, float) { return x - 260.0f; });
  grid->RefreshBoundary(grid->levelSet.data());
  const auto leaves = allLeafGeoms(*grid);
  const auto before = snapshot(grid->levelSet, leaves);
  grid->EvolveFront(true, 0, b.x, b.y, b.r, b.R, 1.0f, 50.0f, 0.0f, 0, 0, 512, 512, nullptr, 0, nullptr, 0);
  grid->EvolveFront(true, 0, b.x, b.y, 10.0f, 10.0f, 1.0f, 0.0f, 0.0f, 0, 0, 0, 0, nullptr, 0, nullptr, 0);
  std::vector<float> zeros(512 * 512, 0.0f);
  grid->EvolveFront(true, 0, b.x, b.y, 10.0f, 10.0f, 1.0f, 0.0f, 0.0f, 0, 0, 512, 512, zeros.data(), 512, zeros.data(), 512);
  grid->EvolveFront(true, 0, 1e30f, -1e30f, 1.0f, 1e30f, 1.0f, 0.0f, 0.0f, 0, 0, 0, 0, zeros.data(), 512, zeros.data(), 512);
  for (std::size_t k = 0; k < leaves.size(); ++k) ASSERT_TRUE(sameBits(grid->levelSet[leaves[k].node], before[k]));
}
