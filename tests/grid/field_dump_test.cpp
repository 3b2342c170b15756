// "field.pbm" read back: the header, and at every pixel the value of a leaf that contains the pixel
// (the leaf the point sampler finds), split into red for negative and green for other values.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "support/tree_builders.h"

using namespace VELDRA_TRW;
using namespace veldra_test;

namespace {

// Runs the test body inside a fresh temporary directory.
class InTempDir : public ::testing::Test {
 protected:
  std::string previous, dir;
  void SetUp() override {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    previous = cwd;
    char pattern[] = "/tmp/veldra_dump_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    ASSERT_EQ(chdir(dir.c_str()), 0);
  }
  void TearDown() override {
    std::remove((dir + "/field.pbm").c_str());
    EXPECT_EQ(chdir(previous.c_str()), 0);
    rmdir(dir.c_str());
  }
  static std::string readDump() {
    std::ifstream in("field.pbm", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
};

TEST_F(InTempDir, DumpHoldsTheLeafValueOfEveryPixel) {
  const std::uint32_t w = 300, h = 530;
  auto grid = makeGrid(w, h);
  randomGradedRefine(*grid, 21, 200, 8);
  std::mt19937 rng(21);
  std::uniform_real_distribution<float> value(-40.0f, 40.0f);
  grid->walk(Walk::AllNodes, [&](unsigned n) { grid->levelSet[n] = value(rng); });
  ASSERT_TRUE(grid->saveField());

  const std::string file = readDump();
  const std::string header = "PF\n300\n530\n-1.0000\n";
  ASSERT_EQ(file.compare(0, header.size(), header), 0);
  ASSERT_EQ(file.size(), header.size() + std::size_t{w} * h * 12);
  const char* pixels = file.data() + header.size();
  for (std::uint32_t y = 0; y < h; ++y)
    for (std::uint32_t x = 0; x < w; ++x) {
      float rgb[3];
      std::memcpy(rgb, pixels + (std::size_t{y} * w + x) * 12, sizeof rgb);
      const float expected = grid->SamplePoint(static_cast<float>(x), static_cast<float>(y), nullptr);
      ASSERT_EQ(rgb[0], expected < 0.0f ? -expected : 0.0f) << x << "," << y;
      ASSERT_EQ(rgb[1], expected < 0.0f ? 0.0f : expected) << x << "," << y;
      ASSERT_EQ(rgb[2], 0.0f);
      // The leaf the sampler found covers the pixel (on its closed square).
      unsigned n;
      float lx, ly;
      grid->PointToRoot(static_cast<float>(x), static_cast<float>(y), n, lx, ly);
      grid->LocateLeaf(n, lx, ly);
      float cx, cy, e;
      leafCentre(*grid, n, &cx, &cy, &e);
      ASSERT_LE(std::fabs(static_cast<float>(x) - cx), e * 0.5f);
      ASSERT_LE(std::fabs(static_cast<float>(y) - cy), e * 0.5f);
    }
}

TEST_F(InTempDir, EmptySelectionDumpsGreenHundreds) {
  auto grid = makeGrid(17, 5);
  ASSERT_TRUE(grid->saveField());
  const std::string file = readDump();
  const std::string header = "PF\n17\n5\n-1.0000\n";
  ASSERT_EQ(file.size(), header.size() + 17u * 5u * 12u);
  for (std::size_t p = 0; p < 17u * 5u; ++p) {
    float rgb[3];
    std::memcpy(rgb, file.data() + header.size() + p * 12, sizeof rgb);
    EXPECT_EQ(rgb[0], 0.0f);
    EXPECT_EQ(rgb[1], 100.0f);
    EXPECT_EQ(rgb[2], 0.0f);
  }
}

}  // namespace
