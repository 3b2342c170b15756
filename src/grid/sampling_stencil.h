// The four-cell stencil of the interpolant: cells whose centres are the corners of a unit square that
// contains the sample point. B is the lower-x lower-y cell, X its +x neighbour, Y its +y neighbour and
// D the +x neighbour of Y. (sx, sy) is the point inside the square, each in [0, 1).
#pragma once
#include "grid/sl_grid.h"

namespace VELDRA_TRW {
class LeafWindow;
}

namespace VELDRA_TRW::sampling {

enum StencilCell : int { CELL_B = 0, CELL_X = 1, CELL_Y = 2, CELL_D = 3 };

// Which cells a stencil uses: n's own level, its parent's level, or (on a damaged tree) n alone.
enum StencilLevel : unsigned char { STENCIL_OWN_LEVEL = 0, STENCIL_PARENT_LEVEL = 1, STENCIL_SELF = 2 };

struct Stencil {
  unsigned cell[4];  // B, X, Y, D
  float sx, sy;
  // Bit c set when cell c has children (1 = B, 2 = X, 4 = Y, 8 = D).
  unsigned mask;
  unsigned child0[4];  // each cell's first child, NO_NODE for a leaf
  unsigned char level;  // a StencilLevel
};

// Builds the stencil around offset (lx, ly) of leaf n (|lx|, |ly| <= 0.5). Uses cells of n's level
// when all four exist there, otherwise the stencil of n's parent's level.
void FindStencil(const SLGrid2D& grid, unsigned n, float lx, float ly, Stencil& s);

// LocateLeaf and FindStencil for the point at (lx, ly) from the leaf of window w (offsets in that
// leaf's units, as InterpolateAt takes them): exactly their stencil, read from the window where it
// reaches.
void FindStencilNear(const SLGrid2D& grid, const LeafWindow& w, float lx, float ly, Stencil& s);

// FindStencilNear for the point one edge length from the window's leaf in direction (ux, uy), a unit
// step, where the leaf's neighbour there is m, a coarser leaf: the point lies in m at a quarter of its
// edge from its centre along both axes, which every step of the point location computes exactly, so
// the search is skipped and the stencil found around m from the window.
void FindStencilAcrossFace(const SLGrid2D& grid, const LeafWindow& w, int ux, int uy, unsigned m, Stencil& s);

// The interpolant of a stencil on one channel.
float InterpolateStencilOn(const Stencil& s, const float* channel);

// Least and greatest value of a channel among a stencil's cells, or their children where a cell has
// them. The interpolant over the stencil's square is a weighted mean of these (weights at least 0), so
// it stays within them up to its rounding. `finite` tells whether every one of them is finite (the
// comparisons pass over NaN values).
struct ValueRange {
  float lo, hi;
  bool finite;
};
ValueRange StencilRange(const Stencil& s, const float* channel);

// The cells (and mask and level) of FindStencil depend on the point only through the signs of
// lx < 0 and ly < 0: within one quadrant of leaf n a stencil found once can be moved to another
// point by recomputing (sx, sy), exactly as FindStencil would.
void MoveStencilPoint(unsigned n, float lx, float ly, Stencil& s);

}  // namespace VELDRA_TRW::sampling
