// Steps of one refinement pass that tests drive on their own: the per-leaf split / merge decision
// over a box of root tiles (marks only; the tree is not changed).
#pragma once
#include "grid/sl_grid.h"

namespace VELDRA_TRW::refinement {

// Level a leaf should have for its value a = |phi| and regional value r = |regional| (read only with
// the regional level set in use); a whole number carried as float.
float desiredLevel(const SLGrid2D& grid, float a, float r);

// Sets SPLIT_MARK (with grading) and MERGE_MARK on the leaves of tiles [i0, i1) x [j0, j1) and notes
// those tiles in the refinement workspace. Expects the marks to have been cleared.
void markLeaves(SLGrid2D& grid, int i0, int j0, int i1, int j1);

}  // namespace VELDRA_TRW::refinement
