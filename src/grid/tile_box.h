// Boxes of root tiles: the one type for a range of tiles that an operation works on; the box around
// the brush shapes of the regional level set and the line edit (the tiles of a segment, or a point,
// grown by two tiles beyond the radius, clamped to the image's tiles); and the test that lets the
// evolution pass over tiles its ring does not reach.
#pragma once
#include <algorithm>
#include <cmath>

#include "common/index_bounds.h"
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

struct TileBox {
  int i0, j0, i1, j1;  // tiles [i0, i1) x [j0, j1)
};

// Tiles from the segment (ax, ay) - (bx, by) with pad = trunc(radius / 256) + 2: columns
// min(a, b) - pad up to max(a, b) + 1 + pad (exclusive), a and b the point's trunc(x / 256 - 0.5);
// rows likewise; every bound clamped to the image's tiles.
inline TileBox SegmentTileBox(const SLGrid2D& grid, float ax, float ay, float bx, float by, float radius) {
  using VELDRA_COMMON::clampToCount;
  using VELDRA_COMMON::truncToIndex;
  const float s = grid.invTileSize;
  const int pad = truncToIndex(s * radius) + 2;
  const int ia = truncToIndex(s * ax - 0.5f), ib = truncToIndex(s * bx - 0.5f);
  const int ja = truncToIndex(s * ay - 0.5f), jb = truncToIndex(s * by - 0.5f);
  return TileBox{clampToCount(static_cast<long long>(std::min(ia, ib)) - pad, grid.ni),
                 clampToCount(static_cast<long long>(std::min(ja, jb)) - pad, grid.nj),
                 clampToCount(static_cast<long long>(std::max(ia, ib)) + 1 + pad, grid.ni),
                 clampToCount(static_cast<long long>(std::max(ja, jb)) + 1 + pad, grid.nj)};
}

// True when no point of root tile (i, j) lies in the ring r <= d <= R around (x, y), d the distance
// to the centre: the tile then holds no ring leaf. Bounds in double over the whole tile, with slack
// for the single-precision distances of the leaf test.
inline bool TileMissesRing(const SLGrid2D& grid, int i, int j, float x, float y, float r, float R) {
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(r) || !std::isfinite(R)) return false;
  const double size = grid.tileSizeF, x0 = i * size, y0 = j * size, x1 = x0 + size, y1 = y0 + size;
  const double dx = x < x0 ? x0 - x : (x > x1 ? x - x1 : 0.0), dy = y < y0 ? y0 - y : (y > y1 ? y - y1 : 0.0);
  const double nearest = std::hypot(dx, dy);
  const double farthest =
      std::hypot(std::max(std::fabs(x - x0), std::fabs(x - x1)), std::max(std::fabs(y - y0), std::fabs(y - y1)));
  const double slack = 1.0 + 1e-5 * std::max({std::fabs(static_cast<double>(x)), std::fabs(static_cast<double>(y)),
                                               std::fabs(static_cast<double>(R)), x1, y1});
  return nearest > R + slack || farthest < r - slack;
}

}  // namespace VELDRA_TRW
