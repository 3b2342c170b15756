// Edge vector field for the brush: from a block of the host's colour image to the field Step reads.
#pragma once

namespace VELDRA_EDGESNAP {

void ComputeEdgeSnapData(int w, int h, const unsigned char* image, int imageStride, float* snapX,
                         int snapXStride, float* snapY, int snapYStride);

}  // namespace VELDRA_EDGESNAP
