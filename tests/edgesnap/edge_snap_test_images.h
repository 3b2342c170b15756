#pragma once

// Host-side colour blocks for the edge snap tests: (w + 24) x (h + 24) pixels of 4 bytes with a
// row stride that may exceed the block.

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace edge_snap_test {

struct ColourBlock {
  int w = 0;
  int h = 0;
  int stride = 0;  // pixels per row, at least w + 24
  std::vector<unsigned char> bytes;

  int Columns() const { return w + 24; }
  int Rows() const { return h + 24; }
  unsigned char* Pixel(int col, int row) { return &bytes[(std::size_t(row) * stride + col) * 4]; }
  void Set(int col, int row, unsigned char r, unsigned char g, unsigned char b) {
    unsigned char* p = Pixel(col, row);
    p[0] = r;
    p[1] = g;
    p[2] = b;
  }
};

// Padding beyond w + 24 and byte 3 are filled with noise: neither may influence the result.
inline ColourBlock MakeBlock(int w, int h, int extraStride = 0, std::uint32_t seed = 1) {
  ColourBlock block;
  block.w = w;
  block.h = h;
  block.stride = w + 24 + extraStride;
  block.bytes.resize(std::size_t(block.stride) * block.Rows() * 4);
  std::mt19937 random(seed);
  for (unsigned char& b : block.bytes) b = static_cast<unsigned char>(random());
  return block;
}

inline ColourBlock RandomBlock(int w, int h, int extraStride, std::uint32_t seed) {
  return MakeBlock(w, h, extraStride, seed);
}

inline ColourBlock UniformBlock(int w, int h, unsigned char r, unsigned char g, unsigned char b) {
  ColourBlock block = MakeBlock(w, h);
  for (int row = 0; row < block.Rows(); ++row)
    for (int col = 0; col < block.Columns(); ++col) block.Set(col, row, r, g, b);
  return block;
}

// Dark left of image column edgeColumn, light from it on.
inline ColourBlock VerticalStepBlock(int w, int h, int edgeColumn) {
  ColourBlock block = MakeBlock(w, h, 3);
  for (int row = 0; row < block.Rows(); ++row)
    for (int col = 0; col < block.Columns(); ++col) {
      if (col < edgeColumn)
        block.Set(col, row, 30, 60, 20);
      else
        block.Set(col, row, 220, 200, 90);
    }
  return block;
}

// Smooth colour ramps with rectangles and a disc painted over them: straight edges, corners where
// two edges meet, and curved edges, plus mild noise so that no region is exactly flat.
inline ColourBlock ShapesBlock(int w, int h, std::uint32_t seed) {
  ColourBlock block = MakeBlock(w, h, 5, seed);
  std::mt19937 random(seed * 7u + 3u);
  std::uniform_int_distribution<int> noise(-3, 3);
  const int cols = block.Columns(), rows = block.Rows();
  for (int row = 0; row < rows; ++row)
    for (int col = 0; col < cols; ++col) {
      int r = 40 + 150 * col / cols, g = 60 + 120 * row / rows, b = 128;
      if (col > cols / 4 && col < 3 * cols / 4 && row > rows / 5 && row < rows / 2) {
        r = 230;
        g = 40;
        b = 30;
      }
      const int dx = col - cols / 2, dy = row - 2 * rows / 3;
      if (dx * dx + dy * dy < (cols * cols + rows * rows) / 40) {
        r = 20;
        g = 30;
        b = 200;
      }
      auto clamp = [](int v) { return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v); };
      block.Set(col, row, clamp(r + noise(random)), clamp(g + noise(random)), clamp(b + noise(random)));
    }
  return block;
}

// Float arrays of h rows with `stride` floats per row, surrounded by guard rows and columns; every
// float starts as a sentinel so that writes outside w x h can be detected.
struct SnapArrays {
  static constexpr float kSentinel = -12345.5f;
  static constexpr int kGuardRows = 2;

  int w = 0;
  int h = 0;
  int stride = 0;
  std::vector<float> x, y;

  SnapArrays(int width, int height, int extraStride)
      : w(width), h(height), stride(width + extraStride),
        x(std::size_t(stride) * (height + 2 * kGuardRows) + 2 * kGuardRows, kSentinel),
        y(x.size(), kSentinel) {}

  // First element of row 0; kGuardRows rows (and kGuardRows floats) of guard before it.
  std::size_t Origin() const { return std::size_t(stride) * kGuardRows + kGuardRows; }
  float* X() { return x.data() + Origin(); }
  float* Y() { return y.data() + Origin(); }
  float AtX(int col, int row) const { return x[Origin() + std::size_t(row) * stride + col]; }
  float AtY(int col, int row) const { return y[Origin() + std::size_t(row) * stride + col]; }

  bool InsideBlock(std::size_t index) const {
    if (index < Origin()) return false;
    const std::size_t offset = index - Origin();
    const std::size_t row = offset / stride, col = offset % stride;
    return row < std::size_t(h) && col < std::size_t(w);
  }
};

}  // namespace edge_snap_test
