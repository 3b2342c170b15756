// Capsule distance against a double-precision reference found by a separate method (golden-section
// search along the segment), its distance range through the base class, and the transform product
// against a plain matrix product.
#include "grid/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

namespace {

using VELDRA_TRW::GeometryBase;
using VELDRA_TRW::GeometryLine;

// Distance from p to the segment a-b minus r, by minimising the (convex) distance along the segment.
double referenceCapsule(double px, double py, double ax, double ay, double bx, double by, double r) {
  const auto dist = [&](double t) { return std::hypot(px - (ax + t * (bx - ax)), py - (ay + t * (by - ay))); };
  double lo = 0.0, hi = 1.0;
  const double g = (std::sqrt(5.0) - 1.0) / 2.0;
  for (int it = 0; it < 200; ++it) {
    const double m1 = hi - g * (hi - lo), m2 = lo + g * (hi - lo);
    if (dist(m1) < dist(m2)) hi = m2;
    else lo = m1;
  }
  return std::min({dist(0.0), dist(1.0), dist(0.5 * (lo + hi))}) - r;
}

// Either end may come first: the reference does not care about the direction.
TEST(GeometryLine, CapsuleDistanceMatchesReferenceOnRandomShapes) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> coord(-300.0f, 300.0f), rad(0.0f, 60.0f);
  for (int k = 0; k < 20000; ++k) {
    const float ax = coord(rng), ay = coord(rng);
    // A quarter of the segments are short, some degenerate (a disc).
    const bool shortOne = k % 4 == 0;
    const float bx = shortOne ? ax + (k % 8 == 0 ? 0.0f : 0.01f * coord(rng)) : coord(rng);
    const float by = shortOne ? ay : coord(rng);
    const float r = rad(rng), px = coord(rng), py = coord(rng);
    const double expected = referenceCapsule(px, py, ax, ay, bx, by, r);
    ASSERT_NEAR(GeometryLine(ax, ay, bx, by, r).Distance(px, py, 123.0f), expected, 2e-3 + 1e-5 * std::fabs(expected))
        << ax << "," << ay << " - " << bx << "," << by << " r " << r << " at " << px << "," << py;
  }
}

TEST(GeometryLine, DistanceRangeThroughTheBase) {
  std::unique_ptr<GeometryBase> shape = std::make_unique<GeometryLine>(0.0f, 0.0f, 0.0f, 0.0f, 4.0f);
  float lo = 77.0f, hi = 88.0f;
  EXPECT_FALSE(shape->DistanceRange(&lo, &hi, 7.0f, 0.0f, 0.0f, 2.0f));  // distance 3
  EXPECT_EQ(lo, 77.0f);
  EXPECT_EQ(hi, 88.0f);
  EXPECT_TRUE(shape->DistanceRange(&lo, &hi, 3.0f, 0.0f, 0.0f, 2.0f));  // distance -1
  EXPECT_FLOAT_EQ(lo, -3.0f);
  EXPECT_FLOAT_EQ(hi, 1.0f);
  EXPECT_TRUE(shape->DistanceRange(&lo, &hi, 6.0f, 0.0f, 0.0f, 2.0f));  // exactly at halfWidth
  EXPECT_FLOAT_EQ(lo, 0.0f);
  EXPECT_FLOAT_EQ(hi, 4.0f);
  shape->Prepare();  // does nothing
  EXPECT_FLOAT_EQ(shape->Distance(3.0f, 0.0f, 9.0f), -1.0f);
}

TEST(GeometryBase, TransformProductIsNewMatrixTimesOwn) {
  GeometryLine shape(0, 0, 1, 1, 1);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(shape.transform[i / 4][i % 4], i / 4 == i % 4 ? 1.0f : 0.0f);
    EXPECT_EQ(shape.combined[i / 4][i % 4], i / 4 == i % 4 ? 1.0f : 0.0f);
  }
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> v(-2.0f, 2.0f);
  float m[4][4];
  for (int i = 0; i < 16; ++i) m[i / 4][i % 4] = v(rng), shape.transform[i / 4][i % 4] = v(rng);
  shape.SetTransform(m);
  for (int i = 0; i < 4; ++i)
    for (int c = 0; c < 4; ++c) {
      double mt = 0.0, tm = 0.0;
      for (int k = 0; k < 4; ++k) {
        mt += double(m[i][k]) * shape.transform[k][c];
        tm += double(shape.transform[i][k]) * m[k][c];
      }
      EXPECT_NEAR(shape.combined[i][c], mt, 1e-5);
      // The other order gives a different product for these matrices: the order is what is checked.
      EXPECT_TRUE(std::fabs(mt - tm) <= 1e-3 || std::fabs(shape.combined[i][c] - tm) > 1e-4);
    }
}

}  // namespace
