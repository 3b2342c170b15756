// Choosing the four stencil cells around a point of a leaf.
#include <cmath>

#include "grid/sampling_stencil.h"

namespace VELDRA_TRW::sampling {
namespace {

// Cells whose centres surround the point, one level above n: used where n's own level is missing
// because that part of the tree is coarser. A cell coarser still stands in for its place.
void CoarseStencil(const SLGrid2D& grid, unsigned n, float lx, float ly, Stencil& s) {
  const unsigned p = grid.parent(n);
  if (p == NO_NODE) {  // a root has neighbours on its own level: reached only on a damaged tree
    s.cell[CELL_B] = s.cell[CELL_X] = s.cell[CELL_Y] = s.cell[CELL_D] = n;
    s.level = STENCIL_SELF;
    MoveStencilPoint(n, lx, ly, s);
    return;
  }
  auto orSelf = [n](unsigned m) { return m == NO_NODE ? n : m; };
  const unsigned k = n & 3u;
  unsigned b = (k & 1u) ? p : orSelf(grid.neighbour(p, DIR_MINUS_X));
  if ((k & 2u) == 0) b = orSelf(grid.neighbour(b, DIR_MINUS_Y));
  s.cell[CELL_B] = b;
  s.cell[CELL_X] = orSelf(grid.neighbour(b, DIR_PLUS_X));
  s.cell[CELL_Y] = orSelf(grid.neighbour(b, DIR_PLUS_Y));
  s.cell[CELL_D] = orSelf(grid.neighbour(s.cell[CELL_Y], DIR_PLUS_X));
  s.level = STENCIL_PARENT_LEVEL;
  MoveStencilPoint(n, lx, ly, s);
}

// Fills the cells of n's own level; false as soon as one of them lies on another level.
bool SameLevelStencil(const SLGrid2D& grid, unsigned n, float lx, float ly, Stencil& s) {
  const unsigned lev = grid.level(n);
  auto step = [&](unsigned from, Direction d, unsigned& to) {
    const unsigned m = grid.neighbour(from, d);
    to = m == NO_NODE ? n : m;
    return grid.level(to) == lev;
  };
  unsigned b = n;
  if (lx < 0.0f && !step(b, DIR_MINUS_X, b)) return false;
  if (ly < 0.0f && !step(b, DIR_MINUS_Y, b)) return false;
  s.cell[CELL_B] = b;
  if ((b & 3u) == 0 && lev > 0) {  // the siblings of a first child need no search
    s.cell[CELL_X] = b + 1;
    s.cell[CELL_Y] = b + 2;
    s.cell[CELL_D] = b + 3;
  } else {
    if (!step(b, DIR_PLUS_X, s.cell[CELL_X])) return false;
    if (!step(b, DIR_PLUS_Y, s.cell[CELL_Y])) return false;
    if (!step(s.cell[CELL_Y], DIR_PLUS_X, s.cell[CELL_D])) return false;
  }
  s.level = STENCIL_OWN_LEVEL;
  MoveStencilPoint(n, lx, ly, s);
  return true;
}

}  // namespace

void MoveStencilPoint(unsigned n, float lx, float ly, Stencil& s) {
  if (s.level == STENCIL_PARENT_LEVEL) {
    // The point in the parent's units.
    const unsigned k = n & 3u;
    const float px = (lx + ((k & 1u) ? 0.5f : -0.5f)) * 0.5f;
    const float py = (ly + ((k & 2u) ? 0.5f : -0.5f)) * 0.5f;
    s.sx = px - std::floor(px);
    s.sy = py - std::floor(py);
    return;
  }
  s.sx = lx - std::floor(lx);
  s.sy = ly - std::floor(ly);
}

void FindStencil(const SLGrid2D& grid, unsigned n, float lx, float ly, Stencil& s) {
  if (!SameLevelStencil(grid, n, lx, ly, s)) CoarseStencil(grid, n, lx, ly, s);
  s.mask = 0;
  for (int c = 0; c < 4; ++c)
    if (grid.hasChildren(s.cell[c])) s.mask |= 1u << c;
}

}  // namespace VELDRA_TRW::sampling
