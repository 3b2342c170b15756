// Extents of a stroke event's work: the root tiles that a host rectangle touches, and how many
// evolve / reinitialise / refine rounds a brush of a given radius runs.
#pragma once
#include <algorithm>
#include <cmath>

#include "common/index_bounds.h"
#include "grid/sl_grid.h"
#include "grid/tile_box.h"

namespace VELDRA_CORE {

using VELDRA_TRW::TileBox;

// Tiles of the pixel rectangle (x, y, width, height), clamped to the image's tiles. Single precision
// throughout; x + width is formed in integers. A rectangle of width or height 0 can still cover one
// tile through the ceiling. The floor and ceiling of integer pixel coordinates over 256 are whole
// numbers below 2^25, which the conversion to 64 bits keeps exactly.
inline TileBox TileRangeOf(const VELDRA_TRW::SLGrid2D& grid, int x, int y, int width, int height) {
  using VELDRA_COMMON::clampToCount;
  const float s = grid.invTileSize;
  const auto lower = [s](int p) {
    return static_cast<long long>(std::floor((static_cast<float>(p) * s - 0.5f) + 0.5f));
  };
  const auto upper = [s](long long p) {
    return static_cast<long long>(std::ceil((static_cast<float>(p) * s - 0.5f) + 0.5f));
  };
  return TileBox{clampToCount(lower(x), grid.ni), clampToCount(lower(y), grid.nj),
                 clampToCount(upper(static_cast<long long>(x) + width), grid.ni),
                 clampToCount(upper(static_cast<long long>(y) + height), grid.nj)};
}

// trunc(max(log2(radius) - 4, 1)) in single precision: 1 below 64 pixels, one more per doubling.
inline int IterationCount(float brushRadius) {
  const float n = std::log(brushRadius) / std::log(2.0f) - 4.0f;
  if (!(n >= 1.0f)) return 1;  // also for a radius of 0 (log is -inf)
  return static_cast<int>(std::min(n, 64.0f));
}

}  // namespace VELDRA_CORE
