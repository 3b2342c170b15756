// Colour conversion of every kernel set against the plain formula, for every possible colour.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "edgesnap/row_kernels.h"
#include "support/edge_snap_reference.h"

namespace {

using namespace VELDRA_EDGESNAP;

std::vector<const RowKernels*> AvailableKernels() {
  std::vector<const RowKernels*> kernels{&ScalarRowKernels(), &SseRowKernels()};
  if (ProcessorHasAvx2()) kernels.push_back(&Avx2RowKernels());
  return kernels;
}

// The vector kernels evaluate the cube root of the lightness without powf for most pixels; the
// result must still be powf's, bit for bit, over all 2^24 colours (byte 3 varies as noise).
TEST(EdgeSnapColourConversion, EveryColourMatchesTheFormulaBitForBit) {
  constexpr int kRow = 256;
  std::vector<unsigned char> pixels(kRow * 4);
  std::vector<float> expected(kRow * 4), actual(kRow * 4);
  for (const RowKernels* kernels : AvailableKernels()) {
    long mismatches = 0;
    for (int red = 0; red < 256; ++red)
      for (int green = 0; green < 256; ++green) {
        for (int blue = 0; blue < kRow; ++blue) {
          unsigned char* p = &pixels[4 * blue];
          p[0] = static_cast<unsigned char>(red);
          p[1] = static_cast<unsigned char>(green);
          p[2] = static_cast<unsigned char>(blue);
          p[3] = static_cast<unsigned char>(red * 7 + green * 13 + blue);
          edge_snap_reference::EdgeSnapReference::ConvertPixel(p, &expected[4 * blue]);
        }
        kernels->convertRow(pixels.data(), kRow, actual.data());
        if (std::memcmp(expected.data(), actual.data(), expected.size() * sizeof(float)) != 0) {
          ++mismatches;
          if (mismatches <= 3) ADD_FAILURE() << kernels->name << " red " << red << " green " << green;
        }
      }
    EXPECT_EQ(mismatches, 0) << kernels->name;
  }
}

TEST(EdgeSnapColourConversion, BlackAndWhite) {
  // Black, white, then white with the ignored byte set: 8 pixels so every kernel set takes its
  // vector path for some of them and its narrower path for a row of one.
  std::vector<unsigned char> pixels = {0, 0, 0, 0, 255, 255, 255, 0, 255, 255, 255, 255, 0, 0, 0, 255};
  pixels.insert(pixels.end(), pixels.begin(), pixels.end());
  for (const RowKernels* kernels : AvailableKernels()) {
    SCOPED_TRACE(kernels->name);
    std::vector<float> luv(pixels.size());
    kernels->convertRow(pixels.data(), int(pixels.size() / 4), luv.data());
    for (int i = 0; i < int(pixels.size() / 4); ++i) {
      const float* p = &luv[4 * i];
      if (pixels[4 * i] == 0) {
        EXPECT_EQ(p[0], 0.0f);
        EXPECT_EQ(p[1], 0.0f);
        EXPECT_EQ(p[2], 0.0f);
      } else {
        EXPECT_NEAR(p[0], 100.0f, 1e-4f);
        EXPECT_LT(std::fabs(p[1]), 0.02f);
        EXPECT_LT(std::fabs(p[2]), 0.02f);
      }
      EXPECT_EQ(p[3], 0.0f);
    }
    std::vector<float> single(4);
    kernels->convertRow(&pixels[4], 1, single.data());
    EXPECT_NEAR(single[0], 100.0f, 1e-4f);
  }
}

}  // namespace
