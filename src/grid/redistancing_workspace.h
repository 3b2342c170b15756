// Scratch of redistancing that outlives one call so that the next reuses its memory: the leaves of
// each quadrant of each root tile of the box, in the orders of the first and of the third sweep, and
// the schedule that shares a sweep between threads. The grid holds one (SLGrid2D::redistanceWork);
// only redistancing uses it, and the narrow band step that makes a redistancing's first lists.
#pragma once
#include <cstddef>
#include <vector>

#include "grid/sweep_schedule.h"

namespace VELDRA_TRW {

// A leaf of a redistancing box as a sweep takes it: its edge (pixels) and its four edge neighbours.
struct SweepLeaf {
  unsigned node;
  float width;
  unsigned around[4];
};

struct RedistancingWorkspace {
  std::vector<std::vector<SweepLeaf>> tileLeaves[2];
  // The centres (x, y pairs) of the first lists' leaves, where a narrow band step made those lists.
  std::vector<std::vector<float>> firstListCentres;
  redistancing::SweepSchedule schedule;
};

// A box of root tiles [i0, i1) x [j0, j1) as redistancing takes it.
struct RedistancingBox {
  int i0, j0, i1, j1;
  bool empty() const { return i0 >= i1 || j0 >= j1; }
  bool holds(int i, int j) const { return i0 <= i && i < i1 && j0 <= j && j < j1; }
  // Slot of quadrant q of tile (i, j) in the per-quadrant lists: tiles in row-major order, four
  // quadrants each.
  std::size_t slot(int i, int j, int q) const {
    return 4 * (static_cast<std::size_t>(j - j0) * static_cast<std::size_t>(i1 - i0) + static_cast<std::size_t>(i - i0)) +
           static_cast<std::size_t>(q);
  }
};

// The box of no tiles.
inline constexpr RedistancingBox kNoTiles{0, 0, 0, 0};

}  // namespace VELDRA_TRW
