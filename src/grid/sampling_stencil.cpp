// Choosing the four stencil cells around a point of a leaf.
#include <cmath>

#include "grid/sampling_stencil.h"

#include "grid/child_steps.h"

#include "grid/leaf_window.h"
#include "grid/sampling_corners.h"

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

// v - floor(v). Offsets within a leaf lie in (-1, 1), where floor(v) is -1 below zero and a zero of
// v's sign otherwise, so the difference is v + 1 or v + 0 (which turns -0 into +0, as v - floor(v)
// does): the same bits without the library's general rounding. Anything else takes std::floor.
float fractionalPart(float v) {
  if (!(std::fabs(v) < 1.0f)) return v - std::floor(v);
  return v + (v < 0.0f ? 1.0f : 0.0f);
}

}  // namespace

void MoveStencilPoint(unsigned n, float lx, float ly, Stencil& s) {
  if (s.level == STENCIL_PARENT_LEVEL) {
    // The point in the parent's units.
    const unsigned k = n & 3u;
    s.sx = fractionalPart(child_steps::up(lx, k & 1u));
    s.sy = fractionalPart(child_steps::up(ly, k >> 1));
    return;
  }
  s.sx = fractionalPart(lx);
  s.sy = fractionalPart(ly);
}

namespace {

// LocateLeaf from the window's leaf, replayed on the window: the same arithmetic on the offsets, with
// child indices and child links read from the walk's blocks instead of the tree. Gives the leaf's
// level and its offset from the window's ancestor there, or false where the window does not reach
// (the point leaves the root tile, or lies in a leaf finer than the window's).
struct Located {
  unsigned node;
  int level, ox, oy;  // ox, oy: offset from the window's ancestor on `level` (within the window)
  float lx, ly;
  bool inWindow;      // false: a leaf finer than the window's leaf, found by descending the tree
};

bool LocateInWindow(const SLGrid2D& grid, const LeafWindow& w, float lx, float ly, Located& out) {
  int a = w.level();
  float x = lx, y = ly;
  while (std::fabs(x) > 0.5f || std::fabs(y) > 0.5f) {
    if (a == 0) return false;
    const unsigned k = w.childIndexAt(a);
    x = child_steps::up(x, k & 1u);
    y = child_steps::up(y, k >> 1);
    --a;
  }
  unsigned node = w.atLevel(a, 0, 0);
  int ox = 0, oy = 0;
  for (;;) {
    if (a == w.level()) {
      if (!grid.hasChildren(node)) break;
      // Below the window's level the descent goes on in the tree, as LocateLeaf's does.
      for (unsigned c = grid.child0(node); c != NO_NODE; c = grid.child0(node)) {
        const unsigned k = child_steps::childAt(x, y);
        node = c + k;
        x = child_steps::down(x, k & 1u);
        y = child_steps::down(y, k >> 1);
      }
      out = Located{node, static_cast<int>(grid.level(node)), 0, 0, x, y, false};
      return true;
    }
    const unsigned c = w.child0At(a, ox, oy);
    if (c == NO_NODE) break;
    const unsigned k = child_steps::childAt(x, y);
    x = child_steps::down(x, k & 1u);
    y = child_steps::down(y, k >> 1);
    node = c + k;
    ++a;
    const unsigned ka = w.childIndexAt(a);
    ox = 2 * ox + static_cast<int>(k & 1u) - static_cast<int>(ka & 1u);
    oy = 2 * oy + static_cast<int>(k >> 1) - static_cast<int>(ka >> 1);
    if (ox < -1 || ox > 1 || oy < -1 || oy > 1) return false;
  }
  out = Located{node, a, ox, oy, x, y, true};
  return true;
}

// The stencil whose B cell is at (bx, by) on `level` of the window, for the point (lx, ly) of leaf f;
// false unless all four cells are nodes of that level.
[[gnu::always_inline]] inline bool WindowCells(const SLGrid2D& grid, const LeafWindow& w, int level, int bx, int by,
                                               StencilLevel kind, const Located& f, Stencil& s) {
  unsigned cells[4];
  if (!w.squareAtLevel(level, bx, by, cells)) return false;
  unsigned mask = 0;
  for (int c = 0; c < 4; ++c) {
    s.cell[c] = cells[c];
    s.child0[c] = grid.child0(cells[c]);
    if (s.child0[c] != NO_NODE) mask |= 1u << c;
  }
  s.mask = mask;
  s.level = kind;
  MoveStencilPoint(f.node, f.lx, f.ly, s);
  return true;
}

// SameLevelStencil's walk from the located leaf passes only through the four cells and succeeds
// exactly when all of them are nodes of the leaf's level.
[[gnu::always_inline]] inline bool SameLevelStencilInWindow(const SLGrid2D& grid, const LeafWindow& w, const Located& f,
                                                            Stencil& s) {
  const int bx = f.ox - (f.lx < 0.0f ? 1 : 0), by = f.oy - (f.ly < 0.0f ? 1 : 0);
  return WindowCells(grid, w, f.level, bx, by, STENCIL_OWN_LEVEL, f, s);
}

// CoarseStencil from the located leaf f (level a > 0), read on the window at f's parent's level: p
// is f's parent, B is p or its -x / -y / diagonal neighbour by f's child index, and X, Y, D follow
// from B. When the four cells are nodes of the parent's level, the neighbour steps of CoarseStencil
// pass only through them, so they are its cells.
[[gnu::always_inline]] inline bool CoarseStencilInWindow(const SLGrid2D& grid, const LeafWindow& w, const Located& f,
                                                         Stencil& s) {
  if (f.level == 0) return false;
  const unsigned ka = w.childIndexAt(f.level);
  const int x = static_cast<int>(ka & 1u) + f.ox, y = static_cast<int>(ka >> 1) + f.oy;
  const int px = x >> 1, py = y >> 1;  // p's offset from the window's ancestor on the parent's level
  const int bx = px - ((x & 1) ? 0 : 1), by = py - ((y & 1) ? 0 : 1);
  return WindowCells(grid, w, f.level - 1, bx, by, STENCIL_PARENT_LEVEL, f, s);
}

}  // namespace

void FindStencilNear(const SLGrid2D& grid, const LeafWindow& w, float lx, float ly, Stencil& s) {
  Located f;
  if (!LocateInWindow(grid, w, lx, ly, f)) {
    unsigned n = w.at(0, 0);
    grid.LocateLeaf(n, lx, ly);
    FindStencil(grid, n, lx, ly, s);
    return;
  }
  if (!f.inWindow) {
    FindStencil(grid, f.node, f.lx, f.ly, s);
    return;
  }
  if (SameLevelStencilInWindow(grid, w, f, s) || CoarseStencilInWindow(grid, w, f, s)) return;
  FindStencil(grid, f.node, f.lx, f.ly, s);
}

void FindStencilAcrossFace(const SLGrid2D& grid, const LeafWindow& w, int ux, int uy, unsigned m, Stencil& s) {
  const int level = w.level();
  // A neighbour across a face of the parent (the only place a coarser one can be) on the parent's
  // level: the point's offset in m's units follows from the leaf's child index. Anything else (a
  // tree that is not graded) takes the general search.
  if (level > 0 && static_cast<int>(grid.level(m)) + 1 == level) {
    const unsigned k = w.childIndexAt(level);
    const float lx = ((k & 1u) ? 0.25f : -0.25f) - 0.5f * static_cast<float>(ux);
    const float ly = ((k & 2u) ? 0.25f : -0.25f) - 0.5f * static_cast<float>(uy);
    if (std::fabs(lx) <= 0.5f && std::fabs(ly) <= 0.5f) {
      // m is the window's entry at (ux, uy) around the leaf's parent.
      const Located f{m, level - 1, ux, uy, lx, ly, true};
      if (SameLevelStencilInWindow(grid, w, f, s) || CoarseStencilInWindow(grid, w, f, s)) return;
      FindStencil(grid, m, lx, ly, s);
      return;
    }
  }
  FindStencilNear(grid, w, static_cast<float>(ux), static_cast<float>(uy), s);
}

float InterpolateStencilOn(const Stencil& s, const float* channel) {
  if (s.mask != 0) return InterpolateSubdivided(s, channel);
  const float b = channel[s.cell[CELL_B]], x = channel[s.cell[CELL_X]];
  const float y = channel[s.cell[CELL_Y]], d = channel[s.cell[CELL_D]];
  return ((1.0f - s.sx) * b + s.sx * x) * (1.0f - s.sy) + ((1.0f - s.sx) * y + s.sx * d) * s.sy;
}

ValueRange StencilRange(const Stencil& s, const float* channel) {
  ValueRange r{channel[s.cell[0]], channel[s.cell[0]], true};
  const auto take = [&r](float v) {
    r.lo = v < r.lo ? v : r.lo;
    r.hi = v > r.hi ? v : r.hi;
    r.finite = r.finite && std::isfinite(v);
  };
  for (int c = 0; c < 4; ++c) {
    if (s.child0[c] == NO_NODE) {
      take(channel[s.cell[c]]);
    } else {
      for (unsigned k = 0; k < 4; ++k) take(channel[s.child0[c] + k]);
    }
  }
  return r;
}

void FindStencil(const SLGrid2D& grid, unsigned n, float lx, float ly, Stencil& s) {
  if (!SameLevelStencil(grid, n, lx, ly, s)) CoarseStencil(grid, n, lx, ly, s);
  s.mask = 0;
  for (int c = 0; c < 4; ++c) {
    s.child0[c] = grid.child0(s.cell[c]);
    if (s.child0[c] != NO_NODE) s.mask |= 1u << c;
  }
}

}  // namespace VELDRA_TRW::sampling
