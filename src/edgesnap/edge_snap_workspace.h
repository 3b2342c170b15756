#pragma once

#include <vector>

#include "edgesnap/work_image.h"

namespace VELDRA_EDGESNAP {

// The state the pipeline keeps between calls: storage only, no results. For a w x h block,
//   colour      (w + 24) x (h + 24): (L*, u*, v*, 0), later blurred in place,
//   scratch     (w + 24) x (h + 24): the horizontally blurred colours,
//   orientation (w + 2) x (h + 2):   (ex, ey, strength, 0), unit dominant direction and edge strength.
struct EdgeSnapWorkspace {
  EdgeSnapWorkspace();

  WorkImage colour;
  WorkImage scratch;
  WorkImage orientation;
  std::vector<float> kernel;  // the Gaussian taps; filled on creation, refilled if ever emptied
};

// The one workspace of the library, created on first use (safe against concurrent first calls) and
// destroyed when the library is unloaded.
EdgeSnapWorkspace& SharedEdgeSnapWorkspace();

}  // namespace VELDRA_EDGESNAP
