// Restores "level set" to a signed distance (and "regional level set" to an unsigned distance to the
// nearest label border) over a rectangle of root tiles by fast sweeping on the quadtree: leaves next to
// a sign change keep their values as the boundary condition, every other leaf starts at the far value,
// and four Gauss-Seidel sweeps in the diagonal directions take upwind one- and two-neighbour updates.
// The sweeps read values updated earlier in the same sweep, so visiting orders are part of the result.
#include <cmath>

#include "grid/redistancing_detail.h"

namespace VELDRA_TRW {
namespace {

using redistancing::kSweeps;
using redistancing::Sample;
using redistancing::SweepPlan;
using redistancing::takeSample;
using redistancing::updateLevelSet;
using redistancing::updateRegional;

constexpr std::uint32_t kBothMarks = TreeFlags::FRONT_MARK | TreeFlags::REGION_MARK;

// The walk carries each node's two upwind neighbours down from the root tile's. The first sweep
// also gives every unmarked leaf its far value as it reaches it: a leaf's value is read only by
// leaves after it in the sweep, so they all see the far value, as if it had been set beforehand.
void sweepTile(const SLGrid2D& grid, const SweepContext& s, unsigned root, float width, bool withRegional,
               bool setFarValues) {
  struct Entry {
    unsigned node;
    float width;
    unsigned upwind[2];
  };
  const Direction first = static_cast<Direction>(s.upwind[0]), second = static_cast<Direction>(s.upwind[1]);
  Entry stack[kWalkStackCapacity];
  int depth = 0;
  stack[depth++] = Entry{root, width, {grid.neighbour(root, first), grid.neighbour(root, second)}};
  while (depth > 0) {
    const Entry e = stack[--depth];
    const unsigned c = grid.child0(e.node);
    if (c != NO_NODE) {
      for (int k = 3; k >= 0; --k) {
        const unsigned child = s.childOrder[k];
        stack[depth++] = Entry{c + child, e.width * 0.5f,
                               {grid.childNeighbour(c, child, e.upwind[0], first),
                                grid.childNeighbour(c, child, e.upwind[1], second)}};
      }
      continue;
    }
    const TreeFlags f = s.flags[e.node];
    if (setFarValues) {
      float& phi = s.levelSet[e.node];
      if (!f.has(TreeFlags::FRONT_MARK)) phi = phi >= 0.0f ? SLGrid2D::kFarValue : -SLGrid2D::kFarValue;
      if (withRegional && !f.has(TreeFlags::REGION_MARK)) s.regional[e.node] = SLGrid2D::kFarValue;
    }
    if (f.has(TreeFlags::FRONT_MARK)) continue;
    const Sample s1 = takeSample(grid, s, e.node, e.upwind[0], 0, withRegional);
    const Sample s2 = takeSample(grid, s, e.node, e.upwind[1], 1, withRegional);
    updateLevelSet(s, e.node, e.width, s1, s2);
    if (withRegional) updateRegional(s, e.node, e.width, s1, s2);
  }
}

// Leaf n against one leaf across its -x or -y edge: marks both sides of a sign change or label change.
void markPair(SLGrid2D& grid, unsigned n, unsigned other, bool withRegional) {
  const float a = grid.levelSet[n];
  if (a * grid.levelSet[other] <= 0.0f) {
    grid.flags(other).set(TreeFlags::FRONT_MARK);
    grid.flags(n).set(TreeFlags::FRONT_MARK);
  }
  if (withRegional && grid.region[other] != grid.region[n]) {
    grid.flags(other).set(TreeFlags::REGION_MARK);
    grid.flags(n).set(TreeFlags::REGION_MARK);
  }
}

// One walk per tile, tiles in row-major order: stores each leaf's centre in "temp"/"temp2", clears
// both redistancing marks, then tests the edges to its -x and -y sides, marking both sides of a sign
// or label change. Every edge between leaves is tested once, from its +x or +y side; the leaves it
// marks on that side come earlier in the walk, so they are cleared before they are marked.
void prepareTile(SLGrid2D& grid, int i, int j, bool withRegional) {
  grid.forEachLeafInTileWithNeighbours(i, j, [&](unsigned n, float cx, float cy, float, const unsigned around[4]) {
    static constexpr Direction kLookBack[2] = {DIR_MINUS_X, DIR_MINUS_Y};
    static constexpr unsigned kFacing[2][2] = {{1, 3}, {2, 3}};
    grid.temp[n] = cx;
    grid.temp2[n] = cy;
    grid.flags(n).clear(kBothMarks);
    for (int side = 0; side < 2; ++side) {
      const unsigned m = around[kLookBack[side]];
      if (m == NO_NODE) continue;
      const unsigned c = grid.child0(m);
      if (c == NO_NODE) {
        markPair(grid, n, m, withRegional);
      } else {
        markPair(grid, n, c + kFacing[side][0], withRegional);
        markPair(grid, n, c + kFacing[side][1], withRegional);
      }
    }
  });
}

}  // namespace

void SLGrid2D::Redistance(int i0, int j0, int i1, int j1) {
  if (!hasBlock()) return;
  // Keep the range on the root block; neighbours missing at its outer edge are skipped.
  const int iMin = -gi, jMin = -gj, iMax = static_cast<int>(ni) + gi, jMax = static_cast<int>(nj) + gj;
  i0 = i0 < iMin ? iMin : i0;
  j0 = j0 < jMin ? jMin : j0;
  i1 = i1 > iMax ? iMax : i1;
  j1 = j1 > jMax ? jMax : j1;
  const bool withRegional = useRegional != 0;

  for (int j = j0; j < j1; ++j)
    for (int i = i0; i < i1; ++i) prepareTile(*this, i, j, withRegional);

  // Everything stays on the calling thread: the sweeps read values written earlier in the same
  // sweep, and running tiles of one anti-diagonal (or the preparation) in parallel gained nothing on
  // brush-sized boxes.
  for (const SweepPlan& plan : kSweeps) {
    redistancing::loadSweep(*this, plan);
    const int outerLo = plan.byColumns ? i0 : j0, outerHi = plan.byColumns ? i1 : j1;
    const int innerLo = plan.byColumns ? j0 : i0, innerHi = plan.byColumns ? j1 : i1;
    for (int a = 0; a < outerHi - outerLo; ++a) {
      const int outer = plan.outerDescending ? outerHi - 1 - a : outerLo + a;
      for (int b = 0; b < innerHi - innerLo; ++b) {
        const int inner = plan.innerDescending ? innerHi - 1 - b : innerLo + b;
        const unsigned root = plan.byColumns ? rootIndex(outer, inner) : rootIndex(inner, outer);
        sweepTile(*this, sweep, root, sweep.tileSize, withRegional, &plan == &kSweeps[0]);
      }
    }
  }

  RefreshBoundary(levelSet.data());
  RefreshBoundary(regional.data());
  RefreshBoundary(region.data());
}

}  // namespace VELDRA_TRW
