// Restores "level set" to a signed distance (and "regional level set" to an unsigned distance to the
// nearest label border) over a rectangle of root tiles by fast sweeping on the quadtree: leaves next to
// a sign change keep their values as the boundary condition, every other leaf starts at the far value,
// and four Gauss-Seidel sweeps in the diagonal directions take upwind one- and two-neighbour updates.
// The sweeps read values updated earlier in the same sweep, so visiting orders are part of the result.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#include "common/parallel_rows.h"

#include "grid/redistancing_detail.h"

namespace VELDRA_TRW {
namespace {

using redistancing::kSweeps;
using redistancing::prepareLeaf;
using redistancing::Sample;
using redistancing::SweepPlan;
using redistancing::takeSample;
using redistancing::updateLevelSet;
using redistancing::updateRegional;

// Most threads one sweep is shared between: a brush's box offers few cells that can be swept at once.
constexpr int kSweepThreads = 8;

// One leaf of a sweep. The first sweep also gives every unmarked leaf its far value as it reaches it:
// a leaf's value is read only by leaves after it in the sweep, so they all see the far value, as if
// it had been set beforehand.
[[gnu::always_inline]] inline void sweepLeaf(const SLGrid2D& grid, const SweepContext& s, const SweepLeaf& e,
                                             bool withRegional, bool setFarValues) {
  const TreeFlags f = s.flags[e.node];
  if (setFarValues) {
    float& phi = s.levelSet[e.node];
    if (!f.has(TreeFlags::FRONT_MARK)) phi = phi >= 0.0f ? SLGrid2D::kFarValue : -SLGrid2D::kFarValue;
    if (withRegional && !f.has(TreeFlags::REGION_MARK)) s.regional[e.node] = SLGrid2D::kFarValue;
  }
  if (f.has(TreeFlags::FRONT_MARK)) return;
  const Sample s1 = takeSample(grid, s, e.node, e.around[s.upwind[0]], 0, withRegional);
  const Sample s2 = takeSample(grid, s, e.node, e.around[s.upwind[1]], 1, withRegional);
  updateLevelSet(s, e.node, e.width, s1, s2);
  if (withRegional) updateRegional(s, e.node, e.width, s1, s2);
}

// Sets a redistancing mark. Marks are only ever added while marking, so with Atomic the tiles can mark
// concurrently (a leaf's mark may come from the tile after it) and end with the same bits.
template <bool Atomic>
[[gnu::always_inline]] inline void setMark(SLGrid2D& grid, unsigned n, std::uint32_t mark) {
  if constexpr (Atomic) std::atomic_ref<std::uint32_t>(grid.flags(n).bits).fetch_or(mark, std::memory_order_relaxed);
  else grid.flags(n).set(mark);
}

// Leaf n against one leaf across its -x or -y edge: marks both sides of a sign change or label change.
template <bool Atomic>
[[gnu::always_inline]] inline void markPair(SLGrid2D& grid, unsigned n, unsigned other, bool withRegional) {
  const float a = grid.levelSet[n];
  if (a * grid.levelSet[other] <= 0.0f) {
    setMark<Atomic>(grid, other, TreeFlags::FRONT_MARK);
    setMark<Atomic>(grid, n, TreeFlags::FRONT_MARK);
  }
  if (withRegional && grid.region[other] != grid.region[n]) {
    setMark<Atomic>(grid, other, TreeFlags::REGION_MARK);
    setMark<Atomic>(grid, n, TreeFlags::REGION_MARK);
  }
}

// Tests the edges to leaf n's -x and -y sides, marking both sides of a sign or label change. Every
// edge between leaves is tested once, from its +x or +y side.
template <bool Atomic = false>
void markBackEdges(SLGrid2D& grid, unsigned n, const unsigned around[4], bool withRegional) {
  static constexpr Direction kLookBack[2] = {DIR_MINUS_X, DIR_MINUS_Y};
  static constexpr unsigned kFacing[2][2] = {{1, 3}, {2, 3}};
  for (int side = 0; side < 2; ++side) {
    const unsigned m = around[kLookBack[side]];
    if (m == NO_NODE) continue;
    const unsigned c = grid.child0(m);
    if (c == NO_NODE) {
      markPair<Atomic>(grid, n, m, withRegional);
    } else {
      markPair<Atomic>(grid, n, c + kFacing[side][0], withRegional);
      markPair<Atomic>(grid, n, c + kFacing[side][1], withRegional);
    }
  }
}

// The walking preparation, one walk per tile in row-major tile order: each leaf is prepared, then
// marks across its back edges. The leaves it marks on the far side come earlier in the walk, so they
// are cleared before they are marked.
void prepareTileWalking(SLGrid2D& grid, int i, int j, bool withRegional) {
  grid.forEachLeafInTileWithNeighbours(i, j, [&](unsigned n, float cx, float cy, float, const unsigned around[4]) {
    prepareLeaf(grid, n, cx, cy);
    markBackEdges(grid, n, around, withRegional);
  });
}

// Replays one tile's list for a sweep; the second and fourth sweeps replay backwards. The channel and
// far-value choices are template arguments so that the per-leaf loop carries no tests of them.
template <bool WithRegional, bool SetFarValues>
void replayTile(const SLGrid2D& grid, const std::vector<SweepLeaf>& leaves, bool backwards) {
  if (backwards) {
    for (auto e = leaves.rbegin(); e != leaves.rend(); ++e) sweepLeaf(grid, grid.sweep, *e, WithRegional, SetFarValues);
  } else {
    for (const SweepLeaf& e : leaves) sweepLeaf(grid, grid.sweep, e, WithRegional, SetFarValues);
  }
}

using ReplayTile = void (*)(const SLGrid2D&, const std::vector<SweepLeaf>&, bool);

ReplayTile replayerFor(bool withRegional, bool setFarValues) {
  if (withRegional) return setFarValues ? replayTile<true, true> : replayTile<true, false>;
  return setFarValues ? replayTile<false, true> : replayTile<false, false>;
}

// A sweep's record of leaf n: its edge and its four edge neighbours.
SweepLeaf sweepLeafOf(unsigned n, float edge, const unsigned around[4]) {
  return SweepLeaf{n, edge, {around[0], around[1], around[2], around[3]}};
}

// The listed preparation's parallel part for quadrant q of tile (i, j): its leaves in the first sweep's
// order, each prepared as it is listed, or in the third sweep's order. The first writes only the
// quadrant's own leaves; the third only reads the tree.
void listQuadrant(SLGrid2D& grid, int i, int j, int q, int list, std::vector<SweepLeaf>& leaves) {
  leaves.clear();
  if (list == 0) {
    grid.forEachLeafInTileWithNeighbours(i, j, q, SLGrid2D::kChildrenInOrder,
                                         [&](unsigned n, float cx, float cy, float edge, const unsigned around[4]) {
                                           leaves.push_back(sweepLeafOf(n, edge, around));
                                           prepareLeaf(grid, n, cx, cy);
                                         });
    return;
  }
  grid.forEachLeafInTileWithNeighbours(i, j, q, kSweeps[2].childOrder,
                                       [&](unsigned n, float, float, float edge, const unsigned around[4]) {
                                         leaves.push_back(sweepLeafOf(n, edge, around));
                                       });
}

// Lists every quadrant of every tile of the box for the first (list 0) or the third sweep (list 1),
// quadrants in parallel, except those of the tiles in `listed`, whose lists are made already.
void listBox(SLGrid2D& grid, int list, const RedistancingBox& box, const RedistancingBox& listed) {
  const std::size_t count = box.slot(box.i0, box.j1, 0);
  std::vector<std::vector<SweepLeaf>>& lists = grid.redistanceWork.tileLeaves[list];
  if (lists.size() < count) lists.resize(count);
  VELDRA_COMMON::parallelTileQuadrants(box.i0, box.j0, box.i1, box.j1, [&](int i, int j, int q) {
    if (!listed.holds(i, j)) listQuadrant(grid, i, j, q, list, lists[box.slot(i, j, q)]);
  });
}

}  // namespace

void SLGrid2D::Redistance(int i0, int j0, int i1, int j1) { RedistanceListed(i0, j0, i1, j1, kNoTiles); }

void SLGrid2D::RedistanceListed(int i0, int j0, int i1, int j1, const RedistancingBox& listed) {
  if (!hasBlock()) return;
  const RedistancingBox box = redistancing::clampedBox(*this, i0, j0, i1, j1);
  i0 = box.i0;
  j0 = box.j0;
  i1 = box.i1;
  j1 = box.j1;
  const bool withRegional = useRegional != 0;
  const bool empty = box.empty();

  // Brush-sized boxes are walked once per quadrant in parallel, listing the leaves in the order of the
  // first sweep; all four sweeps then replay lists (the second and fourth backwards), the third and
  // fourth those of a second listing. A whole-image pass would leave lists of every leaf behind and
  // pay for growing them: it walks.
  const bool listable = redistancing::listable(box);
  if (listable) {
    listBox(*this, 0, box, listed);
    // Every leaf of the box was cleared while listing (or by the caller that listed it), and marking
    // only sets bits (atomically, as a leaf also marks leaves of the tiles before it), so the tiles
    // mark in parallel and leave the marks of the walking preparation.
    VELDRA_COMMON::parallelTileQuadrants(i0, j0, i1, j1, [&](int i, int j, int q) {
      for (const SweepLeaf& e : redistanceWork.tileLeaves[0][box.slot(i, j, q)])
        markBackEdges<true>(*this, e.node, e.around, withRegional);
    });
  } else if (!empty) {
    for (int j = j0; j < j1; ++j)
      for (int i = i0; i < i1; ++i) prepareTileWalking(*this, i, j, withRegional);
  }

  // The sweeps read values written earlier in the same sweep; the schedule shares each one between
  // threads in cells that are swept only after the cells they read from (see SweepSchedule), with the
  // result of the sweep's own order. Listed boxes are shared by quadrants, whole-image passes by tiles.
  // The second sweep visits the leaves of the first in reverse (tiles and children both reversed),
  // and the fourth those of the third, so they replay the lists backwards.
  const int threads = std::min(VELDRA_COMMON::maxConcurrency(), kSweepThreads);
  redistancing::SweepSchedule& schedule = redistanceWork.schedule;
  const auto rootIsLeaf = [&](int i, int j) { return child0(rootIndex(i, j)) == NO_NODE; };
  const auto sweeps = [&](int pBegin, int pEnd) {
    for (int p = pBegin; p < pEnd && !empty; ++p) {
      const SweepPlan& plan = kSweeps[p];
      redistancing::loadSweep(*this, plan);
      const bool setFarValues = p == 0;
      const ReplayTile replay = replayerFor(withRegional, setFarValues);
      const bool backwards = p % 2 == 1;
      schedule.layOut(plan, i0, j0, i1, j1, listable ? 2 : 1, rootIsLeaf);
      // A listed cell's weight is its leaves; the first and third sweeps' lists hold the same leaves.
      const int sweepThreads = !listable ? threads : schedule.worthwhileThreads(threads, [&](int i, int j, int q) {
        return redistanceWork.tileLeaves[0][box.slot(i, j, q)].size();
      });
      schedule.run(sweepThreads, [&](int i, int j, int q) {
        if (!listable) {
          forEachLeafInTileWithNeighbours(i, j, plan.childOrder,
                                          [&](unsigned n, float, float, float edge, const unsigned around[4]) {
                                            sweepLeaf(*this, sweep, sweepLeafOf(n, edge, around), withRegional,
                                                      setFarValues);
                                          });
          return;
        }
        replay(*this, redistanceWork.tileLeaves[p / 2][box.slot(i, j, q)], backwards);
      });
    }
  };
  // The third sweep's lists only read the tree, which the sweeps leave alone: they are made on
  // another thread while the first two sweeps run.
  if (listable) {
    VELDRA_COMMON::runAlongside([&] { listBox(*this, 1, box, kNoTiles); }, [&] { sweeps(0, 2); });
  } else {
    sweeps(0, 2);
  }
  sweeps(2, 4);

  // The sweeps write the box's leaves only (the regional distance only with the regional level set).
  RefreshBoundaryAfter(levelSet.data(), i0, j0, i1, j1);
  RefreshBoundaryAfter(regional.data(), i0, j0, i1, j1);
  RefreshBoundaryAfter(region.data(), i0, j0, i1, j1);
}

}  // namespace VELDRA_TRW
