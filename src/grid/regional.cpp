// Placeholder: the regional level set is not built yet.
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

void SLGrid2D::BuildRegions(int) {}
void SLGrid2D::RegionBrush(const float[2], float, float) {}

}  // namespace VELDRA_TRW
