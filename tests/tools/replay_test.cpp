// Replaying a script through the tool gives exactly what a host gets from the equivalent direct
// library calls, and the whole-image read-back agrees with small read-backs. On the built-in scene
// the built-in script selects the target object.
#include <gtest/gtest.h>

#include "default_script.h"
#include "mask_stats.h"
#include "replay.h"
#include "scene.h"
#include "stroke_script.h"
#include "support/synthetic_images.h"

namespace {

using paint::GrayImage;
using paint::RgbaImage;
using paint::Stroke;
using paint::StrokeMode;

// The whole image read back in 64-pixel blocks, each with a disc just covering it.
GrayImage ReadInSmallBlocks(int w, int h, int band) {
  GrayImage mask(w, h);
  VELDRA::SetParameter(VELDRA::PARAM_RADIUS, 46);
  for (int y = 0; y < h; y += 64)
    for (int x = 0; x < w; x += 64)
      VELDRA::GetSelection(x, y, std::min(64, w - x), std::min(64, h - y), mask.at(x, y), w, x + 31.5f, y + 31.5f, band);
  return mask;
}

// What a host does for the same strokes, written out call by call without the tool's helpers.
GrayImage DirectCalls(const RgbaImage& image, const std::vector<Stroke>& strokes, int band) {
  const int W = image.width, H = image.height;
  veldra_test::defaultParameters();
  EXPECT_TRUE(VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, W, H, false));
  std::vector<unsigned char> block;
  std::vector<float> sx, sy;
  for (const Stroke& s : strokes) {
    const int r = *s.radius;
    VELDRA::SetParameter(VELDRA::PARAM_RADIUS, r);
    VELDRA::SetParameter(VELDRA::PARAM_CORE, *s.core);
    VELDRA::SetParameter(VELDRA::PARAM_EDGE_SNAP, *s.edgeSnap);
    VELDRA::SetParameter(VELDRA::PARAM_SMOOTHING, *s.smoothing);
    VELDRA::MouseDown();
    if (s.mode == StrokeMode::Band) {
      if (s.mattingRadius) VELDRA::setMattingBrushRadius(*s.mattingRadius);
      VELDRA::enableRLS(s.band);
    }
    for (std::size_t i = 0; i < s.points.size(); ++i) {
      const int x = s.points[i][0], y = s.points[i][1];
      const int bx = std::max(0, x - r), by = std::max(0, y - r);
      const int bw = std::min(W - 1, x + r) - bx + 1, bh = std::min(H - 1, y + r) - by + 1;
      if (s.mode == StrokeMode::Line) {
        const auto& from = s.points[i == 0 ? 0 : i - 1];
        const VELDRA::EDITMODE m = s.lineMode == paint::LineMode::Subtract ? VELDRA::EDITMODE_SUBTRACT
                                   : s.lineMode == paint::LineMode::Auto   ? VELDRA::EDITMODE_AUTO
                                                                           : VELDRA::EDITMODE_ADD;
        EXPECT_TRUE(VELDRA::AddDeleteLine(m, from[0], from[1], x, y));
      } else if (s.mode == StrokeMode::Smooth) {
        EXPECT_TRUE(VELDRA::Smoothen(x, y, bx, by, bw, bh));
      } else {
        const int pw = bw + 24, ph = bh + 24;
        block.assign(static_cast<std::size_t>(pw) * ph * 4, 0);
        for (int j = 0; j < ph; ++j)
          for (int i2 = 0; i2 < pw; ++i2) {
            const int ix = std::clamp(bx - 12 + i2, 0, W - 1), iy = std::clamp(by - 12 + j, 0, H - 1);
            std::copy_n(image.at(ix, iy), 4, &block[(static_cast<std::size_t>(j) * pw + i2) * 4]);
          }
        sx.assign(static_cast<std::size_t>(bw) * bh, 0.0f);
        sy.assign(static_cast<std::size_t>(bw) * bh, 0.0f);
        VELDRA::ComputeEdgeSnapData(bw, bh, block.data(), pw, sx.data(), bw, sy.data(), bw);
        const VELDRA::EDITMODE m = s.mode == StrokeMode::Subtract ? VELDRA::EDITMODE_SUBTRACT
                                   : s.mode == StrokeMode::Auto   ? VELDRA::EDITMODE_AUTO
                                                                  : VELDRA::EDITMODE_ADD;
        EXPECT_TRUE(VELDRA::Step(m, s.band, x, y, bx, by, bw, bh, sx.data(), bw, sy.data(), bw));
      }
    }
    VELDRA::MouseUp();
  }
  return ReadInSmallBlocks(W, H, band);
}

std::vector<Stroke> MixedScript(const paint::Scene& scene) {
  const std::string text = R"({"strokes": [
    {"mode": "add", "radius": 24, "core": 60, "points": [[150, 160], [165, 165], [180, 172], [190, 185]]},
    {"mode": "auto", "radius": 18, "core": 50, "points": [[175, 175], [200, 190]]},
    {"mode": "line", "radius": 10, "core": 80, "points": [[120, 120], [140, 150], [150, 200]]},
    {"mode": "subtract", "radius": 16, "core": 40, "edge_snap": 90, "points": [[155, 160], [150, 175]]},
    {"mode": "line", "line_mode": "subtract", "radius": 6, "points": [[130, 140], [130, 150]]},
    {"mode": "smooth", "radius": 20, "smoothing": 60, "points": [[190, 185], [170, 195]]},
    {"mode": "band", "band": 6, "matting_radius": 4, "radius": 12, "points": [[168, 150], [176, 158], [2, 3]]},
    {"mode": "add", "radius": 300, "core": 20, "points": [[0, 0], [399, 299]]}]})";
  std::vector<Stroke> strokes;
  std::vector<std::string> warnings;
  std::string error;
  EXPECT_TRUE(paint::ParseStrokeScript(text, &strokes, &warnings, &error)) << error;
  paint::ResolveStrokes(&strokes, paint::LibraryParameterTable(), scene.image.width, scene.image.height, &warnings);
  EXPECT_TRUE(warnings.empty());
  return strokes;
}

TEST(Replay, WrittenScriptGivesTheSameMaskAsDirectLibraryCalls) {
  const paint::Scene scene = paint::GenerateScene(400, 300, 9);
  const std::vector<Stroke> script = MixedScript(scene);
  // The script goes through a written file's text, as a user's would.
  std::vector<Stroke> strokes;
  std::vector<std::string> warnings;
  std::string error;
  ASSERT_TRUE(paint::ParseStrokeScript(paint::WriteStrokeScript(script), &strokes, &warnings, &error)) << error;

  for (const int band : {0, 6}) {
    paint::PaintSession session;
    ASSERT_TRUE(session.Open(scene.image, &error)) << error;
    const paint::ReplayResult result = session.Replay(strokes, nullptr);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.events, 20);
    EXPECT_EQ(result.eventSeconds.size(), 20u);
    const GrayImage replayed = session.ReadSelection(band);
    int radius = 0;
    VELDRA::GetParameter(VELDRA::PARAM_RADIUS, &radius);
    EXPECT_EQ(radius, 300) << "the read-back restores the radius of the last stroke";
    EXPECT_EQ(ReadInSmallBlocks(400, 300, band).pixels, replayed.pixels) << "one covering disc equals small blocks";

    const GrayImage direct = DirectCalls(scene.image, strokes, band);
    EXPECT_EQ(direct.pixels, replayed.pixels) << "band " << band;
  }
}

TEST(Replay, ImagesTooLargeForOneDiscAreReadBackInBlocks) {
  const int w = 2600, h = 90;  // half diagonal above the largest radius
  RgbaImage image(w, h);
  std::fill(image.pixels.begin(), image.pixels.end(), std::uint8_t{200});
  std::vector<Stroke> strokes(1);
  strokes[0].points = {{100, 45}, {1300, 45}, {2590, 80}};
  strokes[0].radius = 30;
  std::vector<std::string> warnings;
  paint::ResolveStrokes(&strokes, paint::LibraryParameterTable(), w, h, &warnings);
  paint::PaintSession session;
  std::string error;
  ASSERT_TRUE(session.Open(image, &error)) << error;
  ASSERT_TRUE(session.Replay(strokes, nullptr).ok);
  const GrayImage mask = session.ReadSelection(0);
  EXPECT_EQ(ReadInSmallBlocks(w, h, 0).pixels, mask.pixels);
}

TEST(Replay, BuiltInScriptSelectsTheTargetObject) {
  const paint::Scene scene = paint::GenerateScene();
  std::vector<Stroke> strokes = paint::DefaultStrokes(scene);
  std::vector<std::string> warnings;
  paint::ResolveStrokes(&strokes, paint::LibraryParameterTable(), scene.image.width, scene.image.height, &warnings);
  EXPECT_TRUE(warnings.empty());
  paint::PaintSession session;
  std::string error;
  ASSERT_TRUE(session.Open(scene.image, &error)) << error;
  ASSERT_TRUE(session.Replay(strokes, nullptr).ok);
  EXPECT_GE(paint::IntersectionOverUnion(session.ReadSelection(0), scene.targetMask), 0.95);
}

}  // namespace
