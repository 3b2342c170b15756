// Placeholder: seeding the selection from a host mask is not built yet.
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

void SLGrid2D::InitFromMask(int, int, int, int, const unsigned char*, int) {}

}  // namespace VELDRA_TRW
