// Host rectangles and buffers at the exported functions, as hosts lay them out: read-outs that reach
// past the image into its last root tiles, and buffers stored bottom-up (pointer at the last row in
// memory, negative row stride) or with rows sharing memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/synthetic_images.h"

namespace {

using namespace veldra_test;

// 300 x 200 pixels: root tiles cover 512 x 256.
constexpr int kW = 300, kH = 200, kTilesW = 512, kTilesH = 256;
constexpr unsigned char kUnwritten = 77;

// A selection that crosses the image's right and bottom edges, with a band near its boundary.
void startSession() {
  defaultParameters();
  ASSERT_TRUE(VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, kW, kH, false));
  ASSERT_TRUE(seedSelection(kW, kH, disc(280.0, 170.0, 70.0)));
  VELDRA::SetParameter(VELDRA::PARAM_RADIUS, 1250);  // the brush disc covers every rectangle below
}

// The rectangle (x, y, w, h) read into a buffer of its own size, placed at (x, y) in a root-tile
// sized picture whose other pixels are kUnwritten.
std::vector<unsigned char> readInto(int x, int y, int w, int h, int band) {
  std::vector<unsigned char> rect(static_cast<std::size_t>(w) * h, kUnwritten);
  VELDRA::GetSelection(x, y, w, h, rect.data(), w, static_cast<float>(x), static_cast<float>(y), band);
  std::vector<unsigned char> picture(static_cast<std::size_t>(kTilesW) * kTilesH, kUnwritten);
  for (int r = std::max(0, -y); r < h && y + r < kTilesH; ++r)
    for (int c = std::max(0, -x); c < w && x + c < kTilesW; ++c)
      picture[static_cast<std::size_t>(y + r) * kTilesW + x + c] = rect[static_cast<std::size_t>(r) * w + c];
  return picture;
}

// Rectangles that reach past the image are rendered whole, as long as they lie within the image's
// root tiles: pixels inside the image read what the whole-image read-out reads, pixels past it read
// the same in every rectangle that covers them. Rectangles reaching beyond the root tiles are refused.
TEST(HostRectangles, ReadOutsPastTheImageEdgeRenderEveryPixelWithinTheRootTiles) {
  startSession();
  const int band = 6;
  const std::vector<unsigned char> image = readSelection(kW, kH, band);
  const std::vector<unsigned char> tiles = readInto(0, 0, kTilesW, kTilesH, band);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      ASSERT_EQ(tiles[static_cast<std::size_t>(y) * kTilesW + x], image[static_cast<std::size_t>(y) * kW + x]) << x << "," << y;
  struct Case {
    const char* name;
    int x, y, w, h;
    bool rendered;
  };
  const Case cases[] = {
      {"past the right edge", 250, 20, kTilesW - 250, 100, true},
      {"past the bottom edge", 20, 150, 200, kTilesH - 150, true},
      {"over the corner", 200, 120, 140, 100, true},
      {"unclipped brush box at the corner", 279, 179, 41, 41, true},
      {"one column past the root tiles", 250, 20, kTilesW - 249, 100, false},
      {"one row past the root tiles", 20, 150, 200, kTilesH - 149, false},
      {"left of the image", -1, 20, 50, 50, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<unsigned char> got = readInto(c.x, c.y, c.w, c.h, band);
    int wrong = 0;
    for (int y = 0; y < kTilesH; ++y)
      for (int x = 0; x < kTilesW; ++x) {
        const bool covered = c.rendered && x >= c.x && y >= c.y && x < c.x + c.w && y < c.y + c.h;
        const std::size_t i = static_cast<std::size_t>(y) * kTilesW + x;
        wrong += got[i] != (covered ? tiles[i] : kUnwritten);
      }
    EXPECT_EQ(wrong, 0);
  }
  // Past the image the selection continues as the border values do: the disc reaches the right edge.
  EXPECT_EQ(tiles[static_cast<std::size_t>(170) * kTilesW + 400], 255);
  EXPECT_EQ(tiles[static_cast<std::size_t>(20) * kTilesW + 400], 0);
}

}  // namespace
