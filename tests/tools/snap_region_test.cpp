// The host computes the edge snap field of a region once and hands Step views into it. That is exact
// only if the field of every brush box equals, bit for bit, the same pixels of the region's field:
// checked against one ComputeEdgeSnapData call per box (margin copied from the image, edge pixels
// repeated beyond it) for random boxes, those at every edge and corner of the image included, inside
// the whole image and inside a region that is a part of it.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include <veldra/veldra.h>

#include "scene.h"
#include "snap_region.h"

namespace {

using veldra_host::PixelBox;

TEST(SnapRegion, ViewsEqualTheFieldOfEachBox) {
  const paint::Scene scene = paint::GenerateScene(300, 220);
  const paint::RgbaImage& image = scene.image;
  const PixelBox parts[2] = {{0, 0, image.width, image.height}, {37, 21, 180, 150}};
  std::mt19937 rng(4);
  std::vector<std::uint8_t> block;
  int compared = 0;
  for (const PixelBox& part : parts) {
    paint::SnapRegion region;
    region.Compute(image, part);
    ASSERT_TRUE(region.region().x == part.x && region.region().width == part.width);
    for (int round = 0; round < 60; ++round) {
      // Brush boxes of random radii around random centres; a third of them centred on the part's edge.
      const int r = 1 + static_cast<int>(rng() % 40);
      int cx = part.x + static_cast<int>(rng() % part.width), cy = part.y + static_cast<int>(rng() % part.height);
      if (round % 3 == 0) cx = round % 2 ? part.x : part.x + part.width - 1;
      const PixelBox wanted = veldra_host::BrushBox(cx, cy, r, image.width, image.height);
      const int x0 = std::max(wanted.x, part.x), y0 = std::max(wanted.y, part.y);
      const PixelBox box{x0, y0, std::min(wanted.x + wanted.width, part.x + part.width) - x0,
                         std::min(wanted.y + wanted.height, part.y + part.height) - y0};
      ASSERT_TRUE(region.Covers(box));
      veldra_host::CopyBlockWithMargin(image, box, veldra_host::kSnapMargin, &block);
      std::vector<float> x(static_cast<std::size_t>(box.width) * box.height), y(x.size());
      VELDRA::ComputeEdgeSnapData(box.width, box.height, block.data(), box.width + 2 * veldra_host::kSnapMargin, x.data(),
                                  box.width, y.data(), box.width);
      const float* vx = region.X(box);
      const float* vy = region.Y(box);
      for (int row = 0; row < box.height; ++row)
        for (int col = 0; col < box.width; ++col) {
          const std::size_t own = static_cast<std::size_t>(row) * box.width + col;
          const std::size_t view = static_cast<std::size_t>(row) * region.Stride() + col;
          ASSERT_EQ(std::memcmp(&x[own], &vx[view], sizeof(float)), 0) << "box " << box.x << "," << box.y << " pixel " << col << "," << row;
          ASSERT_EQ(std::memcmp(&y[own], &vy[view], sizeof(float)), 0) << "box " << box.x << "," << box.y << " pixel " << col << "," << row;
          ++compared;
        }
    }
    EXPECT_FALSE(region.Covers(PixelBox{part.x - 1, part.y, 2, 2})) << "a box reaching outside is not covered";
  }
  EXPECT_GT(compared, 100000);
}

}  // namespace
