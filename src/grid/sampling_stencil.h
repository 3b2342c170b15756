// The four-cell stencil of the interpolant: cells whose centres are the corners of a unit square that
// contains the sample point. B is the lower-x lower-y cell, X its +x neighbour, Y its +y neighbour and
// D the +x neighbour of Y. (sx, sy) is the point inside the square, each in [0, 1).
#pragma once
#include "grid/sl_grid.h"

namespace VELDRA_TRW::sampling {

enum StencilCell : int { CELL_B = 0, CELL_X = 1, CELL_Y = 2, CELL_D = 3 };

struct Stencil {
  unsigned cell[4];  // B, X, Y, D
  float sx, sy;
  // Bit c set when cell c has children (1 = B, 2 = X, 4 = Y, 8 = D).
  unsigned mask;
};

// Builds the stencil around offset (lx, ly) of leaf n (|lx|, |ly| <= 0.5). Uses cells of n's level
// when all four exist there, otherwise the stencil of n's parent's level.
void FindStencil(const SLGrid2D& grid, unsigned n, float lx, float ly, Stencil& s);

}  // namespace VELDRA_TRW::sampling
