// Validity predicates of a grid: what every operation must leave behind, checked by the tests after
// their edits and by the fuzzer after every exported call. They read the grid only; they are slow
// (whole-tree walks with per-node bookkeeping) and are not used by the engine itself.
#pragma once
#include <string>

#include "grid/sl_grid.h"

namespace VELDRA_TRW {

// Empty when the tree is consistent, else its first problem: graded (2:1 across every edge), every
// interior leaf visited exactly once by the leaf walk, child links pointing back to their parent one
// level down within the finest level, the ROOT bit on root tiles only (neighbour lookups rely on it),
// finite values on interior leaves, and -- when `checkNodeAccounting`: not after a call that ran out of
// memory, which may leave reserved groups -- every used node group linked into the tree.
std::string TreeProblem(SLGrid2D& grid, bool checkNodeAccounting);

// Signed-distance quality near the front: of the single-pixel leaves of the image whose four edge
// neighbours are single-pixel leaves of the image too and whose value lies within `band` of zero, the
// fraction whose gradient (central differences) has a length off 1 by more than `tolerance`.
// 0 for an exact distance field; leaves on the front itself count too, as they keep the values their
// edit gave them. Returns 0 when there is no such leaf.
float DistanceDefect(const SLGrid2D& grid, float band, float tolerance);

}  // namespace VELDRA_TRW
