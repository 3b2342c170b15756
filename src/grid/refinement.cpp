// Placeholder: adaptive refinement is not built yet.
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

void SLGrid2D::RefineGridForField(int, int, int, int) {}
void SLGrid2D::ClearRefineMarks() {}
void SLGrid2D::MarkSplit(unsigned) {}
void SLGrid2D::MarkGhostTiles() {}
void SLGrid2D::ApplyRefinement() {}
void SLGrid2D::SplitValues(unsigned, unsigned) {}
bool SLGrid2D::CanMerge(unsigned) const { return false; }
void SLGrid2D::MergeValues(unsigned) {}

}  // namespace VELDRA_TRW
