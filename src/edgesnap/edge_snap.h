// Edge vector field for the brush's edge snapping: turns a block of the host's colour image into two
// float arrays that point, at every pixel, along the dominant colour gradient towards stronger edges.
#pragma once

namespace VELDRA_EDGESNAP {

// image holds (w + 24) x (h + 24) pixels of 4 bytes (red, green, blue, ignored), imageStride pixels
// per row; output pixel (x, y) describes image pixel (x + 12, y + 12). snapX and snapY receive w x h
// floats each, rows snapXStride and snapYStride floats apart; nothing outside w x h is written.
// Strides may be negative (rows stored bottom-up), and image rows may share memory. Does nothing for
// null pointers, w or h below 1, or output rows that would overlap (|stride| < w with h > 1).
// Calls must not overlap: the work images are shared by every call.
void ComputeEdgeSnapData(int w, int h, const unsigned char* image, int imageStride, float* snapX,
                         int snapXStride, float* snapY, int snapYStride);

}  // namespace VELDRA_EDGESNAP
