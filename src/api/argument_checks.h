// Checks of the host's arguments at the exported boundary: image sizes the grid can hold, rectangles
// cut to the image, and edge-snap values the evolution can use. Everything a call accepts here is
// handed on unchanged when it is within the calling contract.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "grid/sl_grid.h"

namespace VELDRA_CORE {

// Sides below 0 count as 0. The squared diagonal w * w + h * h must stay below 2^32: the grid sizes
// its level count from it, and larger images (sides above 46340 for a square) are not supported.
inline bool SupportedImageSize(int width, int height) {
  const std::uint64_t w = width > 0 ? static_cast<std::uint64_t>(width) : 0;
  const std::uint64_t h = height > 0 ? static_cast<std::uint64_t>(height) : 0;
  return w * w + h * h < (std::uint64_t{1} << 32);
}

// A host rectangle cut to the image [0, imageWidth) x [0, imageHeight), and where its first pixel
// lies in the host's arrays that describe the original rectangle.
struct ClippedRect {
  int x = 0, y = 0, w = 0, h = 0;
  int skipColumns = 0, skipRows = 0;
};

// False for a negative size and for a rectangle that lies wholly outside the image (a rectangle of
// width or height 0 is accepted where it touches the image). A rectangle inside the image is
// returned unchanged.
inline bool ClipToImage(int x, int y, int w, int h, int imageWidth, int imageHeight, ClippedRect& out) {
  if (w < 0 || h < 0) return false;
  const long long x1 = static_cast<long long>(x) + w, y1 = static_cast<long long>(y) + h;
  if (x1 < 0 || y1 < 0 || x > imageWidth || y > imageHeight) return false;
  if ((w > 0 && (x1 <= 0 || x >= imageWidth)) || (h > 0 && (y1 <= 0 || y >= imageHeight))) return false;
  const int cx0 = std::max(x, 0), cy0 = std::max(y, 0);
  const int cx1 = static_cast<int>(std::min<long long>(x1, imageWidth));
  const int cy1 = static_cast<int>(std::min<long long>(y1, imageHeight));
  out = ClippedRect{cx0, cy0, cx1 - cx0, cy1 - cy0, cx0 - x, cy0 - y};
  return true;
}

// True when the pixel rectangle lies within the image's root tiles (the image rounded up to whole
// tiles), the part of the grid where every pixel has a leaf of its own tile row and column.
inline bool WithinRootTiles(int x, int y, int w, int h, const VELDRA_TRW::SLGrid2D& grid) {
  const long long tile = grid.tileSize;
  return x >= 0 && y >= 0 && w >= 0 && h >= 0 &&
         static_cast<long long>(x) + w <= static_cast<long long>(grid.ni) * tile &&
         static_cast<long long>(y) + h <= static_cast<long long>(grid.nj) * tile;
}

// Whether a w x h block of a host buffer, element (column, row) at column + row * stride from the
// first, can be used: every offset fits 32-bit signed arithmetic (the offsets are computed so), and,
// unless rowsMayOverlap, rows are distinct (|stride| >= w when h > 1). Negative strides (rows stored
// bottom-up) are accepted.
inline bool BufferRowsUsable(int w, int h, int stride, bool rowsMayOverlap) {
  if (w <= 0 || h <= 0) return true;
  const long long step = std::llabs(static_cast<long long>(stride));
  if (!rowsMayOverlap && h > 1 && step < w) return false;
  return static_cast<long long>(h - 1) * step + (w - 1) <= INT32_MAX;
}

// Edge-snap values are finite and far below the range where the evolution's products could
// overflow (real data are differences of colour edge strengths, many orders of magnitude smaller).
inline constexpr float kLargestSnapValue = 1e30f;

// True when every value of the block [x0, x1) x [y0, y1) of an array with `stride` floats per row is
// usable. An empty block is usable.
inline bool UsableSnapValues(const float* values, int stride, int x0, int y0, int x1, int y1) {
  for (int row = y0; row < y1; ++row) {
    const float* p = values + static_cast<std::ptrdiff_t>(row) * stride;
    // An integer flag rather than a bool lets the compiler test a row with vector compares.
    unsigned unusable = 0;
    for (int col = x0; col < x1; ++col) unusable |= std::fabs(p[col]) <= kLargestSnapValue ? 0u : 1u;  // NaN too
    if (unusable != 0) return false;
  }
  return true;
}

}  // namespace VELDRA_CORE
