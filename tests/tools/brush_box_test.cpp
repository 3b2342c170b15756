// The brush box and the edge snap block: compared with plain per-pixel references on random
// centres, radii, margins (the edge snap margin most often) and image sizes, including brushes
// hanging over every border and corner.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "host_conventions.h"
#include "image.h"

namespace {

using veldra_host::PixelBox;
using paint::RgbaImage;

// The smallest box holding every image pixel whose centre lies within the disc's bounding square.
PixelBox ReferenceBox(int cx, int cy, int r, int w, int h) {
  int x0 = w, y0 = h, x1 = -1, y1 = -1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (std::abs(x - cx) <= r && std::abs(y - cy) <= r) {
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
      }
  if (x1 < 0) return {};
  return {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

RgbaImage Numbered(int w, int h) {
  RgbaImage image(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = image.at(x, y);
      p[0] = static_cast<std::uint8_t>(x);
      p[1] = static_cast<std::uint8_t>(y);
      p[2] = static_cast<std::uint8_t>(x * 7 + y * 13);
      p[3] = static_cast<std::uint8_t>(x ^ y);
    }
  return image;
}

TEST(BrushBox, MatchesTheClippedBoundingSquareOfTheDisc) {
  std::mt19937 rng(11);
  for (int round = 0; round < 400; ++round) {
    const int w = 1 + static_cast<int>(rng() % 60), h = 1 + static_cast<int>(rng() % 60);
    const int r = static_cast<int>(rng() % 40);
    const int cx = static_cast<int>(rng() % 160) - 50, cy = static_cast<int>(rng() % 160) - 50;
    const PixelBox got = veldra_host::BrushBox(cx, cy, r, w, h), want = ReferenceBox(cx, cy, r, w, h);
    ASSERT_EQ(got.empty(), want.empty()) << cx << "," << cy << " r" << r << " in " << w << "x" << h;
    if (want.empty()) continue;
    ASSERT_TRUE(got.x == want.x && got.y == want.y && got.width == want.width && got.height == want.height);
  }
}

// Beyond the random reference's range: radii larger than the image, empty images, far-away centres.
TEST(BrushBox, ExtremeValues) {
  const PixelBox huge = veldra_host::BrushBox(5, 5, 1250, 400, 300);
  EXPECT_TRUE(huge.x == 0 && huge.y == 0 && huge.width == 400 && huge.height == 300);
  EXPECT_TRUE(veldra_host::BrushBox(5, 5, 1250, 0, 300).empty());
  EXPECT_TRUE(veldra_host::BrushBox(2147483000, -2147483000, 1250, 400, 300).empty()) << "no overflow";
}

TEST(BrushBox, BlockRepeatsTheNearestEdgePixelOutsideTheImage) {
  std::mt19937 rng(5);
  std::vector<std::uint8_t> block;
  for (int round = 0; round < 300; ++round) {
    const int w = 1 + static_cast<int>(rng() % 50), h = 1 + static_cast<int>(rng() % 50);
    const RgbaImage image = Numbered(w, h);
    const int r = static_cast<int>(rng() % 30);
    const PixelBox box = veldra_host::BrushBox(static_cast<int>(rng() % w), static_cast<int>(rng() % h), r, w, h);
    const int margin = round % 3 == 0 ? static_cast<int>(rng() % 20) : veldra_host::kSnapMargin;
    veldra_host::CopyBlockWithMargin(image, box, margin, &block);
    const int bw = box.width + 2 * margin, bh = box.height + 2 * margin;
    ASSERT_EQ(block.size(), static_cast<std::size_t>(bw) * bh * 4);
    for (int by = 0; by < bh; ++by)
      for (int bx = 0; bx < bw; ++bx) {
        const int sx = std::clamp(box.x - margin + bx, 0, w - 1), sy = std::clamp(box.y - margin + by, 0, h - 1);
        for (int c = 0; c < 4; ++c)
          ASSERT_EQ(block[(static_cast<std::size_t>(by) * bw + bx) * 4 + c], image.at(sx, sy)[c])
              << "block pixel " << bx << "," << by << " of box " << box.x << "," << box.y << " " << box.width << "x"
              << box.height << " margin " << margin << " in " << w << "x" << h;
      }
  }
}

}  // namespace
