// "field.pbm" read back: the header, and at every pixel the value of a leaf that contains the pixel
// (the leaf the point sampler finds), split into red for negative and green for other values.
#include <gtest/gtest.h>

#include <cstring>

#include "support/scratch_dir.h"
#include "support/tree_builders.h"

using namespace VELDRA_TRW;
using namespace veldra_test;

namespace {

// A refined tree with random values, and an untouched image smaller than a tile (all values 100).
TEST(FieldDump, HoldsTheLeafValueOfEveryPixel) {
  for (const auto& [w, h, refined] : {std::tuple{300u, 530u, true}, std::tuple{17u, 5u, false}}) {
    auto grid = makeGrid(w, h);
    if (refined) {
      randomGradedRefine(*grid, 21, 200, 8);
      randomChannels(*grid, 21, 40.0f, 1.0f);
    }
    const ScratchDir dir;
    std::string file;
    {
      const WorkingDirectory cwd(dir.path());
      ASSERT_TRUE(grid->saveField());
      file = readFile("field.pbm");
    }
    const std::string header = "PF\n" + std::to_string(w) + "\n" + std::to_string(h) + "\n-1.0000\n";
    ASSERT_EQ(file.compare(0, header.size(), header), 0);
    ASSERT_EQ(file.size(), header.size() + std::size_t{w} * h * 12);
    for (std::uint32_t y = 0; y < h; ++y)
      for (std::uint32_t x = 0; x < w; ++x) {
        float rgb[3];
        std::memcpy(rgb, file.data() + header.size() + (std::size_t{y} * w + x) * 12, sizeof rgb);
        const float expected = grid->SamplePoint(static_cast<float>(x), static_cast<float>(y), nullptr);
        ASSERT_EQ(rgb[0], expected < 0.0f ? -expected : 0.0f) << x << "," << y;
        ASSERT_EQ(rgb[1], expected < 0.0f ? 0.0f : refined ? expected : 100.0f) << x << "," << y;
        ASSERT_EQ(rgb[2], 0.0f);
        // The leaf the sampler found covers the pixel (on its closed square).
        unsigned n;
        float lx, ly, cx, cy, e;
        grid->PointToRoot(static_cast<float>(x), static_cast<float>(y), n, lx, ly);
        grid->LocateLeaf(n, lx, ly);
        leafCentre(*grid, n, &cx, &cy, &e);
        ASSERT_LE(std::fabs(static_cast<float>(x) - cx), e * 0.5f);
        ASSERT_LE(std::fabs(static_cast<float>(y) - cy), e * 0.5f);
      }
  }
}

}  // namespace
