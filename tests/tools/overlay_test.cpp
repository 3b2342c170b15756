// The overlay picture and the mask measures: exact colours for each kind of pixel, the boundary
// against a brute-force definition, and IoU and median on worked values.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "mask_stats.h"
#include "overlay.h"

namespace {

using paint::GrayImage;
using paint::RgbaImage;

RgbaImage Noise(int w, int h, unsigned seed) {
  RgbaImage image(w, h);
  std::mt19937 rng(seed);
  for (auto& b : image.pixels) b = static_cast<std::uint8_t>(rng() & 0xFF);
  return image;
}

// A selected pixel is on the boundary when a pixel within `width` along either axis is not selected
// or lies outside the image.
bool OnBoundary(const GrayImage& mask, int x, int y, int width) {
  if (*mask.at(x, y) != 255) return false;
  const int dx[4] = {1, -1, 0, 0}, dy[4] = {0, 0, 1, -1};
  for (int k = 1; k <= width; ++k)
    for (int d = 0; d < 4; ++d) {
      const int nx = x + k * dx[d], ny = y + k * dy[d];
      if (nx < 0 || ny < 0 || nx >= mask.width || ny >= mask.height || *mask.at(nx, ny) != 255) return true;
    }
  return false;
}

TEST(Overlay, TintsSelectionAndBandAndDrawsTheBoundary) {
  const int w = 40, h = 30;
  const RgbaImage image = Noise(w, h, 1);
  GrayImage block(w, h), full(w, h);
  for (int y = 5; y < 25; ++y)
    for (int x = 8; x < 30; ++x) *block.at(x, y) = 255;  // selected block
  for (int y = 5; y < 25; ++y) *block.at(31, y) = 128;   // a band column
  *block.at(0, 0) = 77;                                   // any other value counts as outside
  std::fill(full.pixels.begin(), full.pixels.end(), 255);  // the boundary runs along the image border
  paint::OverlayStyle thin;
  thin.boundaryWidth = 1;
  for (const auto& [mask, style] : {std::pair{block, paint::OverlayStyle{}}, std::pair{full, thin}}) {
    const paint::RgbImage out = paint::RenderOverlay(image, mask, style);
    ASSERT_TRUE(out.width == w && out.height == h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const std::uint8_t m = *mask.at(x, y);
        for (int c = 0; c < 3; ++c) {
          const int src = image.at(x, y)[c];
          int want = src;
          if (OnBoundary(mask, x, y, style.boundaryWidth)) want = style.boundary[c];
          else if (m == 255) want = (src * 55 + style.selection[c] * 45 + 50) / 100;
          else if (m == 128) want = (src * 55 + style.band[c] * 45 + 50) / 100;
          ASSERT_EQ(out.at(x, y)[c], want) << x << "," << y << " channel " << c << " mask " << int(m);
        }
      }
  }
  // Mismatched sizes give no picture.
  EXPECT_TRUE(paint::RenderOverlay(Noise(10, 10, 3), GrayImage(10, 9)).empty());
  EXPECT_TRUE(paint::RenderOverlay(RgbaImage(), GrayImage()).empty());
}

TEST(Overlay, TintBlendsWithRounding) {
  EXPECT_EQ(paint::Tint(0, 255, 45), 115);  // (0 + 11475 + 50) / 100
  EXPECT_EQ(paint::Tint(255, 0, 45), 140);  // (14025 + 50) / 100
  EXPECT_EQ(paint::Tint(10, 20, 0), 10);
  EXPECT_EQ(paint::Tint(10, 20, 100), 20);
}

TEST(MaskStats, AreaIntersectionOverUnionMedianAndLargest) {
  GrayImage a(4, 2), b(4, 2);
  a.pixels = {255, 255, 255, 0, 128, 0, 0, 0};  // 3 selected; the band does not count
  b.pixels = {0, 200, 129, 128, 255, 0, 0, 0};  // 3 above 128
  EXPECT_EQ(paint::SelectedArea(a), 3);
  EXPECT_DOUBLE_EQ(paint::IntersectionOverUnion(a, b), 2.0 / 4.0);
  EXPECT_DOUBLE_EQ(paint::IntersectionOverUnion(GrayImage(3, 3), GrayImage(3, 3)), 1.0);
  EXPECT_DOUBLE_EQ(paint::IntersectionOverUnion(a, GrayImage(2, 4)), 0.0);
  EXPECT_DOUBLE_EQ(paint::Median({}), 0.0);
  EXPECT_DOUBLE_EQ(paint::Median({3.0}), 3.0);
  EXPECT_DOUBLE_EQ(paint::Median({5.0, 1.0, 4.0}), 4.0);
  EXPECT_DOUBLE_EQ(paint::Median({5.0, 1.0, 4.0, 2.0}), 3.0);
  EXPECT_DOUBLE_EQ(paint::Largest({5.0, 1.0, 9.0, 2.0}), 9.0);
  EXPECT_DOUBLE_EQ(paint::Largest({}), 0.0);
}

}  // namespace
