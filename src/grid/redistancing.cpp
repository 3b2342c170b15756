// Placeholder: redistancing is not built yet.
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

void SLGrid2D::Redistance(int, int, int, int) {}

}  // namespace VELDRA_TRW
