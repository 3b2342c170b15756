// Graded splitting: before a leaf's children exist, every leaf around its parent (edges and corners)
// is split, recursively, so that no leaf ever touches a leaf two levels finer. On a tree that is
// graded before the call, the neighbours looked up here are at the parent's level, so the recursion
// always moves to a strictly coarser node and is bounded by maxLevel.
#include "grid/group_index_detail.h"
#include "grid/sl_grid.h"

namespace VELDRA_TRW {
namespace {

void splitGraded(SLGrid2D& grid, unsigned c, bool recordFirstChild) {
  const auto splitIfLeaf = [&](unsigned m) {
    if (m != NO_NODE && !grid.hasChildren(m)) splitGraded(grid, m, recordFirstChild);
  };
  for (;;) {
    // The lock is taken per group: the allocator may grow, which moves every pool's data, so values
    // are read through the pools only after the allocation.
    const unsigned g = grid.nodes.allocateGroupLocked();
    grid.linkChildren(c, g);
    const float value = grid.levelSet[c];
    for (unsigned k = 0; k < 4; ++k) grid.levelSet[g + k] = value;
    if (grid.useRegional) {
      const float regional = grid.regional[c];
      const unsigned char label = grid.region[c];
      for (unsigned k = 0; k < 4; ++k) {
        grid.regional[g + k] = regional;
        grid.region[g + k] = label;
      }
    }
    if (recordFirstChild) group_index::store(grid.temp[c], g);

    const unsigned p = grid.parent(c);
    if (p == NO_NODE) return;
    const unsigned west = grid.neighbour(p, DIR_MINUS_X);
    splitIfLeaf(west);
    const unsigned east = grid.neighbour(p, DIR_PLUS_X);
    splitIfLeaf(east);
    splitIfLeaf(grid.neighbour(p, DIR_MINUS_Y));
    splitIfLeaf(grid.neighbour(p, DIR_PLUS_Y));
    if (west != NO_NODE) {
      splitIfLeaf(grid.neighbour(west, DIR_MINUS_Y));
      splitIfLeaf(grid.neighbour(west, DIR_PLUS_Y));
    }
    if (east == NO_NODE) return;
    splitIfLeaf(grid.neighbour(east, DIR_MINUS_Y));
    // The last corner continues the loop instead of recursing.
    const unsigned corner = grid.neighbour(east, DIR_PLUS_Y);
    if (corner == NO_NODE || grid.hasChildren(corner)) return;
    c = corner;
  }
}

}  // namespace

void SLGrid2D::SplitBalanced(unsigned n, bool recordFirstChild) {
  if (!hasBlock() || n >= nodes.capacity() || nodes.prevLink(n & ~3u) != USED_GROUP) return;
  if (hasChildren(n) || level(n) >= maxLevel) return;
  splitGraded(*this, n, recordFirstChild);
}

}  // namespace VELDRA_TRW
