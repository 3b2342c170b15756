// The edge snap entry point: checks the host's block and runs the pipeline on the shared workspace
// with the fastest row kernels of this processor.
#include "edgesnap/edge_snap.h"

#include "edgesnap/edge_snap_stages.h"

namespace VELDRA_EDGESNAP {

void ComputeEdgeSnapData(int w, int h, const unsigned char* image, int imageStride, float* snapX,
                         int snapXStride, float* snapY, int snapYStride) {
  if (!EdgeSnapArgumentsValid(w, h, image, imageStride, snapX, snapXStride, snapY, snapYStride)) return;
  RunEdgeSnapPipeline(BestRowKernels(), SharedEdgeSnapWorkspace(), w, h, image, imageStride, snapX,
                      snapXStride, snapY, snapYStride);
}

}  // namespace VELDRA_EDGESNAP
