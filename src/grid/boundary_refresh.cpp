// Placeholder: boundary refresh is not built yet.
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

void SLGrid2D::RefreshBoundary(float*) {}
void SLGrid2D::RefreshBoundary(unsigned char*) {}

}  // namespace VELDRA_TRW
