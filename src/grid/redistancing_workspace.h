// Scratch of redistancing that outlives one call so that the next reuses its memory: the leaves of
// each quadrant of each root tile of the box, in the orders of the first and of the third sweep, and
// the schedule that shares a sweep between threads. The grid holds one (SLGrid2D::redistanceWork);
// only redistancing uses it.
#pragma once
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
  redistancing::SweepSchedule schedule;
};

}  // namespace VELDRA_TRW
