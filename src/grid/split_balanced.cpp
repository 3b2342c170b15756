// Placeholder: graded splitting is not built yet.
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

void SLGrid2D::SplitBalanced(unsigned, bool) {}

}  // namespace VELDRA_TRW
