// Extents of a stroke event's work: the root tiles that a host rectangle touches, and how many
// evolve / reinitialise / refine rounds a brush of a given radius runs.
#pragma once
#include <algorithm>
#include <cmath>

#include "grid/sl_grid.h"

namespace VELDRA_CORE {

// Root tiles [i0, i1) x [j0, j1), clamped to the image's tiles.
struct TileRange {
  int i0, j0, i1, j1;
};

// Tiles of the pixel rectangle (x, y, width, height). Single precision throughout; x + width is formed
// in integers. A rectangle of width or height 0 can still cover one tile through the ceiling.
inline TileRange TileRangeOf(const VELDRA_TRW::SLGrid2D& grid, int x, int y, int width, int height) {
  const float s = grid.invTileSize;
  const auto lower = [s](int p) { return std::floor((static_cast<float>(p) * s - 0.5f) + 0.5f); };
  const auto upper = [s](long long p) { return std::ceil((static_cast<float>(p) * s - 0.5f) + 0.5f); };
  const auto clampTo = [](float v, unsigned n) {
    // Out-of-range floats are clamped before the conversion so that it stays defined.
    return static_cast<int>(std::clamp(v, 0.0f, static_cast<float>(n)));
  };
  return TileRange{clampTo(lower(x), grid.ni), clampTo(lower(y), grid.nj),
                   clampTo(upper(static_cast<long long>(x) + width), grid.ni),
                   clampTo(upper(static_cast<long long>(y) + height), grid.nj)};
}

// trunc(max(log2(radius) - 4, 1)) in single precision: 1 below 64 pixels, one more per doubling.
inline int IterationCount(float brushRadius) {
  const float n = std::log(brushRadius) / std::log(2.0f) - 4.0f;
  if (!(n >= 1.0f)) return 1;  // also for a radius of 0 (log is -inf)
  return static_cast<int>(std::min(n, 64.0f));
}

}  // namespace VELDRA_CORE
