// Placeholder: finite differences on the quadtree are not built yet.
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

float SLGrid2D::FaceDifference(unsigned, Direction, const float*) const { return 0.0f; }
void SLGrid2D::NodeGradient(unsigned, float& gx, float& gy) const { gx = gy = 0.0f; }

}  // namespace VELDRA_TRW
