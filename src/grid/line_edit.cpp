// Placeholder: line edits are not built yet.
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

void SLGrid2D::LineEdit(unsigned char, const float[2], const float[2], float) {}

}  // namespace VELDRA_TRW
