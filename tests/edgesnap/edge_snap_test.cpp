// The edge snap pipeline against the plain one-pixel-at-a-time reference: every kernel set this
// processor runs, the exported entry on one thread and on all of them (bands of rows), and the colour
// conversion over every colour; plus the direction of the pull at a step edge, which
// the reference cannot vouch for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "edgesnap/edge_snap.h"
#include "edgesnap/edge_snap_stages.h"
#include "edgesnap/row_kernels.h"
#include "support/edge_snap_reference.h"
#include "support/harness.h"

namespace {

using namespace VELDRA_EDGESNAP;
using edge_snap_reference::EdgeSnapReference;

// Host-side colour blocks: (w + 24) x (h + 24) pixels of 4 bytes with a row stride that may exceed
// the block, output arrays with guards, and the kernel sets to compare.
struct ColourBlock {
  int w = 0, h = 0;
  int stride = 0;  // pixels per row, at least w + 24
  std::vector<unsigned char> bytes;

  void Set(int col, int row, int r, int g, int b) {
    unsigned char* p = &bytes[(std::size_t(row) * stride + col) * 4];
    const auto clamp = [](int v) { return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v); };
    p[0] = clamp(r), p[1] = clamp(g), p[2] = clamp(b);
  }
};

// Random bytes; padding beyond w + 24 and byte 3 stay noise in every block: neither may influence the
// result.
ColourBlock RandomBlock(int w, int h, int extraStride, std::uint32_t seed) {
  ColourBlock block{w, h, w + 24 + extraStride, {}};
  block.bytes.resize(std::size_t(block.stride) * (h + 24) * 4);
  std::mt19937 random(seed);
  for (unsigned char& b : block.bytes) b = static_cast<unsigned char>(random());
  return block;
}

// Smooth colour ramps with a rectangle and a disc painted over them: straight edges, corners where
// two edges meet, and curved edges, plus mild noise so that no region is exactly flat.
ColourBlock ShapesBlock(int w, int h, std::uint32_t seed) {
  std::mt19937 random(seed * 7u + 3u);
  std::uniform_int_distribution<int> noise(-3, 3);
  const int cols = w + 24, rows = h + 24;
  ColourBlock block = RandomBlock(w, h, 5, seed);
  for (int row = 0; row < rows; ++row)
    for (int col = 0; col < cols; ++col) {
      int r = 40 + 150 * col / cols, g = 60 + 120 * row / rows, b = 128;
      if (col > cols / 4 && col < 3 * cols / 4 && row > rows / 5 && row < rows / 2) r = 230, g = 40, b = 30;
      const int dx = col - cols / 2, dy = row - 2 * rows / 3;
      if (dx * dx + dy * dy < (cols * cols + rows * rows) / 40) r = 20, g = 30, b = 200;
      const int nr = noise(random), ng = noise(random), nb = noise(random);  // in this order on every compiler
      block.Set(col, row, r + nr, g + ng, b + nb);
    }
  return block;
}

// Rows of one random colour each (random stripes across, or down when `down`): the blurred colours
// are equal along the stripes, so one of the tensor's differences is exactly +0 in every channel and
// its products with the other carry the other's sign, down to the signed zero.
ColourBlock StripesBlock(int w, int h, std::uint32_t seed, bool down) {
  std::mt19937 random(seed);
  ColourBlock block = RandomBlock(w, h, 3, seed);
  const int cols = w + 24, rows = h + 24;
  std::vector<int> colour(3 * std::size_t(down ? cols : rows));
  for (int& v : colour) v = static_cast<int>(random() % 256);
  for (int row = 0; row < rows; ++row)
    for (int col = 0; col < cols; ++col) {
      const int* c = &colour[3 * std::size_t(down ? col : row)];
      block.Set(col, row, c[0], c[1], c[2]);
    }
  return block;
}

// Float arrays of h rows with `stride` floats per row, surrounded by guard rows and columns; every
// float starts as a sentinel so that writes outside w x h can be detected.
struct SnapArrays {
  static constexpr float kSentinel = -12345.5f;
  static constexpr int kGuardRows = 2;

  int w = 0, h = 0, stride = 0;
  std::vector<float> x, y;

  SnapArrays(int width, int height, int extraStride)
      : w(width), h(height), stride(width + extraStride),
        x(std::size_t(stride) * (height + 2 * kGuardRows) + 2 * kGuardRows, kSentinel), y(x.size(), kSentinel) {}

  // First element of row 0; kGuardRows rows (and kGuardRows floats) of guard before it.
  std::size_t Origin() const { return std::size_t(stride) * kGuardRows + kGuardRows; }
  float* X() { return x.data() + Origin(); }
  float* Y() { return y.data() + Origin(); }
  float AtX(int col, int row) const { return x[Origin() + std::size_t(row) * stride + col]; }
  float AtY(int col, int row) const { return y[Origin() + std::size_t(row) * stride + col]; }
};

// The exported entry on a block, into arrays with `extraStride` floats of padding per row.
SnapArrays Compute(const ColourBlock& block, int extraStride = 1) {
  SnapArrays out(block.w, block.h, extraStride);
  ComputeEdgeSnapData(block.w, block.h, block.bytes.data(), block.stride, out.X(), out.stride, out.Y(),
                                       out.stride);
  return out;
}

// The kernel sets this processor runs.
std::vector<const RowKernels*> AvailableKernels() {
  std::vector<const RowKernels*> kernels{&ScalarRowKernels(), &SseRowKernels()};
  if (ProcessorHasAvx2()) kernels.push_back(&Avx2RowKernels());
  if (ProcessorHasAvx512()) kernels.push_back(&Avx512RowKernels());
  return kernels;
}

bool SameBits(const SnapArrays& a, const SnapArrays& b) {
  return a.x.size() == b.x.size() && std::memcmp(a.x.data(), b.x.data(), a.x.size() * sizeof(float)) == 0 &&
         std::memcmp(a.y.data(), b.y.data(), a.y.size() * sizeof(float)) == 0;
}

// Random bytes (byte 3 and the padding beyond the block stay noise: neither may count) or coloured
// shapes with straight and curved edges and corners; sizes down to single rows and columns, padded
// image and output strides.
TEST(EdgeSnap, EveryPathGivesTheReferenceBitsAndWritesOnlyTheBlock) {
  struct Case {
    int w, h, extraImageStride, extraSnapStride;
    unsigned seed;
    int kind;  // 0 random bytes, 1 shapes, 2 stripes across, 3 stripes down
  };
  std::vector<Case> cases = {{64, 48, 0, 0, 1, 0},  {37, 29, 5, 3, 2, 0},  {101, 7, 0, 0, 3, 0},
                             {125, 9, 9, 0, 5, 0},  {16, 3, 2, 7, 7, 0},   {1, 1, 7, 5, 51, 1},
                             {96, 80, 0, 0, 11, 1},  {53, 67, 0, 4, 12, 1},  {300, 200, 0, 0, 14, 1},
                             {203, 131, 0, 1, 15, 1}, {3, 300, 0, 0, 16, 1}, {517, 37, 0, 2, 17, 1},
                             {45, 60, 0, 0, 18, 2}, {60, 45, 0, 0, 19, 3}};
  for (int w = 1; w <= 10; ++w) cases.push_back({w, 5, w % 3, w % 2, 20u + unsigned(w), 0});
  for (int h = 1; h <= 3; ++h) cases.push_back({23, h, 1, 2, 40u + unsigned(h), 0});
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " seed " << c.seed);
    const ColourBlock block = c.kind == 0 ? RandomBlock(c.w, c.h, c.extraImageStride, c.seed)
                              : c.kind == 1 ? ShapesBlock(c.w, c.h, c.seed)
                                            : StripesBlock(c.w, c.h, c.seed, c.kind == 3);
    SnapArrays expected(c.w, c.h, c.extraSnapStride);
    EdgeSnapReference().Compute(c.w, c.h, block.bytes.data(), block.stride, expected.X(), expected.stride,
                                expected.Y(), expected.stride);
    for (const RowKernels* kernels : AvailableKernels()) {
      EdgeSnapWorkspace workspace;
      SnapArrays actual(c.w, c.h, c.extraSnapStride);
      RunEdgeSnapPipeline(*kernels, workspace, c.w, c.h, block.bytes.data(), block.stride, actual.X(),
                          actual.stride, actual.Y(), actual.stride);
      EXPECT_TRUE(SameBits(actual, expected)) << kernels->name;
    }
    const SnapArrays exported = Compute(block, c.extraSnapStride);
    EXPECT_TRUE(SameBits(exported, expected)) << "exported entry";
    EXPECT_TRUE(SameBits(veldra_test::onOneThread([&] { return Compute(block, c.extraSnapStride); }),
                         exported)) << "one thread";
  }
}

// The vector kernels evaluate the cube root of the lightness without powf for most pixels; the
// result must still be powf's, bit for bit, over all 2^24 colours (byte 3 varies as noise), and rows
// of 1 to 17 pixels take each kernel set's narrower paths for their tails.
TEST(EdgeSnap, ColourConversionOfEveryColourMatchesTheReference) {
  constexpr int kRow = 256;
  std::vector<unsigned char> pixels(kRow * 4);
  std::vector<float> expected(kRow * 4), actual(kRow * 3);
  for (const RowKernels* kernels : AvailableKernels()) {
    long mismatches = 0;
    for (int rg = 0; rg < 256 * 256; ++rg) {
      for (int blue = 0; blue < kRow; ++blue) {
        const unsigned char p[4] = {static_cast<unsigned char>(rg >> 8), static_cast<unsigned char>(rg),
                                    static_cast<unsigned char>(blue), static_cast<unsigned char>(rg * 13 + blue)};
        std::memcpy(&pixels[4 * blue], p, 4);
        EdgeSnapReference::ConvertPixel(p, &expected[4 * blue]);
      }
      const int n = rg < 17 ? rg + 1 : kRow;
      std::fill(actual.begin(), actual.end(), 0.0f);
      kernels->convertRow(pixels.data(), n, actual.data(), kRow);
      for (int i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c)
          mismatches += std::memcmp(&expected[4 * i + c], &actual[c * kRow + i], sizeof(float)) != 0;
    }
    EXPECT_EQ(mismatches, 0) << kernels->name;
  }
}

// A dark-to-light step between image columns 35 and 36 (output column 24): the field is along x and
// points at the step from both sides, more strongly closer to it; far from the step nothing pulls.
TEST(EdgeSnap, StepEdgePullsTowardsTheEdgeFromBothSides) {
  constexpr int kW = 48, kH = 20, kEdge = 24;
  ColourBlock block = RandomBlock(kW, kH, 3, 1);
  for (int row = 0; row < kH + 24; ++row)
    for (int col = 0; col < kW + 24; ++col)
      col < kEdge + 12 ? block.Set(col, row, 30, 60, 20) : block.Set(col, row, 220, 200, 90);
  const SnapArrays out = Compute(block, 0);
  // Both sides are flat, so at the blur's reach the strength is flat on one side only: there too the
  // bits must be the reference's.
  SnapArrays expected(kW, kH, 0);
  EdgeSnapReference().Compute(kW, kH, block.bytes.data(), block.stride, expected.X(), expected.stride, expected.Y(),
                              expected.stride);
  EXPECT_TRUE(SameBits(out, expected));
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      EXPECT_EQ(out.AtY(x, y), 0.0f) << x << "," << y;
      EXPECT_TRUE(x < kEdge - 8 || x > kEdge - 2 || out.AtX(x, y) > 0.0f) << x;
      EXPECT_TRUE(x < kEdge + 1 || x > kEdge + 7 || out.AtX(x, y) < 0.0f) << x;
    }
    EXPECT_GT(out.AtX(kEdge - 3, y), out.AtX(kEdge - 7, y));
    EXPECT_LT(out.AtX(kEdge + 2, y), out.AtX(kEdge + 6, y));
    EXPECT_TRUE(out.AtX(0, y) == 0.0f && out.AtX(kW - 1, y) == 0.0f);
  }
}

}  // namespace
