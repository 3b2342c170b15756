// The edge snap workspace: the Gaussian taps filled in on creation, and the one shared instance.
#include "edgesnap/edge_snap_workspace.h"

#include "edgesnap/edge_snap_constants.h"

namespace VELDRA_EDGESNAP {

EdgeSnapWorkspace::EdgeSnapWorkspace() : kernel(kGaussianTaps, kGaussianTaps + kKernelTaps) {}

EdgeSnapWorkspace& SharedEdgeSnapWorkspace() {
  // A function-local static is constructed exactly once even when first reached by several threads.
  static EdgeSnapWorkspace workspace;
  return workspace;
}

}  // namespace VELDRA_EDGESNAP
