// Colour conversion of every kernel set against the plain formula, for every possible colour, in
// rows of every length the vector paths split differently; and the formula's own end points.

#include <gtest/gtest.h>

#include <cstring>

#include "edgesnap/edge_snap_test_images.h"
#include "support/edge_snap_reference.h"

namespace {

using namespace VELDRA_EDGESNAP;
using edge_snap_reference::EdgeSnapReference;

// The vector kernels evaluate the cube root of the lightness without powf for most pixels; the
// result must still be powf's, bit for bit, over all 2^24 colours (byte 3 varies as noise).
TEST(EdgeSnapColourConversion, EveryColourMatchesTheFormulaBitForBit) {
  constexpr int kRow = 256;
  std::vector<unsigned char> pixels(kRow * 4);
  std::vector<float> expected(kRow * 4), actual(kRow * 4);
  for (const RowKernels* kernels : edge_snap_test::AvailableKernels()) {
    long mismatches = 0;
    for (int red = 0; red < 256; ++red)
      for (int green = 0; green < 256; ++green) {
        for (int blue = 0; blue < kRow; ++blue) {
          unsigned char* p = &pixels[4 * blue];
          p[0] = static_cast<unsigned char>(red);
          p[1] = static_cast<unsigned char>(green);
          p[2] = static_cast<unsigned char>(blue);
          p[3] = static_cast<unsigned char>(red * 7 + green * 13 + blue);
          EdgeSnapReference::ConvertPixel(p, &expected[4 * blue]);
        }
        kernels->convertRow(pixels.data(), kRow, actual.data());
        if (std::memcmp(expected.data(), actual.data(), expected.size() * sizeof(float)) != 0 && ++mismatches <= 3)
          ADD_FAILURE() << kernels->name << " red " << red << " green " << green;
      }
    EXPECT_EQ(mismatches, 0) << kernels->name;
  }
}

// Rows of 1 to 17 pixels take each kernel set's narrower paths for their tails.
TEST(EdgeSnapColourConversion, ShortRowsAndTheEndPoints) {
  std::vector<unsigned char> pixels(17 * 4);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 97 % 256);
  std::vector<float> expected(pixels.size()), actual(pixels.size());
  for (std::size_t p = 0; p < 17; ++p) EdgeSnapReference::ConvertPixel(&pixels[4 * p], &expected[4 * p]);
  for (const RowKernels* kernels : edge_snap_test::AvailableKernels())
    for (int n = 1; n <= 17; ++n) {
      kernels->convertRow(pixels.data(), n, actual.data());
      EXPECT_EQ(std::memcmp(expected.data(), actual.data(), std::size_t(n) * 4 * sizeof(float)), 0) << kernels->name << " " << n;
    }
  // Black is (0, 0, 0, 0), white is lightness 100 with next to no chroma, whatever byte 3 holds.
  const unsigned char black[4] = {0, 0, 0, 255}, white[4] = {255, 255, 255, 17};
  float luv[4];
  EdgeSnapReference::ConvertPixel(black, luv);
  EXPECT_TRUE(luv[0] == 0.0f && luv[1] == 0.0f && luv[2] == 0.0f && luv[3] == 0.0f);
  EdgeSnapReference::ConvertPixel(white, luv);
  EXPECT_NEAR(luv[0], 100.0f, 1e-4f);
  EXPECT_LT(std::fabs(luv[1]) + std::fabs(luv[2]), 0.04f);
  EXPECT_EQ(luv[3], 0.0f);
}

}  // namespace
