// The quadtree over a grid of root tiles with a ghost border two tiles wide.
//
// Coordinate and index conventions, used everywhere in the engine:
//  - Root tile (i, j), -gi <= i < ni + gi, -gj <= j < nj + gj, is node rootBase + j * strideJ + i;
//    tiles with 0 <= i < ni and 0 <= j < nj are interior, all others ghost tiles.
//  - The four children of a node are consecutive indices starting at a multiple of 4. Bit 0 of a
//    child's index picks the half with larger x, bit 1 the half with larger y.
//  - A node's level is its depth below its root tile; whether it is a leaf is read from child0.
// Invariants kept by the engine's edits (checked by checkGrading / countLeafVisits):
//  - every interior leaf is visited exactly once by the interior-leaf walk;
//  - across an edge, neighbouring leaves differ by at most one level (2:1 grading).
#pragma once
#include <cstdint>
#include <vector>

#include "storage/data_pool.h"
#include "storage/tree_node_pool.h"

namespace VELDRA_TRW {

enum class Walk : int { InteriorLeaves = 0, AllLeaves = 1, InteriorNodes = 2, AllNodes = 3 };

// Capacity of explicit walk stacks: three pending siblings per level plus four children, with room.
inline constexpr int kWalkStackCapacity = 64;

template <typename Index, typename Grid, typename Cell, int N>
class TreeArrayBase {
 public:
  TreeNodePool<Index, N> nodes;
  TreeDataPool<Index, Index, N> child0Pool{&nodes, "pool_child0ID"};
  TreeDataPool<Index, Index, N> parentPool{&nodes, "pool_parentID"};
  TreeDataPool<TreeFlags, Index, N> flagsPool{&nodes};
  std::uint32_t ni = 0, nj = 0;
  std::int32_t gi = 2, gj = 2;
  std::uint32_t gridIndex = 0;
  std::uint32_t si = 4, sj = 4;
  std::uint32_t strideJ = 4, strideK = 16;
  std::uint32_t rootBase = NO_NODE;
  std::uint32_t firstNode = NO_NODE;
  std::uint32_t originOffset = 2 * 4 + 2;
  std::uint32_t maxLevel = 0;
  // Work lists of a refinement pass: the leaves to split (later the nodes to merge) and the child
  // groups reserved for them.
  std::vector<Index> splitList;
  std::vector<Index> groupList;
  // Topology clock: per root tile of the block (indexed by root - firstNode), the clock's value when a
  // node of the tile last gained or lost children, or when the block was built. Anything derived from
  // a tile's topology alone stays exact while the tile's entry is not newer than the derivation.
  std::uint64_t topologyClock = 0;
  std::vector<std::uint64_t> tileTopologyChanged;

  TreeArrayBase() { gridIndex = static_cast<std::uint32_t>(nodes.takeGridSlot()); }
  TreeArrayBase(const TreeArrayBase&) = delete;
  TreeArrayBase& operator=(const TreeArrayBase&) = delete;
  virtual ~TreeArrayBase() {
    releaseAll();
    nodes.releaseGridSlot(static_cast<int>(gridIndex));
  }

  // ---- per-node access (pool addresses are re-read on every call: allocation may move them) ----
  Index& child0(Index n) const { return child0Pool[n]; }
  Index& parent(Index n) const { return parentPool[n]; }
  TreeFlags& flags(Index n) const { return flagsPool[n]; }
  bool hasChildren(Index n) const { return child0Pool[n] != NO_NODE; }
  unsigned level(Index n) const { return flagsPool[n].level(); }
  bool hasGrandchildren(Index n) const {
    const Index c = child0(n);
    if (c == NO_NODE) return false;
    for (int k = 0; k < 4; ++k)
      if (hasChildren(c + k)) return true;
    return false;
  }
  bool hasBlock() const { return firstNode != NO_NODE; }

  Index rootIndex(int i, int j) const {
    return rootBase + static_cast<std::uint32_t>(j) * strideJ + static_cast<std::uint32_t>(i);
  }
  bool isInteriorTile(int i, int j) const {
    return i >= 0 && j >= 0 && i < static_cast<int>(ni) && j < static_cast<int>(nj);
  }
  const TreeRootGrid& rootGridOf(Index n) const { return nodes.grids[flags(n).gridIndex()]; }

  // ---- building and releasing ----
  void initRootGrid(std::uint32_t newNi, std::uint32_t newNj) {
    releaseAll();
    ni = newNi;
    nj = newNj;
    gi = gj = 2;
    si = strideJ = ni + 4;
    sj = nj + 4;
    strideK = si * sj;
    originOffset = 2 * strideJ + 2;
    firstNode = nodes.allocateRun(strideK);
    rootBase = firstNode + originOffset;
    tileTopologyChanged.assign(strideK, ++topologyClock);
    for (int j = -gj; j < static_cast<int>(nj) + gj; ++j) {
      for (int i = -gi; i < static_cast<int>(ni) + gi; ++i) {
        const Index r = rootIndex(i, j);
        child0(r) = NO_NODE;
        parent(r) = NO_NODE;
        flags(r) = TreeFlags::make(0, !isInteriorTile(i, j), gridIndex);
      }
    }
    TreeRootGrid& g = nodes.grids[gridIndex];
    g = TreeRootGrid{ni, nj, 1u, 2u, 2u, 0u, strideJ, strideK, si, sj, 1u, strideK,
                     (strideK + 3) / 4 * 4, rootBase, firstNode, maxLevel};
    updateRootFlags();
  }

  void releaseAll() {
    if (!hasBlock()) return;
    for (int j = -gj; j < static_cast<int>(nj) + gj; ++j)
      for (int i = -gi; i < static_cast<int>(ni) + gi; ++i)
        if (hasChildren(rootIndex(i, j))) deleteSubtree(rootIndex(i, j));
    nodes.releaseRun(firstNode, si * sj);
    firstNode = rootBase = NO_NODE;
    tileTopologyChanged.clear();
  }

  // Stamps the root tile holding node n with a new clock value.
  void noteTopologyChange(Index n) {
    while (parent(n) != NO_NODE) n = parent(n);
    const std::size_t tile = static_cast<std::size_t>(n - firstNode);
    if (tile < tileTopologyChanged.size()) tileTopologyChanged[tile] = ++topologyClock;
  }
  // The clock value of root tile (i, j)'s last change.
  std::uint64_t tileChangedAt(int i, int j) const { return tileTopologyChanged[rootIndex(i, j) - firstNode]; }

  // n has children: releases every descendant (locked group release) and makes n a leaf.
  void deleteSubtree(Index n) {
    noteTopologyChange(n);
    const Index c = child0(n);
    for (int k = 0; k < 4; ++k)
      if (hasChildren(c + k)) deleteSubtree(c + k);
    nodes.releaseGroupLocked(c);
    child0(n) = NO_NODE;
  }

  // Makes group g the children of leaf n: empty child links, parent n, one level deeper, the ghost bit
  // and grid slot of n, no other flags. Channel values are the caller's business.
  void linkChildren(Index n, Index g) {
    noteTopologyChange(n);
    child0(n) = g;
    const TreeFlags pf = flags(n);
    const TreeFlags cf = TreeFlags::make(pf.level() + 1, pf.has(TreeFlags::GHOST), pf.gridIndex());
    for (int c = 0; c < 4; ++c) {
      child0(g + c) = NO_NODE;
      parent(g + c) = n;
      flags(g + c) = cf;
    }
  }

  // Releases n's child group (whose members are leaves) without the lock; n becomes a leaf.
  void unlinkChildren(Index n) {
    noteTopologyChange(n);
    nodes.releaseGroupUnlocked(child0(n));
    child0(n) = NO_NODE;
  }

  void updateRootFlags() {
    for (int j = -gj; j < static_cast<int>(nj) + gj; ++j)
      for (int i = -gi; i < static_cast<int>(ni) + gi; ++i) {
        const Index r = rootIndex(i, j);
        flags(r).set(TreeFlags::ROOT);
        walkSubtree(r, false, [&](Index n) {
          if (n != r) flags(n).clear(TreeFlags::ROOT);
        });
      }
  }

  // ---- neighbour lookup ----
  // The node across n's edge in direction d at n's level, or the coarser leaf covering that place;
  // NO_NODE beyond the outer edge of the ghost border. Never a finer node.
  Index neighbour(Index n, Direction d) const {
    static constexpr int kBit[4] = {0, 0, 1, 1};
    static constexpr unsigned kSiblingWhen[4] = {1, 0, 1, 0};
    static constexpr int kSiblingStep[4] = {-1, 1, -2, 2};
    static constexpr int kTileDi[4] = {-1, 1, 0, 0};
    static constexpr int kTileDj[4] = {0, 0, -1, 1};
    const int b = kBit[d];
    const int other = 1 - b;
    if (!flags(n).has(TreeFlags::ROOT) && ((n >> b) & 1u) == kSiblingWhen[d])
      return static_cast<Index>(static_cast<std::int64_t>(n) + kSiblingStep[d]);
    Index m = n;
    unsigned path = 0;
    int steps = 0;
    Index start = NO_NODE;
    while (parent(m) != NO_NODE) {
      if (((m >> b) & 1u) == kSiblingWhen[d]) {
        start = m ^ (1u << b);
        break;
      }
      path = 2 * path + ((m >> other) & 1u);
      ++steps;
      m = parent(m);
    }
    if (start == NO_NODE) {
      const TreeRootGrid& g = rootGridOf(m);
      const Index local = m - g.firstNode;
      const int j = static_cast<int>(local / g.strideJ) - static_cast<int>(g.gj) + kTileDj[d];
      const int i = static_cast<int>(local % g.strideJ) - static_cast<int>(g.gi) + kTileDi[d];
      if (i < -static_cast<int>(g.gi) || i >= static_cast<int>(g.ni + g.gi) || j < -static_cast<int>(g.gj) ||
          j >= static_cast<int>(g.nj + g.gj))
        return NO_NODE;
      start = g.rootBase + static_cast<std::uint32_t>(j) * g.strideJ + static_cast<std::uint32_t>(i);
    }
    for (int s = 0; s < steps; ++s) {
      const Index c = child0(start);
      if (c == NO_NODE) break;
      const unsigned pb = path & 1u;
      switch (d) {
        case DIR_MINUS_X: start = c + 1 + 2 * pb; break;
        case DIR_PLUS_X: start = c + 2 * pb; break;
        case DIR_MINUS_Y: start = c + 2 + pb; break;
        case DIR_PLUS_Y: start = c + pb; break;
      }
      path >>= 1;
    }
    return start;
  }

  // neighbour(c + k, d) for child k of group c, given the parent's neighbour in direction d: the
  // sibling across that edge, else the facing child of the parent's neighbour when it has children,
  // else the parent's neighbour itself (a coarser leaf, or NO_NODE). Top-down walks carry neighbours
  // this way instead of climbing the tree for every leaf.
  Index childNeighbour(Index c, unsigned k, Index parentNeighbour, Direction d) const {
    static constexpr unsigned kBit[4] = {0, 0, 1, 1};
    static constexpr unsigned kSiblingWhen[4] = {1, 0, 1, 0};
    const unsigned across = k ^ (1u << kBit[d]);
    if (((k >> kBit[d]) & 1u) == kSiblingWhen[d]) return c + across;
    if (parentNeighbour == NO_NODE) return NO_NODE;
    const Index pc = child0(parentNeighbour);
    return pc == NO_NODE ? parentNeighbour : pc + across;
  }

  // ---- traversal ----
  // Pre-order depth first below `root`, children 0..3 in order. With leavesOnly, only leaves are
  // visited. Whether a leaf has children is read before it is visited, so children that the visitor
  // links to the leaf are not entered; for inner nodes child0 is read after the visit.
  template <typename F>
  void walkSubtree(Index root, bool leavesOnly, F&& visit) const {
    Index stack[kWalkStackCapacity];
    int depth = 0;
    stack[depth++] = root;
    while (depth > 0) {
      const Index n = stack[--depth];
      Index c = child0(n);
      if (c == NO_NODE) {
        visit(n);
        continue;
      }
      if (!leavesOnly) {
        visit(n);
        c = child0(n);
        if (c == NO_NODE) continue;
      }
      stack[depth++] = c + 3;
      stack[depth++] = c + 2;
      stack[depth++] = c + 1;
      stack[depth++] = c;
    }
  }

  // Root tiles row by row (j ascending, then i ascending), each subtree as walkSubtree.
  template <typename F>
  void walk(Walk kind, F&& visit) const {
    if (!hasBlock()) return;
    const bool interior = kind == Walk::InteriorLeaves || kind == Walk::InteriorNodes;
    const bool leavesOnly = kind == Walk::InteriorLeaves || kind == Walk::AllLeaves;
    const int j0 = interior ? 0 : -gj, j1 = static_cast<int>(nj) + (interior ? 0 : gj);
    const int i0 = interior ? 0 : -gi, i1 = static_cast<int>(ni) + (interior ? 0 : gi);
    for (int j = j0; j < j1; ++j)
      for (int i = i0; i < i1; ++i) walkSubtree(rootIndex(i, j), leavesOnly, visit);
  }

  // ---- diagnostics ----
  // Writes 0 to every node of the interior tiles, then adds 1 per visit of the interior-leaf walk: a
  // consistent tree shows exactly 1 on every interior leaf.
  void countLeafVisitsInto(float* pool) const {
    walk(Walk::InteriorNodes, [&](Index n) { pool[n] = 0.0f; });
    walk(Walk::InteriorLeaves, [&](Index n) { pool[n] += 1.0f; });
  }

  // True when no interior leaf has an edge neighbour with grandchildren (2:1 grading across edges).
  bool checkGradingImpl() const {
    bool ok = true;
    walk(Walk::InteriorLeaves, [&](Index n) {
      for (int d = 0; d < 4; ++d) {
        const Index m = neighbour(n, static_cast<Direction>(d));
        if (m != NO_NODE && hasGrandchildren(m)) ok = false;
      }
    });
    return ok;
  }
};

template <typename Index, typename Grid, typename Cell>
class TreeArray2D : public TreeArrayBase<Index, Grid, Cell, 4> {
 public:
  virtual void countLeafVisits(float* pool) { this->countLeafVisitsInto(pool); }
  virtual bool checkGrading() { return this->checkGradingImpl(); }
};

}  // namespace VELDRA_TRW
