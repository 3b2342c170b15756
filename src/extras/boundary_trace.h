// The selection's boundary as closed polygons: marching squares over the sample points of a
// rectangle, with vertices on the interpolated field's zero level.
#pragma once
#include <vector>

#include "grid/sl_grid.h"

namespace VELDRA_EXTRAS_CORE {

struct PathPoint {
  float x, y;
};
using Ring = std::vector<PathPoint>;

// Sample points (px, py) of the rectangle (x, y, w, h) are inside where the two-level read-out
// gives 255 (the level set at most 0; leaves it fills whole by their sign). Each ring separates
// inside points from outside ones; a vertex lies where the field crosses zero on the segment between
// two neighbouring points (the crossing of the two straight pieces through the segment's ends and its
// midpoint), never on a point itself. Points beyond the rectangle count as outside, so rings reaching
// its edge are closed half a pixel beyond its outermost points. Outer rings run counter-clockwise as
// displayed (negative signed area in image coordinates), holes clockwise; rings come in the order
// their first vertex is met scanning rows top down. The rectangle must lie inside the image.
std::vector<Ring> TraceBoundary(const VELDRA_TRW::SLGrid2D& grid, int x, int y, int w, int h);

}  // namespace VELDRA_EXTRAS_CORE
