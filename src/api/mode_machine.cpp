// The label under the brush that the edit-mode machine reads at the start of a stroke event.
#include "api/mode_machine.h"

#include <algorithm>

namespace VELDRA_CORE {

unsigned char LabelUnderBrush(const SLGrid2D& grid, float x, float y) {
  // The sampler needs its start tile, and every tile it steps to, inside the ghost border: from 1.5
  // tiles before the image up to 2 tiles past its last tile.
  const float lo = -1.5f * grid.tileSizeF;
  const float hiX = (static_cast<float>(grid.ni) + 2.0f) * grid.tileSizeF - 1.0f;
  const float hiY = (static_cast<float>(grid.nj) + 2.0f) * grid.tileSizeF - 1.0f;
  // NaN coordinates cannot reach here: the drivers pass integers converted to float.
  x = std::clamp(x, lo, hiX);
  y = std::clamp(y, lo, hiY);
  float margin = 0.0f;
  unsigned char label = VELDRA_TRW::REGION_OUTSIDE;
  const float value = grid.SampleInterpolated(x, y, &margin, &label);
  if (grid.useRegional != 0) return label;
  return value < 0.0f ? VELDRA_TRW::REGION_INSIDE : VELDRA_TRW::REGION_OUTSIDE;
}

}  // namespace VELDRA_CORE
