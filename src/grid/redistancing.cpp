// Restores "level set" to a signed distance (and "regional level set" to an unsigned distance to the
// nearest label border) over a rectangle of root tiles by fast sweeping on the quadtree: leaves next to
// a sign change keep their values as the boundary condition, every other leaf starts at the far value,
// and four Gauss-Seidel sweeps in the diagonal directions take upwind one- and two-neighbour updates.
// The sweeps read values updated earlier in the same sweep, so visiting orders are part of the result.
#include <cmath>

#include "common/parallel_rows.h"
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

// The walk carries each node's two upwind neighbours down from the root tile's.
void sweepTile(const SLGrid2D& grid, const SweepContext& s, unsigned root, float width, bool withRegional) {
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
    if (s.flags[e.node].has(TreeFlags::FRONT_MARK)) continue;
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

// Every edge between leaves is tested once, from its +x or +y side.
void markFront(SLGrid2D& grid, unsigned root, bool withRegional) {
  grid.walkLeavesWithNeighbours(root, [&](unsigned n, const unsigned around[4]) {
    static constexpr Direction kLookBack[2] = {DIR_MINUS_X, DIR_MINUS_Y};
    static constexpr unsigned kFacing[2][2] = {{1, 3}, {2, 3}};
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

// Stores leaf centres in "temp"/"temp2" and clears both redistancing marks.
void storeCentres(SLGrid2D& grid, int i, int j) {
  struct Entry {
    unsigned node;
    float cx, cy, width;
  };
  Entry stack[kWalkStackCapacity];
  int depth = 0;
  const float fi = static_cast<float>(i), fj = static_cast<float>(j);
  stack[depth++] = Entry{grid.rootIndex(i, j), (fi + 0.5f) * grid.tileSizeF, (fj + 0.5f) * grid.tileSizeF,
                         (fi + 1.5f) * grid.tileSizeF - (fi + 0.5f) * grid.tileSizeF};
  while (depth > 0) {
    const Entry e = stack[--depth];
    const unsigned c = grid.child0(e.node);
    if (c == NO_NODE) {
      grid.temp[e.node] = e.cx;
      grid.temp2[e.node] = e.cy;
      grid.flags(e.node).clear(kBothMarks);
      continue;
    }
    const float half = e.width * 0.5f, quarter = e.width / 4.0f;
    for (int k = 3; k >= 0; --k)
      stack[depth++] = Entry{c + static_cast<unsigned>(k), (k & 1) ? e.cx + quarter : e.cx - quarter,
                             (k & 2) ? e.cy + quarter : e.cy - quarter, half};
  }
}

// The tiles (i, j) of the box with i - i0 and j - j0 of the given parities, in parallel.
template <typename F>
void forEachTileOfParity(int i0, int j0, int i1, int j1, int pi, int pj, const F& visit) {
  const int width = (i1 - i0 - pi + 1) / 2, height = (j1 - j0 - pj + 1) / 2;
  if (width <= 0 || height <= 0) return;
  VELDRA_COMMON::parallelRows(0, width * height, [&](const tbb::blocked_range<int>& tiles) {
    for (int t = tiles.begin(); t != tiles.end(); ++t) visit(i0 + pi + 2 * (t % width), j0 + pj + 2 * (t / width));
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

  if (i0 >= i1 || j0 >= j1) {
    RefreshBoundary(levelSet.data());
    RefreshBoundary(regional.data());
    RefreshBoundary(region.data());
    return;
  }

  VELDRA_COMMON::parallelTiles(i0, j0, i1, j1, [&](int i, int j) { storeCentres(*this, i, j); });
  // A tile marks its own leaves and those across its -x and -y edges. Setting a mark commutes, so any
  // order gives the same marks; tiles two apart in both directions never write the same tiles.
  for (int parity = 0; parity < 4; ++parity)
    forEachTileOfParity(i0, j0, i1, j1, parity & 1, parity >> 1,
                        [&](int i, int j) { markFront(*this, rootIndex(i, j), withRegional); });
  VELDRA_COMMON::parallelTiles(i0, j0, i1, j1, [&](int i, int j) {
    walkSubtree(rootIndex(i, j), true, [&](unsigned n) {
      const TreeFlags f = flags(n);
      if (!f.has(TreeFlags::FRONT_MARK)) levelSet[n] = levelSet[n] >= 0.0f ? kFarValue : -kFarValue;
      if (withRegional && !f.has(TreeFlags::REGION_MARK)) regional[n] = kFarValue;
    });
  });

  // A sweep visits tiles row by row (or column by column) in its own direction, and a leaf reads only
  // its two upwind edge neighbours. So a tile depends on exactly its two upwind tiles, and the tiles of
  // one anti-diagonal (in sweep order) can run together once the previous anti-diagonal is done: every
  // value read is the one the row-by-row order would read.
  const int width = i1 - i0, height = j1 - j0;
  for (const SweepPlan& plan : kSweeps) {
    redistancing::loadSweep(*this, plan);
    const bool iDescending = plan.byColumns ? plan.outerDescending : plan.innerDescending;
    const bool jDescending = plan.byColumns ? plan.innerDescending : plan.outerDescending;
    for (int diagonal = 0; diagonal < width + height - 1; ++diagonal) {
      const int aLo = diagonal - (height - 1) > 0 ? diagonal - (height - 1) : 0;
      const int aHi = diagonal < width - 1 ? diagonal : width - 1;
      const auto sweepOne = [&](int a) {
        const int b = diagonal - a;
        const int i = iDescending ? i1 - 1 - a : i0 + a;
        const int j = jDescending ? j1 - 1 - b : j0 + b;
        sweepTile(*this, sweep, rootIndex(i, j), sweep.tileSize, withRegional);
      };
      if (aLo == aHi) {
        sweepOne(aLo);
        continue;
      }
      VELDRA_COMMON::parallelRows(aLo, aHi + 1, [&](const tbb::blocked_range<int>& range) {
        for (int a = range.begin(); a != range.end(); ++a) sweepOne(a);
      });
    }
  }

  RefreshBoundary(levelSet.data());
  RefreshBoundary(regional.data());
  RefreshBoundary(region.data());
}

}  // namespace VELDRA_TRW
