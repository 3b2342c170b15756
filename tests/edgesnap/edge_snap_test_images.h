#pragma once

// Host-side colour blocks for the edge snap tests: (w + 24) x (h + 24) pixels of 4 bytes with a
// row stride that may exceed the block, output arrays with guards, and the kernel sets to compare.

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "edgesnap/edge_snap.h"
#include "edgesnap/row_kernels.h"

namespace edge_snap_test {

struct ColourBlock {
  int w = 0, h = 0;
  int stride = 0;  // pixels per row, at least w + 24
  std::vector<unsigned char> bytes;

  int Columns() const { return w + 24; }
  int Rows() const { return h + 24; }
  void Set(int col, int row, int r, int g, int b) {
    unsigned char* p = &bytes[(std::size_t(row) * stride + col) * 4];
    const auto clamp = [](int v) { return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v); };
    p[0] = clamp(r), p[1] = clamp(g), p[2] = clamp(b);
  }
};

// Random bytes; padding beyond w + 24 and byte 3 stay noise in every block: neither may influence the
// result.
inline ColourBlock RandomBlock(int w, int h, int extraStride, std::uint32_t seed) {
  ColourBlock block{w, h, w + 24 + extraStride, {}};
  block.bytes.resize(std::size_t(block.stride) * block.Rows() * 4);
  std::mt19937 random(seed);
  for (unsigned char& b : block.bytes) b = static_cast<unsigned char>(random());
  return block;
}

// Smooth colour ramps with a rectangle and a disc painted over them: straight edges, corners where
// two edges meet, and curved edges, plus mild noise so that no region is exactly flat.
inline ColourBlock ShapesBlock(int w, int h, std::uint32_t seed) {
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
inline SnapArrays Compute(const ColourBlock& block, int extraStride = 1) {
  SnapArrays out(block.w, block.h, extraStride);
  VELDRA_EDGESNAP::ComputeEdgeSnapData(block.w, block.h, block.bytes.data(), block.stride, out.X(), out.stride, out.Y(),
                                       out.stride);
  return out;
}

// The kernel sets this processor runs.
inline std::vector<const VELDRA_EDGESNAP::RowKernels*> AvailableKernels() {
  using namespace VELDRA_EDGESNAP;
  std::vector<const RowKernels*> kernels{&ScalarRowKernels(), &SseRowKernels()};
  if (ProcessorHasAvx2()) kernels.push_back(&Avx2RowKernels());
  return kernels;
}

}  // namespace edge_snap_test
