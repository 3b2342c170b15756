// The line edit: paints a capsule (a segment with a radius; a disc when both ends coincide) into the
// selection or into the region labels, refining the tree along its outline first and re-establishing
// the distance field around it afterwards.
#include <algorithm>
#include <cmath>

#include "common/parallel_rows.h"
#include "grid/line_edit_detail.h"

namespace VELDRA_TRW {

namespace {

// Cell size of a leaf in pixels, from its level.
float cellSize(const SLGrid2D& grid, unsigned n) {
  return static_cast<float>(grid.tileSize >> grid.level(n));
}

// A leaf is settled when the field already says, with a margin of one cell, what the edit would
// paint there; such leaves need no finer cells.
bool settled(const SLGrid2D& grid, unsigned n, unsigned char label, float c) {
  if (grid.useRegional != 0) return grid.regional[n] > c && grid.region[n] == label;
  if (label == 0) return grid.levelSet[n] < -c;
  if (label == 1) return grid.levelSet[n] > c;
  return true;
}

double pointToSegment(double px, double py, double ax, double ay, double bx, double by) {
  const double ux = bx - ax, uy = by - ay, l2 = ux * ux + uy * uy;
  double t = l2 > 0.0 ? ((px - ax) * ux + (py - ay) * uy) / l2 : 0.0;
  t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
  return std::hypot(px - (ax + t * ux), py - (ay + t * uy));
}

// Whether the segment a-b meets the closed rectangle [x0, x1] x [y0, y1] (clipping of the segment).
bool segmentMeetsRectangle(double ax, double ay, double bx, double by, double x0, double y0, double x1, double y1) {
  double t0 = 0.0, t1 = 1.0;
  const double d[2] = {bx - ax, by - ay}, start[2] = {ax, ay}, lo[2] = {x0, y0}, hi[2] = {x1, y1};
  for (int k = 0; k < 2; ++k) {
    if (d[k] == 0.0) {
      if (start[k] < lo[k] || start[k] > hi[k]) return false;
      continue;
    }
    double ta = (lo[k] - start[k]) / d[k], tb = (hi[k] - start[k]) / d[k];
    if (ta > tb) std::swap(ta, tb);
    t0 = ta > t0 ? ta : t0;
    t1 = tb < t1 ? tb : t1;
    if (t0 > t1) return false;
  }
  return true;
}

}  // namespace

// Bounds of the distance to the segment over the tile, in double: the nearest point is 0 when the
// segment meets the tile, else at a tile corner or a segment end; the farthest is at a corner (the
// distance to a segment is convex). No leaf of a far tile, whatever its size, is near the outline,
// before or after any split elsewhere.
bool TileFarFromOutline(const SLGrid2D& grid, const GeometryLine& shape, int i, int j, float margin) {
  const double ax = shape.x0, ay = shape.y0, bx = shape.x1, by = shape.y1, r = shape.radius;
  if (!std::isfinite(ax) || !std::isfinite(ay) || !std::isfinite(bx) || !std::isfinite(by) || !std::isfinite(r))
    return false;
  const double size = grid.tileSizeF, x0 = i * size, y0 = j * size, x1 = x0 + size, y1 = y0 + size;
  const double cornerX[4] = {x0, x1, x0, x1}, cornerY[4] = {y0, y0, y1, y1};
  double nearest = segmentMeetsRectangle(ax, ay, bx, by, x0, y0, x1, y1) ? 0.0 : HUGE_VAL, farthest = 0.0;
  for (int k = 0; k < 4; ++k) {
    const double c = pointToSegment(cornerX[k], cornerY[k], ax, ay, bx, by);
    nearest = c < nearest ? c : nearest;
    farthest = c > farthest ? c : farthest;
  }
  // The segment's ends against the rectangle.
  const auto toRectangle = [&](double px, double py) {
    const double dx = px < x0 ? x0 - px : (px > x1 ? px - x1 : 0.0);
    const double dy = py < y0 ? y0 - py : (py > y1 ? py - y1 : 0.0);
    return std::hypot(dx, dy);
  };
  nearest = std::min({nearest, toRectangle(ax, ay), toRectangle(bx, by)});
  // Single-precision distances err in proportion to the coordinates' size: widen the margin with it.
  const double scale = std::max({std::fabs(ax), std::fabs(ay), std::fabs(bx), std::fabs(by), std::fabs(r), x1, y1});
  const double slack = margin + 1e-5 * scale;
  return nearest - r >= slack || farthest - r <= -slack;
}

void LineEditRefine(SLGrid2D& grid, const GeometryLine& shape, unsigned char label, const TileBox& box) {
  const float reach = 0.1f * static_cast<float>(grid.tileSize);
  // A leaf is near within half its diagonal plus the reach; no leaf is larger than a tile.
  const float largestNear = static_cast<float>(grid.tileSize) * 0.5f * 1.414f + reach + 1.0f;
  for (int j = box.j0; j < box.j1; ++j)
    for (int i = box.i0; i < box.i1; ++i) {
      if (TileFarFromOutline(grid, shape, i, j, largestNear)) continue;
      // The walk enters the children of every leaf it splits, so refinement reaches the finest level.
      grid.forEachLeafInTile(i, j, SLGrid2D::kChildrenInOrder, [&](unsigned n, float cx, float cy, float) {
        const float c = cellSize(grid, n);
        const float d = shape.Distance(cx, cy, 0.0f);
        const bool near = std::fabs(d) < c * 0.5f * 1.414f + reach;
        if (near && grid.level(n) < grid.maxLevel && !settled(grid, n, label, c)) grid.SplitBalanced(n);
      });
    }
}

// Each leaf's new values depend on that leaf alone, so tiles are painted in parallel.
void LineEditPaint(SLGrid2D& grid, const GeometryLine& shape, unsigned char label, const TileBox& box) {
  const bool regional = grid.useRegional != 0;
  VELDRA_COMMON::parallelTiles(box.i0, box.j0, box.i1, box.j1, [&](int i, int j) {
    grid.forEachLeafInTile(i, j, SLGrid2D::kChildrenInOrder, [&](unsigned n, float cx, float cy, float) {
      const float d = shape.Distance(cx, cy, 0.0f);
      const float c = cellSize(grid, n);
      float& phi = grid.levelSet[n];
      if (label == 0) {
        if (d < 0.0f && phi >= 0.0f) phi = d;
        if (d >= 0.0f && d < 0.8f * c && phi > 0.0f) phi = d;
      } else if (label == 1) {
        if (d < 0.0f && phi <= 0.0f) phi = -d;
        if (d >= 0.0f && d < 0.8f * c && phi < 0.0f) phi = -d;
      }
      if (regional && d < 0.8f * c && grid.region[n] != label) {
        grid.region[n] = label;
        grid.regional[n] = std::fabs(d);
      }
    });
  });
}

void SLGrid2D::LineEdit(unsigned char label, const float start[2], const float end[2], float radius) {
  const GeometryLine shape(start[0], start[1], end[0], end[1], radius);
  const TileBox box = SegmentTileBox(*this, start[0], start[1], end[0], end[1], radius);
  LineEditRefine(*this, shape, label, box);
  // Splits link their children without the ROOT bit, so ROOT still marks exactly the root tiles: no
  // walk over the whole tree (whose cost grows with the image, not the brush) is needed to refresh it.
  LineEditPaint(*this, shape, label, box);
  RefreshBoundary(levelSet.data());
  if (useRegional != 0) {
    RefreshBoundary(regional.data());
    RefreshBoundary(region.data());
  }
  UpdateNarrowBand(box.i0, box.j0, box.i1, box.j1);
  Redistance(box.i0, box.j0, box.i1, box.j1);
  RefineGridForField(box.i0, box.j0, box.i1, box.j1);
}

}  // namespace VELDRA_TRW
