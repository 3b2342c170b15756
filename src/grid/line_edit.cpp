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
  if (label == REGION_INSIDE) return grid.levelSet[n] < -c;
  if (label == REGION_OUTSIDE) return grid.levelSet[n] > c;
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

namespace {

// Bounds of the distance to the shape (the segment's distance minus the radius) over a square, in
// double, with the allowance for the single-precision distances the leaf tests compute.
struct SquareDistanceBounds {
  double nearest, farthest, error;
};

// The nearest point is 0 when the segment meets the square, else at a corner or a segment end; the
// farthest is at a corner (the distance to a segment is convex). False for coordinates that are not
// finite, where nothing is bounded.
bool BoundSquare(const GeometryLine& shape, double x0, double y0, double edge, SquareDistanceBounds& out) {
  const double ax = shape.x0, ay = shape.y0, bx = shape.x1, by = shape.y1, r = shape.radius;
  if (!std::isfinite(ax) || !std::isfinite(ay) || !std::isfinite(bx) || !std::isfinite(by) || !std::isfinite(r))
    return false;
  const double x1 = x0 + edge, y1 = y0 + edge;
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
    return std::sqrt(dx * dx + dy * dy);
  };
  nearest = std::min({nearest, toRectangle(ax, ay), toRectangle(bx, by)});
  // Single-precision distances err in proportion to the coordinates' size.
  const double scale = std::max({std::fabs(ax), std::fabs(ay), std::fabs(bx), std::fabs(by), std::fabs(r),
                                 std::fabs(x0), std::fabs(y0), std::fabs(x1), std::fabs(y1)});
  out = SquareDistanceBounds{nearest - r, farthest - r, 1e-5 * scale};
  return true;
}

}  // namespace

// No leaf inside a far square, whatever its size, is near the outline, before or after any split
// elsewhere.
bool SquareFarFromOutline(const GeometryLine& shape, double x0, double y0, double edge, float margin) {
  SquareDistanceBounds b;
  if (!BoundSquare(shape, x0, y0, edge, b)) return false;
  const double slack = margin + b.error;
  return b.nearest >= slack || b.farthest <= -slack;
}

bool SquareOutsideShape(const GeometryLine& shape, double x0, double y0, double edge, float margin) {
  SquareDistanceBounds b;
  return BoundSquare(shape, x0, y0, edge, b) && b.nearest >= margin + b.error;
}

bool TileFarFromOutline(const SLGrid2D& grid, const GeometryLine& shape, int i, int j, float margin) {
  const double size = grid.tileSizeF;
  return SquareFarFromOutline(shape, i * size, j * size, size, margin);
}

namespace {

// Half a diagonal plus the reach: a leaf of edge `edge` is near when the outline passes within it.
float nearMargin(float edge, float reach) { return edge * 0.5f * 1.414f + reach; }

// A square of the walk: a node with its centre and edge.
struct Square {
  unsigned node;
  float cx, cy, edge;
};

// Depth first from `start`, children in index order, as forEachLeafInTile: a square for which
// passOver(square, isLeaf) holds is not entered; every other leaf goes to visitLeaf, and the walk
// goes on into its children when it has some afterwards (the refinement splits as it goes).
template <typename PassOver, typename VisitLeaf>
void walkSquares(const SLGrid2D& grid, const Square& start, PassOver&& passOver, VisitLeaf&& visitLeaf) {
  Square stack[kWalkStackCapacity];
  int depth = 0;
  stack[depth++] = start;
  while (depth > 0) {
    const Square e = stack[--depth];
    const bool leaf = !grid.hasChildren(e.node);
    if (passOver(e, leaf)) continue;
    if (leaf) {
      visitLeaf(e);
      if (!grid.hasChildren(e.node)) continue;
    }
    const unsigned c = grid.child0(e.node);
    const float half = e.edge * 0.5f, quarter = e.edge * 0.25f;
    for (int s = 3; s >= 0; --s) {
      const unsigned k = SLGrid2D::kChildrenInOrder[s];
      stack[depth++] = Square{c + k, (k & 1u) ? e.cx + quarter : e.cx - quarter,
                              (k & 2u) ? e.cy + quarter : e.cy - quarter, half};
    }
  }
}

}  // namespace

void LineEditRefine(SLGrid2D& grid, const GeometryLine& shape, unsigned char label, const TileBox& box) {
  const float reach = 0.1f * static_cast<float>(grid.tileSize);
  // Squares of at least this edge are tested as a whole before their leaves are: below it a test
  // costs more than the leaves it could skip.
  constexpr float kPrunedEdge = 16.0f;
  for (int j = box.j0; j < box.j1; ++j)
    for (int i = box.i0; i < box.i1; ++i) {
      // No leaf inside a square is larger than the square: a far square holds no near leaf.
      const float tileEdge = grid.tileSizeF;
      if (TileFarFromOutline(grid, shape, i, j, nearMargin(tileEdge, reach) + 1.0f)) continue;
      // Leaves split as they are reached and their children are entered, so that refinement
      // reaches the finest level; far squares below the root are passed over.
      const auto farSquare = [&](const Square& e, bool leaf) {
        const float half = e.edge * 0.5f;
        return !leaf && e.edge >= kPrunedEdge && e.edge < tileEdge &&
               SquareFarFromOutline(shape, e.cx - half, e.cy - half, e.edge, nearMargin(e.edge, reach) + 1.0f);
      };
      const Square root{grid.rootIndex(i, j), (static_cast<float>(i) + 0.5f) * tileEdge,
                        (static_cast<float>(j) + 0.5f) * tileEdge, tileEdge};
      walkSquares(grid, root, farSquare, [&](const Square& e) {
        const float c = cellSize(grid, e.node);
        const float d = shape.Distance(e.cx, e.cy, 0.0f);
        const bool near = std::fabs(d) < nearMargin(c, reach);
        if (near && grid.level(e.node) < grid.maxLevel && !settled(grid, e.node, label, c)) grid.SplitBalanced(e.node);
      });
    }
}

namespace {

// What the paint does to one leaf (centre cx, cy, cell size c): nothing where the shape's distance d
// is at least 0.8 c.
void PaintLeaf(SLGrid2D& grid, const GeometryLine& shape, unsigned char label, bool regional, unsigned n, float cx,
               float cy) {
  const float d = shape.Distance(cx, cy, 0.0f);
  const float c = cellSize(grid, n);
  float& phi = grid.levelSet[n];
  if (label == REGION_INSIDE) {
    if (d < 0.0f && phi >= 0.0f) phi = d;
    if (d >= 0.0f && d < 0.8f * c && phi > 0.0f) phi = d;
  } else if (label == REGION_OUTSIDE) {
    if (d < 0.0f && phi <= 0.0f) phi = -d;
    if (d >= 0.0f && d < 0.8f * c && phi < 0.0f) phi = -d;
  }
  if (regional && d < 0.8f * c && grid.region[n] != label) {
    grid.region[n] = label;
    grid.regional[n] = std::fabs(d);
  }
}

}  // namespace

// Each leaf's new values depend on that leaf alone, so quarters of tiles are painted in parallel.
// Squares that no painted leaf lies in are passed over, most of the box's tiles among them: a leaf of
// edge e changes only where the shape's distance at its centre is below 0.8 e, and its centre lies e/2
// inside any square holding it, so the distance there is at least the square's plus e/2. No leaf is
// larger than the square, so a square lying 0.3 of its edge outside the shape (and the allowance for
// single-precision distances) holds no leaf that changes.
void LineEditPaint(SLGrid2D& grid, const GeometryLine& shape, unsigned char label, const TileBox& box) {
  constexpr float kPrunedEdge = 16.0f;  // as in the refinement walk: smaller squares are not tested
  const bool regional = grid.useRegional != 0;
  const auto passedOver = [&](const Square& e, bool) {
    const float half = e.edge * 0.5f;
    return e.edge >= kPrunedEdge && SquareOutsideShape(shape, e.cx - half, e.cy - half, e.edge, 0.3f * e.edge + 1.0f);
  };
  VELDRA_COMMON::parallelTileQuadrants(box.i0, box.j0, box.i1, box.j1, [&](int i, int j, int q) {
    const unsigned root = grid.rootIndex(i, j);
    const float tileEdge = grid.tileSizeF, quarter = tileEdge * 0.25f;
    const float tileX = (static_cast<float>(i) + 0.5f) * tileEdge, tileY = (static_cast<float>(j) + 0.5f) * tileEdge;
    const auto paint = [&](const Square& e) { PaintLeaf(grid, shape, label, regional, e.node, e.cx, e.cy); };
    if (!grid.hasChildren(root)) {
      if (q == 0) walkSquares(grid, Square{root, tileX, tileY, tileEdge}, passedOver, paint);
      return;
    }
    const Square quadrant{grid.child0(root) + static_cast<unsigned>(q), (q & 1) ? tileX + quarter : tileX - quarter,
                          (q & 2) ? tileY + quarter : tileY - quarter, tileEdge * 0.5f};
    walkSquares(grid, quadrant, passedOver, paint);
  });
}

void SLGrid2D::LineEdit(unsigned char label, const float start[2], const float end[2], float radius) {
  const GeometryLine shape(start[0], start[1], end[0], end[1], radius);
  const TileBox box = SegmentTileBox(*this, start[0], start[1], end[0], end[1], radius);
  LineEditRefine(*this, shape, label, box);
  // Splits link their children without the ROOT bit, so ROOT still marks exactly the root tiles: no
  // walk over the whole tree (whose cost grows with the image, not the brush) is needed to refresh it.
  LineEditPaint(*this, shape, label, box);
  RefreshBoundaryAfter(levelSet.data(), box.i0, box.j0, box.i1, box.j1);
  if (useRegional != 0) {
    RefreshBoundaryAfter(regional.data(), box.i0, box.j0, box.i1, box.j1);
    RefreshBoundaryAfter(region.data(), box.i0, box.j0, box.i1, box.j1);
  }
  UpdateNarrowBandAndRedistance(box.i0, box.j0, box.i1, box.j1);
  RefineGridForField(box.i0, box.j0, box.i1, box.j1);
}

}  // namespace VELDRA_TRW
