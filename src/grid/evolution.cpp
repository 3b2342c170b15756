// Placeholder: front evolution is not built yet.
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

void SLGrid2D::EvolveFront(bool, int, float, float, float, float, float, float, float, int, int, int, int,
                           const float*, int, const float*, int) {}

}  // namespace VELDRA_TRW
