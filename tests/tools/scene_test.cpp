// The built-in scene and script: deterministic pictures, a target mask that is what the picture
// shows, and a script inside the image whose hard brush cores alone already outline the target (the
// edge snap of the library only has to close the last pixels).
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "default_script.h"
#include "mask_stats.h"
#include "scene.h"

namespace {

using paint::GrayImage;
using paint::Scene;
using paint::Stroke;
using paint::StrokeMode;

const Scene& DefaultScene() {
  static const Scene scene = paint::GenerateScene();
  return scene;
}

TEST(Scene, SameSizeAndSeedGiveTheSameBytesAndOtherSeedsDiffer) {
  const Scene a = paint::GenerateScene(320, 240, 5), b = paint::GenerateScene(320, 240, 5);
  EXPECT_EQ(a.image.pixels, b.image.pixels);
  EXPECT_EQ(a.targetMask.pixels, b.targetMask.pixels);
  const Scene c = paint::GenerateScene(320, 240, 6);
  EXPECT_NE(a.image.pixels, c.image.pixels);
  EXPECT_EQ(a.targetMask.pixels, c.targetMask.pixels) << "the seed changes textures, not the layout";
  const Scene tiny = paint::GenerateScene(3, 1000, 5);
  EXPECT_EQ(tiny.image.width, 64);
  EXPECT_EQ(tiny.image.height, 1000);
}

TEST(Scene, DefaultIsLargeTexturedAndOpaque) {
  const Scene& s = DefaultScene();
  EXPECT_GE(s.image.width, 1600);
  EXPECT_GE(s.image.height, 1200);
  std::set<std::uint32_t> colours;
  for (int y = 0; y < s.image.height; y += 3)
    for (int x = 0; x < s.image.width; x += 3) {
      const std::uint8_t* p = s.image.at(x, y);
      ASSERT_EQ(p[3], 255);
      colours.insert(p[0] << 16 | p[1] << 8 | p[2]);
    }
  EXPECT_GT(colours.size(), 20000u) << "noise and texture everywhere, no flat areas";
}

TEST(Scene, TargetMaskIsWhereTheTargetShapeIsAndNothingCoversIt) {
  const Scene& s = DefaultScene();
  long long inside = 0;
  for (int y = 0; y < s.image.height; ++y)
    for (int x = 0; x < s.image.width; ++x) {
      const bool shape = s.target.SignedDistance(static_cast<float>(x), static_cast<float>(y)) < 0.0f;
      ASSERT_EQ(*s.targetMask.at(x, y) == 255, shape) << x << "," << y;
      inside += shape ? 1 : 0;
    }
  EXPECT_GT(inside, 80000);
  EXPECT_LT(inside, 200000);
}

TEST(Scene, TargetStandsOutFromItsSurroundings) {
  // Mean red minus blue inside the target and in a ring 15 to 30 pixels outside it.
  const Scene& s = DefaultScene();
  double in = 0, out = 0;
  long long nIn = 0, nOut = 0;
  for (int y = 0; y < s.image.height; ++y)
    for (int x = 0; x < s.image.width; ++x) {
      const float d = s.target.SignedDistance(static_cast<float>(x), static_cast<float>(y));
      const std::uint8_t* p = s.image.at(x, y);
      if (d < -3.0f) in += p[0] - p[2], ++nIn;
      else if (d > 15.0f && d < 30.0f) out += p[0] - p[2], ++nOut;
    }
  EXPECT_GT(in / nIn - out / nOut, 60.0);
}

TEST(Scene, BlobNormalIsOutwardAndPerpendicularToTheBoundary) {
  const paint::BlobShape& b = DefaultScene().target;
  for (int i = 0; i < 360; ++i) {
    const float a = static_cast<float>(i) * 0.0174533f;
    const paint::PointF p = b.BoundaryPoint(a), n = b.OutwardNormal(a);
    const paint::PointF q = b.BoundaryPoint(a + 1e-3f);
    const float tx = q[0] - p[0], ty = q[1] - p[1];
    EXPECT_NEAR(n[0] * n[0] + n[1] * n[1], 1.0f, 1e-5f);
    EXPECT_NEAR((n[0] * tx + n[1] * ty) / std::hypot(tx, ty), 0.0f, 2e-3f);
    EXPECT_GT(b.SignedDistance(p[0] + 2.0f * n[0], p[1] + 2.0f * n[1]), 1.0f);
    EXPECT_LT(b.SignedDistance(p[0] - 2.0f * n[0], p[1] - 2.0f * n[1]), -1.0f);
  }
}

TEST(DefaultScript, ResampledPathsKeepTheirSpacing) {
  std::vector<paint::PointF> path;
  for (int i = 0; i <= 100; ++i) path.push_back({100.0f + 3.0f * static_cast<float>(i), 50.0f + 0.5f * static_cast<float>(i)});
  const auto points = paint::ResamplePath(path, 20.0f);
  ASSERT_GE(points.size(), 2u);
  EXPECT_EQ(points.front(), (std::array<int, 2>{100, 50}));
  EXPECT_EQ(points.back(), (std::array<int, 2>{400, 100}));
  for (std::size_t i = 1; i + 1 < points.size(); ++i)
    EXPECT_NEAR(std::hypot(points[i][0] - points[i - 1][0], points[i][1] - points[i - 1][1]), 20.0, 1.5);
}

// Paints the discs of a stroke's hard core into a mask with value v.
void PaintCores(const Stroke& s, std::uint8_t v, GrayImage* mask) {
  const float core = static_cast<float>(*s.core) * 0.01f * static_cast<float>(*s.radius) + 0.5f;
  const int reach = static_cast<int>(std::ceil(core));
  for (const auto& p : s.points)
    for (int y = std::max(0, p[1] - reach); y <= std::min(mask->height - 1, p[1] + reach); ++y)
      for (int x = std::max(0, p[0] - reach); x <= std::min(mask->width - 1, p[0] + reach); ++x)
        if (std::hypot(static_cast<float>(x - p[0]), static_cast<float>(y - p[1])) <= core) *mask->at(x, y) = v;
}

TEST(DefaultScript, HardCoresAloneNearlyCoverTheTargetAndTheTrimRemovesTheSpill) {
  const Scene& s = DefaultScene();
  const std::vector<Stroke> strokes = paint::DefaultStrokes(s);
  const int w = s.image.width, h = s.image.height;
  auto distance = [&](int x, int y) { return s.target.SignedDistance(static_cast<float>(x), static_cast<float>(y)); };
  ASSERT_GE(strokes.size(), 4u);
  for (const Stroke& stroke : strokes) {
    ASSERT_TRUE(stroke.radius && stroke.core && stroke.edgeSnap && stroke.smoothing);
    for (const auto& p : stroke.points) EXPECT_TRUE(p[0] >= 0 && p[1] >= 0 && p[0] < w && p[1] < h);
  }

  // The fill and outline cores stay inside the target.
  GrayImage careful(w, h);
  PaintCores(strokes[0], 255, &careful);
  PaintCores(strokes[1], 255, &careful);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) ASSERT_TRUE(*careful.at(x, y) != 255 || distance(x, y) < 0.5f) << x << "," << y;
  EXPECT_GT(paint::IntersectionOverUnion(careful, s.targetMask), 0.93);

  // The careless dab spills over; after the trim nothing is left more than 6 pixels outside.
  GrayImage model = careful;
  PaintCores(strokes[2], 255, &model);
  float spill = 0.0f;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (*model.at(x, y) == 255) spill = std::max(spill, distance(x, y));
  EXPECT_GT(spill, 8.0f);
  PaintCores(strokes[3], 0, &model);
  // After the trim nothing is left far outside, and the trim does not cut into the target.
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      ASSERT_TRUE(*model.at(x, y) != 255 || distance(x, y) < 6.0f) << x << "," << y;
      ASSERT_TRUE(*careful.at(x, y) != 255 || *model.at(x, y) == 255) << x << "," << y;
    }
}

}  // namespace
