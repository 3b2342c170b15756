// The alpha read-out against exact areas of discs and half-planes, and both extra read-outs against
// the two-level read-out: alpha above 127 and the even-odd raster of the traced rings must give what
// GetSelection gives, on trees refined to single pixels and to the coarser fronts of large images.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

#include "api/queries.h"
#include "extras/alpha_readout.h"
#include "extras/boundary_trace.h"
#include "extras/rect_leaves.h"
#include "extras/ring_simplify.h"
#include "support/tree.h"

using namespace VELDRA_EXTRAS_CORE;
using namespace veldra_test;

namespace {

// Share of the square inside the disc, by integrating the chord across the square's rows of x.
double DiscShare(double cx, double cy, double r, int px, int py) {
  constexpr int kSteps = 2000;
  double sum = 0;
  for (int k = 0; k < kSteps; ++k) {
    const double dx = std::fabs(px - 0.5 + (k + 0.5) / kSteps - cx), h2 = (r - dx) * (r + dx);
    if (h2 <= 0) continue;
    sum += std::max(0.0, std::min(py + 0.5, cy + std::sqrt(h2)) - std::max(py - 0.5, cy - std::sqrt(h2)));
  }
  return sum / kSteps;
}

// The falloff 1 - K(d) averaged over the square (32 x 32 points; smooth for the feathers used).
double FeatheredShare(const std::function<double(double, double)>& d, double feather, int px, int py) {
  double sum = 0;
  for (int k = 0; k < 32 * 32; ++k) {
    const double t = std::clamp((d(px - 0.5 + (k % 32 + 0.5) / 32, py - 0.5 + (k / 32 + 0.5) / 32) + feather) / (2 * feather), 0.0, 1.0);
    sum += 1 - t * t * (3 - 2 * t);
  }
  return sum / (32 * 32);
}

// An image large enough for fronts of the given level, as the engine refines them.
std::unique_ptr<SLGrid2D> GridForFront(unsigned finest) {
  return finest == 8 ? makeGrid(500, 400) : finest == 7 ? makeGrid(2100, 1700) : makeGrid(4000, 3000);
}

TEST(AlphaReadout, SharesOfDiscsAndHalfPlanesAtRandomPositionsAndAngles) {
  struct Case {
    bool disc;
    float feather;
    unsigned finest = 8;  // level of the leaves along the boundary (coarser fronts read the field's slope)
    bool patches = false;  // single-pixel leaves in patches along a front of the level above
  };
  std::mt19937 rng(21);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (const Case c : {Case{true, 0.0f}, Case{false, 0.0f}, Case{true, 0.001f}, Case{false, 0.5f}, Case{true, 3.0f},
                       Case{false, 20.0f}, Case{false, 0.0f, 6}, Case{false, 1.0f, 7}, Case{false, 0.0f, 7, true}}) {
    for (int instance = 0; instance < 3; ++instance) {
      // A disc of radius 30..90 around a random point, or a half-plane through it at a random angle (a
      // disc of radius 10^5, whose interpolated field differs from its own by less than 10^-5 pixels).
      const double ox = 200 + u(rng), oy = 200 + u(rng), angle = 6.283185307 * u(rng);
      const double r = c.disc ? 30 + 60 * u(rng) : 1e5, cx = ox - (r - 1) * std::cos(angle), cy = oy - (r - 1) * std::sin(angle);
      const std::function<double(double, double)> d = [&](double x, double y) { return std::hypot(x - cx, y - cy) - r; };
      auto grid = GridForFront(c.finest);
      const auto phi = [&](float x, float y) { return static_cast<float>(d(x, y)); };
      BuildSelection(*grid, phi, c.finest);
      if (c.patches) {  // a front of mixed levels: stencils of the coarser level whose cells have children
        refineWhere(*grid, [&](float x, float y, float e) { return std::fabs(phi(x, y)) < 2 * e && (int(x) / 4 + int(y) / 4) % 2 == 0; }, 8);
        fillField(*grid, grid->levelSet, phi);
      }
      std::vector<unsigned char> alpha(200 * 200);
      RenderAlpha(*grid, 100, 100, 200, 200, alpha.data(), 200, c.feather);
      std::vector<unsigned char> unbounded(alpha.size());
      RenderAlpha(*grid, 100, 100, 200, 200, unbounded.data(), 200, c.feather, false);
      EXPECT_TRUE(alpha == unbounded) << "settling by bounds changed bytes";
      // The interpolated field of a disc strays from the circle by at most 1 / (8 r) pixels.
      const double tolerance = 1.0 / 255 + 1e-3 + (c.disc ? 0.25 / r : 0.0);
      int bad = 0;
      for (int py = 100; py < 300; ++py)
        for (int px = 100; px < 300; ++px) {
          double exact = d(px, py) < -2 - c.feather ? 1 : (d(px, py) > 2 + c.feather ? 0 : -1);
          if (exact < 0) exact = c.feather >= 0.01f ? FeatheredShare(d, c.feather, px, py) : DiscShare(cx, cy, r, px, py);
          bad += std::fabs(alpha[(py - 100) * 200 + px - 100] / 255.0 - exact) > tolerance;
        }
      EXPECT_EQ(bad, 0) << (c.disc ? "disc" : "half-plane") << " feather " << c.feather << " level " << c.finest
                        << (c.patches ? " with patches" : "");
    }
  }
}

// Even-odd raster of rings at the sample points of (x, y, w, h): 255 inside, 0 outside.
std::vector<unsigned char> EvenOdd(const std::vector<Ring>& rings, int x, int y, int w, int h) {
  std::vector<unsigned char> out(static_cast<std::size_t>(w) * h, 0);
  for (int py = y; py < y + h; ++py) {
    std::vector<float> cuts;
    for (const Ring& ring : rings)
      for (std::size_t k = 0; k < ring.size(); ++k) {
        const PathPoint a = ring[k], b = ring[(k + 1) % ring.size()];
        if ((a.y < py) != (b.y < py)) cuts.push_back(a.x + (py - a.y) / (b.y - a.y) * (b.x - a.x));
      }
    std::sort(cuts.begin(), cuts.end());
    for (std::size_t k = 0; k + 1 < cuts.size(); k += 2)
      for (int px = std::max(x, static_cast<int>(std::ceil(cuts[k]))); px < x + w && px < cuts[k + 1]; ++px)
        out[static_cast<std::size_t>(py - y) * w + px - x] = 255;
  }
  return out;
}

double SignedArea(const Ring& ring) {
  double twice = 0;
  for (std::size_t k = 0; k < ring.size(); ++k)
    twice += double(ring[k].x) * ring[(k + 1) % ring.size()].y - double(ring[(k + 1) % ring.size()].x) * ring[k].y;
  return twice / 2;
}

// Parameter: the level of the leaves along the boundary.
class ExtraReadouts : public ::testing::TestWithParam<unsigned> {};

TEST_P(ExtraReadouts, AgreeWithTheTwoLevelReadOut) {
  auto grid = GridForFront(GetParam());
  const IslandsAndHoles shape{grid->imageWidth * 0.5f - 60.0f, grid->imageHeight * 0.5f};
  BuildSelection(*grid, shape, GetParam());
  const int x = static_cast<int>(shape.cx) - 120, y = static_cast<int>(shape.cy) - 120, w = 350, h = 240;
  std::vector<unsigned char> mask(w * h), alpha(w * h);
  VELDRA_CORE::RenderSelection(*grid, x, y, w, h, mask.data(), w, x + w / 2.0f, y + h / 2.0f, 0, 1250.0f);
  RenderAlpha(*grid, x, y, w, h, alpha.data(), w, 0.0f);
  for (const float feather : {0.0f, 0.3f, 2.0f}) {
    std::vector<unsigned char> bounded(w * h), unbounded(w * h);
    RenderAlpha(*grid, x, y, w, h, bounded.data(), w, feather);
    RenderAlpha(*grid, x, y, w, h, unbounded.data(), w, feather, false);
    EXPECT_TRUE(bounded == unbounded) << "settling by bounds changed bytes at feather " << feather;
  }
  const std::vector<Ring> rings = TraceBoundary(*grid, x, y, w, h);
  const std::vector<unsigned char> raster = EvenOdd(rings, x, y, w, h);
  int alphaDisagrees = 0;
  for (int k = 0; k < w * h; ++k)
    if (std::fabs(shape(static_cast<float>(x + k % w), static_cast<float>(y + k / w))) >= 0.5f)
      alphaDisagrees += (alpha[k] > 127) != (mask[k] == 255);
  EXPECT_EQ(alphaDisagrees, 0);
  EXPECT_TRUE(raster == mask);
  // Outer boundaries counter-clockwise as displayed (negative area), the one hole clockwise.
  ASSERT_EQ(rings.size(), 4u);
  EXPECT_EQ(std::count_if(rings.begin(), rings.end(), [](const Ring& r) { return SignedArea(r) > 0; }), 1);
  // Vertices lie on the zero level, except those kept a little off a sample point.
  for (const Ring& ring : rings)
    for (const PathPoint& p : ring) {
      if (std::fabs(p.x - std::round(p.x)) + std::fabs(p.y - std::round(p.y)) > 0.01f) {
        EXPECT_NEAR(LevelSetAt(*grid, p.x, p.y), 0.0f, 1e-3f) << p.x << "," << p.y;
      }
    }
}

INSTANTIATE_TEST_SUITE_P(FrontLevels, ExtraReadouts, ::testing::Values(8u, 7u, 6u));

// Where two inside quadrants meet at a cell's centre, the field there decides whether they form one
// ring (the centre inside) or two.
TEST(BoundaryTrace, SaddleCellsFollowTheFieldAtTheirCentre) {
  for (const float centre : {-0.001f, 0.001f}) {
    auto grid = makeGrid(400, 400);
    BuildSelection(*grid, [&](float x, float y) { return 0.01f * (x - 200.5f) * (y - 200.5f) + centre; }, 8);
    EXPECT_EQ(TraceBoundary(*grid, 190, 190, 21, 21).size(), centre < 0 ? 1u : 2u) << centre;
  }
}

// Largest distance from a vertex of ring a to the polyline of ring b (the simplification keeps
// vertices of the ring, so vertices are where the distance peaks).
double Directed(const Ring& a, const Ring& b) {
  double worst = 0;
  for (const PathPoint& p : a) {
    double best = 1e30;
    for (std::size_t m = 0; m < b.size(); ++m) {
      const PathPoint u = b[m], v = b[(m + 1) % b.size()];
      const double ex = v.x - u.x, ey = v.y - u.y, len2 = ex * ex + ey * ey;
      const double t = len2 > 0 ? std::clamp(((p.x - u.x) * ex + (p.y - u.y) * ey) / len2, 0.0, 1.0) : 0.0;
      best = std::min(best, std::hypot(p.x - u.x - t * ex, p.y - u.y - t * ey));
    }
    worst = std::max(worst, best);
  }
  return worst;
}

TEST(RingSimplification, ToleranceBoundsTheHausdorffDistanceAndThinsTheRing) {
  auto grid = makeGrid(500, 400);
  BuildSelection(*grid, NoisyBlob{250.0f, 200.0f, 90.0f}, 8);
  const std::vector<Ring> rings = TraceBoundary(*grid, 0, 0, 500, 400);
  ASSERT_EQ(rings.size(), 1u);
  for (float tolerance : {0.3f, 1.0f, 3.0f}) {
    const Ring simple = SimplifyRing(rings[0], tolerance);
    EXPECT_LT(simple.size() * 3, rings[0].size()) << tolerance;
    EXPECT_LE(std::max(Directed(simple, rings[0]), Directed(rings[0], simple)), tolerance + 1e-3) << tolerance;
  }
  EXPECT_EQ(SimplifyRing(rings[0], 1000.0f).size(), 3u);
}

}  // namespace
