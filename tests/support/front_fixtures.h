// Fixtures for the front tests: fronts given by signed distance functions, trees refined to
// single-pixel leaves along them, leaf lists with geometry, and a neighbour lookup done by point
// location (independent of the tree's own neighbour walk).
#pragma once
#include <cmath>
#include <cstring>
#include <functional>
#include <type_traits>
#include <vector>

#include "support/tree_builders.h"

namespace veldra_test {

struct LeafGeom {
  unsigned node;
  float cx, cy, edge;
};

// Leaves of root tiles [i0, i1) x [j0, j1), rows outer, each tile depth first.
inline std::vector<LeafGeom> leavesInTiles(const SLGrid2D& grid, int i0, int j0, int i1, int j1) {
  std::vector<LeafGeom> out;
  grid.forEachLeafInTiles(i0, j0, i1, j1, [&](unsigned n, float cx, float cy, float e) { out.push_back({n, cx, cy, e}); });
  return out;
}

// Every leaf of the tree, ghost tiles included, with geometry.
inline std::vector<LeafGeom> allLeafGeoms(const SLGrid2D& grid) {
  return leavesInTiles(grid, -grid.gi, -grid.gj, static_cast<int>(grid.ni) + grid.gi,
                       static_cast<int>(grid.nj) + grid.gj);
}

// Splits to single pixels every leaf that may come within `band` pixels of the zero set of sdf, then
// grades; further out the tree coarsens one level at a time.
template <typename Sdf>
void refineAlong(SLGrid2D& grid, Sdf&& sdf, float band, unsigned maxLevel = 8) {
  refineWhere(grid, [&](float cx, float cy, float e) { return std::fabs(sdf(cx, cy)) < band + 0.75f * e; }, maxLevel);
}

// The node of level <= maxLevelAllowed that contains point (px, py), found by descending from the
// root tile; NO_NODE outside the root block.
inline unsigned locateByPoint(const SLGrid2D& grid, float px, float py, unsigned maxLevelAllowed) {
  const int i = static_cast<int>(std::floor(px / grid.tileSizeF));
  const int j = static_cast<int>(std::floor(py / grid.tileSizeF));
  if (i < -grid.gi || j < -grid.gj || i >= static_cast<int>(grid.ni) + grid.gi || j >= static_cast<int>(grid.nj) + grid.gj)
    return NO_NODE;
  unsigned n = grid.rootIndex(i, j);
  float cx = (static_cast<float>(i) + 0.5f) * grid.tileSizeF, cy = (static_cast<float>(j) + 0.5f) * grid.tileSizeF;
  float e = grid.tileSizeF;
  while (grid.hasChildren(n) && grid.level(n) < maxLevelAllowed) {
    const unsigned k = (px >= cx ? 1u : 0u) + (py >= cy ? 2u : 0u);
    n = grid.child0(n) + k;
    cx += (k & 1u) ? e * 0.25f : -e * 0.25f;
    cy += (k & 2u) ? e * 0.25f : -e * 0.25f;
    e *= 0.5f;
  }
  return n;
}

// Neighbour across the edge in direction d (0 -x, 1 +x, 2 -y, 3 +y) at n's level or coarser, by point
// location at the centre of the same-size cell on the other side.
inline unsigned neighbourByPoint(const SLGrid2D& grid, unsigned n, int d) {
  float cx, cy, e;
  leafCentre(grid, n, &cx, &cy, &e);
  static constexpr float kDx[4] = {-1, 1, 0, 0}, kDy[4] = {0, 0, -1, 1};
  return locateByPoint(grid, cx + kDx[d] * e, cy + kDy[d] * e, grid.level(n));
}

// Bitwise snapshot of one channel over a list of nodes.
template <typename Channel>
auto snapshot(const Channel& channel, const std::vector<LeafGeom>& leaves) {
  std::vector<std::remove_reference_t<decltype(channel[0])>> out;
  out.reserve(leaves.size());
  for (const LeafGeom& l : leaves) out.push_back(channel[l.node]);
  return out;
}

inline bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Every half pixel of the 256-pixel root tile (i, j), its edges included: visit(x, y).
template <typename F>
void forEachHalfPixelOfTile(int i, int j, F&& visit) {
  for (float y = static_cast<float>(j) * 256.0f; y <= static_cast<float>(j) * 256.0f + 256.0f; y += 0.5f)
    for (float x = static_cast<float>(i) * 256.0f; x <= static_cast<float>(i) * 256.0f + 256.0f; x += 0.5f) visit(x, y);
}

}  // namespace veldra_test
