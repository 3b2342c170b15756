// The nodes around a leaf, read from what a top-down walk already knows instead of climbing the tree.
//
// Offsets (ox, oy) count cells of a given level from a node on that level; the entry at an offset is
// the node of that level covering that place, or the coarser leaf covering it where the tree is
// coarser there, or NO_NODE beyond the outer edge of the ghost border. The entries at one-cell edge
// offsets are exactly what neighbour() gives.
//
// The walk keeps, for every ancestor of the current leaf, the 3 x 3 block of entries around it
// together with their first children. A node's entries up to two cells away lie in its parent's 3 x 3
// block, so the leaf's 5 x 5 window, and each ancestor's, costs a few array reads per entry.
#pragma once
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

// A leaf's neighbours across its four edges in Direction order (-x, +x, -y, +y), each with whether it
// is a node of the leaf's level: what a leaf's visitor reads most, so it looks them up once.
struct EdgeNeighbours {
  unsigned node[4];
  bool onLevel[4];
};

// The 3 x 3 entries around one node of the walk ([oy + 1][ox + 1]), each entry's child0, and the
// node's child index within its parent.
struct NodeBlock {
  unsigned node[3][3];
  unsigned child0[3][3];
  unsigned k;
};

// Levels 0 .. maxLevel of one walk; a tree never exceeds the grid's finest level.
inline constexpr int kWindowLevels = 16;

class LeafWindow {
 public:
  LeafWindow(const SLGrid2D& grid, const NodeBlock* blocks, int level, unsigned k, int ti, int tj)
      : grid_(grid), blocks_(blocks), parent_(level > 0 ? blocks + (level - 1) : nullptr), level_(level), k_(k),
        ti_(ti), tj_(tj) {}

  int level() const { return level_; }

  // The entries at the four one-cell edge offsets.
  EdgeNeighbours edges() const {
    EdgeNeighbours e;
    e.node[DIR_MINUS_X] = at(-1, 0, e.onLevel[DIR_MINUS_X]);
    e.node[DIR_PLUS_X] = at(1, 0, e.onLevel[DIR_PLUS_X]);
    e.node[DIR_MINUS_Y] = at(0, -1, e.onLevel[DIR_MINUS_Y]);
    e.node[DIR_PLUS_Y] = at(0, 1, e.onLevel[DIR_PLUS_Y]);
    return e;
  }

  // Entry at (ox, oy), |ox|, |oy| <= 2, around the leaf.
  unsigned at(int ox, int oy) const {
    bool onLevel;
    return at(ox, oy, onLevel);
  }
  // The same, telling whether the entry is a node of the leaf's level.
  unsigned at(int ox, int oy, bool& onLevel) const {
    if (level_ == 0) return rootEntry(ox, oy, onLevel);
    return entryBelow(*parent_, k_, ox, oy, onLevel);
  }

  // Entry at (ox, oy), |ox|, |oy| <= 2, around the leaf's ancestor on level a (0 <= a <= level()).
  unsigned atLevel(int a, int ox, int oy) const {
    bool onLevel;
    return atLevel(a, ox, oy, onLevel);
  }
  // The same, telling whether the entry is a node of level a (not a coarser leaf, not NO_NODE).
  unsigned atLevel(int a, int ox, int oy, bool& onLevel) const {
    if (a == 0) return rootEntry(ox, oy, onLevel);
    return entryBelow(blocks_[a - 1], childIndexAt(a), ox, oy, onLevel);
  }

  // The 2 x 2 entries at (bx, by), (bx + 1, by), (bx, by + 1), (bx + 1, by + 1) around the ancestor
  // on level a, as atLevel gives them, into out; false (out partly written) as soon as one of them is
  // not a node of level a.
  bool squareAtLevel(int a, int bx, int by, unsigned out[4]) const {
    bool onLevel = true;
    if (a == 0) {
      for (int c = 0; c < 4 && onLevel; ++c) out[c] = rootEntry(bx + (c & 1), by + (c >> 1), onLevel);
      return onLevel;
    }
    // One parent block and child index serve all four entries.
    const NodeBlock& parent = blocks_[a - 1];
    const unsigned k = childIndexAt(a);
    for (int c = 0; c < 4 && onLevel; ++c) out[c] = entryBelow(parent, k, bx + (c & 1), by + (c >> 1), onLevel);
    return onLevel;
  }

  // Child index within its parent of the leaf's ancestor on level a (1 <= a <= level()). The walk
  // stores every visited node's child index in its level's block, the leaf's included, so that no
  // branch on the level (which follows the shape of the tree) is needed.
  unsigned childIndexAt(int a) const { return blocks_[a].k; }

  // child0 of the entry at (ox, oy), |ox|, |oy| <= 1, around the ancestor on level a < level().
  unsigned child0At(int a, int ox, int oy) const { return blocks_[a].child0[oy + 1][ox + 1]; }

  // Root tile (i, j), or NO_NODE outside the root block.
  static unsigned rootAt(const SLGrid2D& grid, int i, int j) {
    const int iEnd = static_cast<int>(grid.ni) + grid.gi, jEnd = static_cast<int>(grid.nj) + grid.gj;
    if (i < -grid.gi || i >= iEnd || j < -grid.gj || j >= jEnd)
      return NO_NODE;
    return grid.rootIndex(i, j);
  }

 private:
  unsigned rootEntry(int ox, int oy, bool& onLevel) const {
    const unsigned r = rootAt(grid_, ti_ + ox, tj_ + oy);
    onLevel = r != NO_NODE;
    return r;
  }

  // Entry at (ox, oy) around the child k of the node whose 3 x 3 block is `parent`: a child of the
  // parent-level cell it falls in, or that cell itself when it has no children.
  static unsigned entryBelow(const NodeBlock& parent, unsigned k, int ox, int oy, bool& onLevel) {
    const int x = static_cast<int>(k & 1u) + ox, y = static_cast<int>(k >> 1) + oy;
    const int px = (x >> 1) + 1, py = (y >> 1) + 1;  // the parent-level cell, 0..2
    const unsigned c = parent.child0[py][px];
    onLevel = c != NO_NODE;
    return c == NO_NODE ? parent.node[py][px] : c + static_cast<unsigned>(x & 1) + 2u * static_cast<unsigned>(y & 1);
  }

  const SLGrid2D& grid_;
  const NodeBlock* blocks_;
  const NodeBlock* parent_;  // the block of the leaf's parent; null for a root
  int level_;
  unsigned k_;
  int ti_, tj_;
};

// Quadrant argument of forEachLeafWithWindow for the whole tile.
inline constexpr int kWholeTile = -1;

// Predicate of forEachLeafWithWindow that enters every inner node.
struct EnterEveryNode {
  bool operator()(float, float, float) const { return true; }
};

// The leaves of root tile (i, j) in forEachLeafInTile's order (child 0 first), each with its centre,
// its edge and its window; with a quadrant 0 .. 3, only the leaves below the root's child of that
// index (a root that is itself a leaf belongs to quadrant 0). The four quadrants together visit the
// tile's leaves once each, so a tile's work can be shared out finer than by tiles. The visitor must
// not change the tree. enter(cx, cy, edge) is asked of every inner node below the root: where it is
// false the node's leaves are passed over.
template <typename F, typename Enter = EnterEveryNode>
void forEachLeafWithWindow(const SLGrid2D& grid, int i, int j, int quadrant, F&& visit, Enter&& enter = Enter{}) {
  struct Entry {
    unsigned node;
    float cx, cy, edge;
    int level;
    unsigned k;
  };
  NodeBlock blocks[kWindowLevels];
  Entry stack[kWalkStackCapacity];
  int depth = 0;
  stack[depth++] = Entry{grid.rootIndex(i, j), (static_cast<float>(i) + 0.5f) * grid.tileSizeF,
                         (static_cast<float>(j) + 0.5f) * grid.tileSizeF, grid.tileSizeF, 0, 0};
  while (depth > 0) {
    const Entry e = stack[--depth];
    const unsigned c = grid.child0(e.node);
    // The block of e's level belongs to no pending node: the subtree of any earlier node of that
    // level has been walked.
    blocks[e.level].k = e.k;
    const LeafWindow window(grid, blocks, e.level, e.k, i, j);
    if (c == NO_NODE) {
      if (e.level > 0 || quadrant <= 0) visit(e.node, e.cx, e.cy, e.edge, window);
      continue;
    }
    // Inner node: its block serves every node below it; a deeper tree than the blocks can hold
    // (a damaged tree) is not entered.
    if (e.level + 1 >= kWindowLevels || (e.level > 0 && !enter(e.cx, e.cy, e.edge))) continue;
    NodeBlock& block = blocks[e.level];
    for (int oy = -1; oy <= 1; ++oy)
      for (int ox = -1; ox <= 1; ++ox) {
        const unsigned m = (ox == 0 && oy == 0) ? e.node : window.at(ox, oy);
        block.node[oy + 1][ox + 1] = m;
        block.child0[oy + 1][ox + 1] = m == NO_NODE ? NO_NODE : grid.child0(m);
      }
    const float half = e.edge * 0.5f, quarter = e.edge * 0.25f;
    for (unsigned k = 4; k-- > 0;) {
      if (e.level == 0 && quadrant >= 0 && k != static_cast<unsigned>(quadrant)) continue;
      stack[depth++] = Entry{c + k, (k & 1u) ? e.cx + quarter : e.cx - quarter,
                             (k & 2u) ? e.cy + quarter : e.cy - quarter, half, e.level + 1, k};
    }
  }
}

template <typename F>
void forEachLeafWithWindow(const SLGrid2D& grid, int i, int j, F&& visit) {
  forEachLeafWithWindow(grid, i, j, kWholeTile, visit);
}

}  // namespace VELDRA_TRW
