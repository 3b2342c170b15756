// The edge snap pipeline: colour conversion, Gaussian blur along x and then along y, the structure
// tensor's orientation, and the projection onto it. The output block is split into bands of rows,
// each a unit of a parallel loop that streams its rows through all four stages in a few rows of its
// own (BandRows), so that the intermediate images never exist whole: their memory stays within the
// cache, and a larger block needs no larger work storage than a wider one does.
#pragma once

#include "edgesnap/edge_snap_workspace.h"
#include "edgesnap/row_kernels.h"

namespace VELDRA_EDGESNAP {

// Bands a block of h output rows is split into: one for a few rows, else at least two (so that both
// threads of a small brush share it) and about one per 192 rows, at most kMaxBands. Each band converts
// and row-blurs 24 image rows more than it outputs, so longer bands waste less.
int BandCount(int h);

// Output rows [y0, y1) of a w-pixel-wide block through every stage, in `rows` (sized by PrepareBand).
// Each output pixel goes through the same operations in the same order, whatever the band bounds.
void RunBand(const RowKernels& kernels, BandRows& rows, const float* taps, int w, int y0, int y1,
             const unsigned char* image, int imageStride, float* snapX, int snapXStride, float* snapY,
             int snapYStride);

// Sizes one band's rows for a w-pixel-wide block; allocates only when they must grow.
void PrepareBand(BandRows& rows, int w);

// Whether the arguments describe a block this library can process; anything else is ignored. Row
// strides may be negative (rows stored bottom-up); output rows must not overlap one another.
bool EdgeSnapArgumentsValid(int w, int h, const unsigned char* image, int imageStride,
                            const float* snapX, int snapXStride, const float* snapY,
                            int snapYStride);

// The whole pipeline with the given kernels; arguments must be valid. Every band's rows that can be in
// use at once are sized before any output is written, so a failed allocation leaves both arrays as
// they were.
void RunEdgeSnapPipeline(const RowKernels& kernels, EdgeSnapWorkspace& workspace, int w, int h,
                         const unsigned char* image, int imageStride, float* snapX,
                         int snapXStride, float* snapY, int snapYStride);

}  // namespace VELDRA_EDGESNAP
