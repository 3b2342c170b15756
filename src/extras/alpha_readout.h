// The soft-edged read-out: each pixel's share of its square inside the selection, as a byte.
#pragma once
#include "grid/sl_grid.h"

namespace VELDRA_EXTRAS_CORE {

// Writes the alpha of every pixel of (x, y, w, h) into alpha (first byte pixel (x, y), rows stride
// bytes apart); see VELDRA_EXTRAS::GetSelectionAlpha. The rectangle must lie inside the image.
// Pixels that bounds on their values settle are not worked out in full; `bound` false works out
// every pixel that the stencil's range leaves open, which gives the same bytes (the tests compare).
void RenderAlpha(const VELDRA_TRW::SLGrid2D& grid, int x, int y, int w, int h, unsigned char* alpha, int stride,
                 float feather, bool bound = true);

}  // namespace VELDRA_EXTRAS_CORE
