// The phases of the line edit, exposed so that each can be checked on its own.
#pragma once
#include "grid/geometry.h"
#include "grid/sl_grid.h"
#include "grid/tile_box.h"

namespace VELDRA_TRW {

// Splits (graded) every leaf of the box near the shape's outline that is not yet settled for the
// label, continuing into the children just made, so the outline ends at the finest level.
void LineEditRefine(SLGrid2D& grid, const GeometryLine& shape, unsigned char label, const TileBox& box);

// True when no point of the square [x0, x0 + edge] x [y0, y0 + edge] lies within `margin` of the
// shape's outline (|distance| >= margin over the whole square, with room for single-precision error):
// the refinement walk passes over such squares.
bool SquareFarFromOutline(const GeometryLine& shape, double x0, double y0, double edge, float margin);

// True when every point of the square lies at least `margin` outside the shape (with the same room):
// the paint passes over such squares.
bool SquareOutsideShape(const GeometryLine& shape, double x0, double y0, double edge, float margin);

// The same as SquareFarFromOutline for root tile (i, j).
bool TileFarFromOutline(const SLGrid2D& grid, const GeometryLine& shape, int i, int j, float margin);

// Writes the shape's distance into the leaves of the box: label 0 adds, label 1 removes, label 2
// leaves the level set alone; with the regional level set the labels near and inside the shape are
// painted too.
void LineEditPaint(SLGrid2D& grid, const GeometryLine& shape, unsigned char label, const TileBox& box);

}  // namespace VELDRA_TRW
