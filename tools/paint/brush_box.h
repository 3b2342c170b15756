// The part of the image a brush event may change, and the colour block the library's edge snap
// computation needs for it: the box plus a margin of 12 pixels on every side. Header-only, so that
// the tests and benchmarks drive the library with the same host conventions as the paint tool.
#ifndef VELDRA_PAINT_BRUSH_BOX_H
#define VELDRA_PAINT_BRUSH_BOX_H

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "image.h"

namespace paint {

// Margin that ComputeEdgeSnapData reads around its block.
inline constexpr int kSnapMargin = 12;

struct PixelBox {
  int x = 0, y = 0, width = 0, height = 0;
  bool empty() const { return width <= 0 || height <= 0; }
};

// Bounding box of the brush disc (centre, radius in pixels), clipped to a width x height image.
// Empty only when the centre lies more than a radius outside the image.
inline PixelBox BrushBox(int centerX, int centerY, int radius, int width, int height) {
  const long long r = std::max(radius, 0);
  const long long x0 = std::max<long long>(centerX - r, 0), y0 = std::max<long long>(centerY - r, 0);
  const long long x1 = std::min<long long>(centerX + r, width - 1LL), y1 = std::min<long long>(centerY + r, height - 1LL);
  PixelBox box;
  if (x1 < x0 || y1 < y0) return box;
  box.x = static_cast<int>(x0);
  box.y = static_cast<int>(y0);
  box.width = static_cast<int>(x1 - x0 + 1);
  box.height = static_cast<int>(y1 - y0 + 1);
  return box;
}

// Copies box grown by margin pixels on every side from the image into block (resized to
// (box.width + 2 margin) x (box.height + 2 margin) RGBA pixels, packed rows); pixels outside the image
// repeat the nearest edge pixel. Image is any 4-byte-per-pixel image with width, height and at(x, y).
template <typename Image>
void CopyBlockWithMargin(const Image& image, const PixelBox& box, int margin, std::vector<std::uint8_t>* block) {
  const int bw = box.width + 2 * margin, bh = box.height + 2 * margin;
  block->resize(static_cast<std::size_t>(std::max(bw, 0)) * static_cast<std::size_t>(std::max(bh, 0)) * 4);
  if (image.width <= 0 || image.height <= 0 || bw <= 0 || bh <= 0) return;
  // Columns that fall inside the image are copied as one run; the rest repeat the edge pixel.
  const int left = box.x - margin;
  const int runStart = std::clamp(-left, 0, bw);
  const int runEnd = std::clamp(image.width - left, runStart, bw);
  for (int by = 0; by < bh; ++by) {
    const int sy = std::clamp(box.y - margin + by, 0, image.height - 1);
    std::uint8_t* out = block->data() + static_cast<std::size_t>(by) * bw * 4;
    const std::uint8_t* first = image.at(0, sy);
    const std::uint8_t* last = image.at(image.width - 1, sy);
    for (int bx = 0; bx < runStart; ++bx) std::memcpy(out + 4 * bx, first, 4);
    if (runEnd > runStart) std::memcpy(out + 4 * runStart, image.at(left + runStart, sy), 4 * static_cast<std::size_t>(runEnd - runStart));
    for (int bx = runEnd; bx < bw; ++bx) std::memcpy(out + 4 * bx, last, 4);
  }
}

}  // namespace paint

#endif  // VELDRA_PAINT_BRUSH_BOX_H
