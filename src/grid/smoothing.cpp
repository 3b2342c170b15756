// Placeholder: smoothing is not built yet.
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

void SLGrid2D::Smooth(float, float, float, float, int, int, int, int) {}

}  // namespace VELDRA_TRW
