// Placeholder: narrow-band reinitialisation is not built yet.
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

void SLGrid2D::UpdateNarrowBand(int, int, int, int) {}

}  // namespace VELDRA_TRW
