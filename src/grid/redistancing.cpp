// Restores "level set" to a signed distance (and "regional level set" to an unsigned distance to the
// nearest label border) over a rectangle of root tiles by fast sweeping on the quadtree: leaves next to
// a sign change keep their values as the boundary condition, every other leaf starts at the far value,
// and four Gauss-Seidel sweeps in the diagonal directions take upwind one- and two-neighbour updates.
// The sweeps read values updated earlier in the same sweep, so visiting orders are part of the result.
#include <cmath>
#include <new>
#include <vector>

#include "grid/redistancing_detail.h"

namespace VELDRA_TRW {
namespace {

using redistancing::kSweeps;
using redistancing::Sample;
using redistancing::SweepPlan;
using redistancing::takeSample;
using redistancing::updateLevelSet;
using redistancing::updateRegional;

// Largest box (in root tiles) whose sweeps replay recorded leaf lists; a radius-1000 brush's line
// edit covers 11 x 11 tiles.
constexpr long long kListedBoxTiles = 144;

constexpr std::uint32_t kBothMarks = TreeFlags::FRONT_MARK | TreeFlags::REGION_MARK;

// The leaves of a sweep in its order, kept so that the reverse sweep can replay them. Recording is
// given up (and the reverse sweep walks the tree instead) when the list cannot grow: running short
// of memory here costs speed, never the edit.
struct LeafRecord {
  std::vector<SweepLeaf>* leaves;
  bool complete;
  LeafRecord(std::vector<SweepLeaf>& list, bool wanted) : leaves(&list), complete(wanted) { list.clear(); }
  void add(const SweepLeaf& e) {
    if (!complete) return;
    try {
      leaves->push_back(e);
    } catch (const std::bad_alloc&) {
      complete = false;
    }
  }
};

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
// marks on that side come earlier in the walk, so they are cleared before they are marked. The
// leaves are listed in walk order, which is the first sweep's order.
void prepareTile(SLGrid2D& grid, int i, int j, bool withRegional, LeafRecord& order) {
  grid.forEachLeafInTileWithNeighbours(i, j, [&](unsigned n, float cx, float cy, float edge, const unsigned around[4]) {
    static constexpr Direction kLookBack[2] = {DIR_MINUS_X, DIR_MINUS_Y};
    static constexpr unsigned kFacing[2][2] = {{1, 3}, {2, 3}};
    order.add(SweepLeaf{n, edge, {around[0], around[1], around[2], around[3]}});
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

  // Lists are kept for brush-sized boxes only: a whole-image pass would leave lists of every leaf
  // behind and pay for growing them, and it walks four times as it always did.
  const bool record = static_cast<long long>(i1 - i0) * (j1 - j0) <= kListedBoxTiles;
  LeafRecord rowOrder(sweepLeaves[0], record), columnOrder(sweepLeaves[1], record);
  for (int j = j0; j < j1; ++j)
    for (int i = i0; i < i1; ++i) prepareTile(*this, i, j, withRegional, rowOrder);

  // Everything stays on the calling thread: the sweeps read values written earlier in the same
  // sweep. The second sweep visits the leaves of the first in reverse (tiles and children both
  // reversed), and the fourth those of the third, so they replay the recorded lists backwards.
  const auto walkSweep = [&](int p, LeafRecord* record) {
    const SweepPlan& plan = kSweeps[p];
    redistancing::forEachTileOfPlan(plan, i0, j0, i1, j1, [&](int i, int j) {
      const auto visit = [&](unsigned n, float, float, float edge, const unsigned around[4]) {
        const SweepLeaf e{n, edge, {around[0], around[1], around[2], around[3]}};
        if (record != nullptr) record->add(e);
        sweepLeaf(*this, sweep, e, withRegional, p == 0);
      };
      forEachLeafInTileWithNeighbours(i, j, plan.childOrder, visit);
    });
  };
  const auto replay = [&](int p, const LeafRecord& record, bool backwards) {
    if (!record.complete) return walkSweep(p, nullptr);
    const std::vector<SweepLeaf>& leaves = *record.leaves;
    if (backwards) {
      for (auto e = leaves.rbegin(); e != leaves.rend(); ++e) sweepLeaf(*this, sweep, *e, withRegional, p == 0);
    } else {
      for (const SweepLeaf& e : leaves) sweepLeaf(*this, sweep, e, withRegional, p == 0);
    }
  };
  redistancing::loadSweep(*this, kSweeps[0]);
  replay(0, rowOrder, false);
  redistancing::loadSweep(*this, kSweeps[1]);
  replay(1, rowOrder, true);
  redistancing::loadSweep(*this, kSweeps[2]);
  walkSweep(2, &columnOrder);
  redistancing::loadSweep(*this, kSweeps[3]);
  replay(3, columnOrder, true);

  RefreshBoundary(levelSet.data());
  RefreshBoundary(regional.data());
  RefreshBoundary(region.data());
}

}  // namespace VELDRA_TRW
