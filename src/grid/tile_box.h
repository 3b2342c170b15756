// Root-tile boxes around the brush shapes of the regional level set and the line edit: the tiles of a
// segment (or a point) grown by two tiles beyond the radius, clamped to the image's tiles.
#pragma once
#include <algorithm>
#include <cmath>

#include "grid/sl_grid.h"

namespace VELDRA_TRW {

struct TileBox {
  int i0, j0, i1, j1;  // tiles [i0, i1) x [j0, j1)
};

// Truncation toward zero that stays defined for any float (NaN gives 0); values far beyond any tile
// index are cut to +-2^30.
inline int truncToTile(float v) {
  if (!(v == v)) return 0;
  return static_cast<int>(std::clamp(v, -1073741824.0f, 1073741824.0f));
}

// Tiles from the segment (ax, ay) - (bx, by) with pad = trunc(radius / 256) + 2: columns
// min(a, b) - pad up to max(a, b) + 1 + pad (exclusive), a and b the point's trunc(x / 256 - 0.5);
// rows likewise; every bound clamped to the image's tiles.
inline TileBox SegmentTileBox(const SLGrid2D& grid, float ax, float ay, float bx, float by, float radius) {
  const float s = grid.invTileSize;
  const int pad = truncToTile(s * radius) + 2;
  const int ia = truncToTile(s * ax - 0.5f), ib = truncToTile(s * bx - 0.5f);
  const int ja = truncToTile(s * ay - 0.5f), jb = truncToTile(s * by - 0.5f);
  const auto clampTo = [](long long v, unsigned n) {
    return static_cast<int>(std::clamp(v, 0LL, static_cast<long long>(n)));
  };
  return TileBox{clampTo(static_cast<long long>(std::min(ia, ib)) - pad, grid.ni),
                 clampTo(static_cast<long long>(std::min(ja, jb)) - pad, grid.nj),
                 clampTo(static_cast<long long>(std::max(ia, ib)) + 1 + pad, grid.ni),
                 clampTo(static_cast<long long>(std::max(ja, jb)) + 1 + pad, grid.nj)};
}

}  // namespace VELDRA_TRW
