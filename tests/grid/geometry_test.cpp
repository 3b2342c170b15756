// Capsule distance against a double-precision reference found by a separate method (golden-section
// search along the segment), and the transform product against a plain matrix product.
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
    const GeometryLine line(ax, ay, bx, by, r);
    const double expected = referenceCapsule(px, py, ax, ay, bx, by, r);
    ASSERT_NEAR(line.Distance(px, py, 123.0f), expected, 2e-3 + 1e-5 * std::fabs(expected))
        << ax << "," << ay << " - " << bx << "," << by << " r " << r << " at " << px << "," << py;
  }
}

TEST(GeometryLine, DiscSignsAndReversal) {
  const GeometryLine disc(10.0f, 20.0f, 10.0f, 20.0f, 3.5f);
  EXPECT_FLOAT_EQ(disc.Distance(10.0f, 20.0f, 0.0f), -3.5f);
  EXPECT_FLOAT_EQ(disc.Distance(13.0f, 24.0f, 0.0f), 1.5f);  // |(3, 4)| - 3.5
  EXPECT_FLOAT_EQ(disc.Distance(13.5f, 20.0f, 0.0f), 0.0f);

  const GeometryLine forward(0.0f, 0.0f, 100.0f, 40.0f, 5.0f), backward(100.0f, 40.0f, 0.0f, 0.0f, 5.0f);
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> coord(-50.0f, 150.0f);
  for (int k = 0; k < 2000; ++k) {
    const float x = coord(rng), y = coord(rng);
    EXPECT_NEAR(forward.Distance(x, y, 0.0f), backward.Distance(x, y, 0.0f), 1e-3f);
  }
  // Beyond either end the nearest point is that end.
  EXPECT_FLOAT_EQ(forward.Distance(-3.0f, -4.0f, 0.0f), 0.0f);
  EXPECT_FLOAT_EQ(forward.Distance(106.0f, 48.0f, 0.0f), 5.0f);
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
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(shape.transform[i][k], i == k ? 1.0f : 0.0f);
      EXPECT_EQ(shape.combined[i][k], i == k ? 1.0f : 0.0f);
    }
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> v(-2.0f, 2.0f);
  float m[4][4];
  for (auto& row : m)
    for (float& x : row) x = v(rng);
  for (auto& row : shape.transform)
    for (float& x : row) x = v(rng);
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
      if (std::fabs(mt - tm) > 1e-3) {
        EXPECT_GT(std::fabs(shape.combined[i][c] - tm), 1e-4);
      }
    }
}

}  // namespace
