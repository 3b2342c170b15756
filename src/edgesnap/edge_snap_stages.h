#pragma once

#include "edgesnap/edge_snap_workspace.h"
#include "edgesnap/row_kernels.h"

// The stages of the edge snap pipeline over the shared work images, each a parallel loop over rows
// that finishes before the next stage starts. Separate entry points so that each can be measured.
namespace VELDRA_EDGESNAP {

// Sizes the work images for a w x h output block; allocates only when they must grow.
void PrepareWorkspace(EdgeSnapWorkspace& workspace, int w, int h);

// Colour rows 0 ... h + 23: converts the bytes to L*u*v* into `colour`, then blurs each row along x
// into `scratch` (columns 10 ... w + 13). Row r of the blur reads only row r of the colours.
void ConvertAndBlurRows(const RowKernels& kernels, EdgeSnapWorkspace& workspace,
                        const unsigned char* image, int imageStride);

// Rows 10 ... h + 13, columns 10 ... w + 13 of `colour` := `scratch` blurred along y. The columns
// outside would only blur pixels the row blur never wrote, and nothing reads them.
void BlurColumns(const RowKernels& kernels, EdgeSnapWorkspace& workspace);

// `orientation` (w + 2) x (h + 2) from the central differences of the blurred colours.
void ComputeOrientation(const RowKernels& kernels, EdgeSnapWorkspace& workspace);

// snapX, snapY (w x h) from `orientation`.
void ProjectOntoOrientation(const RowKernels& kernels, const EdgeSnapWorkspace& workspace,
                            float* snapX, int snapXStride, float* snapY, int snapYStride);

// Whether the arguments describe a block this library can process; anything else is ignored. Row
// strides may be negative (rows stored bottom-up); output rows must not overlap one another.
bool EdgeSnapArgumentsValid(int w, int h, const unsigned char* image, int imageStride,
                            const float* snapX, int snapXStride, const float* snapY,
                            int snapYStride);

// The whole pipeline with the given kernels; arguments must be valid.
void RunEdgeSnapPipeline(const RowKernels& kernels, EdgeSnapWorkspace& workspace, int w, int h,
                         const unsigned char* image, int imageStride, float* snapX,
                         int snapXStride, float* snapY, int snapYStride);

}  // namespace VELDRA_EDGESNAP
