// The edit-mode machine: which operation a stroke performs, chosen from the host's mode, the stroke's
// current operation, the regional-stroke state and the region label under the brush. The operation
// chosen at the first event of a stroke stays for the whole stroke, except that the smoothing mode
// takes over at any time and a regional stroke re-chooses between band brush and band paint at every
// event.
#pragma once
#include <cstdint>

#include <veldra/veldra.h>

#include "api/engine.h"

namespace VELDRA_CORE {

// Label under the brush: the winning region label while the regional level set is in use, otherwise
// 1 where the field is >= 0 (or not a number) and 0 where it is negative. Points far outside the
// root grid are first clamped into it (the ghost border answers "outside").
unsigned char LabelUnderBrush(const SLGrid2D& grid, float x, float y);

// The next operation code. labelAt() is called exactly once for the add, subtract and auto modes,
// never otherwise.
template <typename LabelAt>
std::int32_t NextOperation(int mode, std::int32_t operation, bool regionalStroke, bool useRegional,
                           LabelAt&& labelAt) {
  using namespace VELDRA_TRW;
  if (mode == VELDRA::EDITMODE_SMOOTH) return OP_SMOOTH;
  if (mode < VELDRA::EDITMODE_ADD || mode > VELDRA::EDITMODE_AUTO) return operation;
  const unsigned char label = labelAt();
  if (operation == OP_IDLE && !regionalStroke) {
    if (mode == VELDRA::EDITMODE_ADD) return OP_ADD;
    if (mode == VELDRA::EDITMODE_SUBTRACT) return OP_SUBTRACT;
    if (label == REGION_INSIDE) return OP_ADD;
    if (label == REGION_OUTSIDE) return OP_SUBTRACT;
    return OP_IDLE;
  }
  if (regionalStroke && useRegional) return label == REGION_BAND ? OP_REGION_BRUSH : OP_BAND_PAINT;
  return operation;
}

}  // namespace VELDRA_CORE
