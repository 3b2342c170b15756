// The line edit: paints a capsule (a segment with a radius; a disc when both ends coincide) into the
// selection or into the region labels, refining the tree along its outline first and re-establishing
// the distance field around it afterwards.
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

}  // namespace

void LineEditRefine(SLGrid2D& grid, const GeometryLine& shape, unsigned char label, const TileBox& box) {
  const float reach = 0.1f * static_cast<float>(grid.tileSize);
  // The walk enters the children of every leaf it splits, so refinement reaches the finest level.
  grid.forEachLeafInTiles(box.i0, box.j0, box.i1, box.j1, [&](unsigned n, float cx, float cy, float) {
    const float c = cellSize(grid, n);
    const float d = shape.Distance(cx, cy, 0.0f);
    const bool near = std::fabs(d) < c * 0.5f * 1.414f + reach;
    if (near && grid.level(n) < grid.maxLevel && !settled(grid, n, label, c)) grid.SplitBalanced(n);
  });
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
  updateRootFlags();
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
