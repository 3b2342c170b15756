#include "edgesnap/edge_snap_stages.h"

#include <tbb/blocked_range.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "edgesnap/edge_snap_constants.h"
#include "common/parallel_rows.h"

namespace VELDRA_EDGESNAP {

namespace {

constexpr int kBorder = 2 * kMargin;   // colour pixels beyond the output block, both sides together
constexpr int kBlurStart = kKernelRadius;
// Columns of the column blur handled together down a run of rows: 21 rows of 64 pixels of
// scratch (21 KiB) stay in the first-level cache while they are reused by consecutive rows.
constexpr int kColumnBlockPixels = 64;

template <class Body>
void ForEachRowRange(int begin, int end, const Body& body) {
  VELDRA_COMMON::parallelRows(begin, end, body);
}

int OutputWidth(const EdgeSnapWorkspace& workspace) { return workspace.colour.Width() - kBorder; }
int OutputHeight(const EdgeSnapWorkspace& workspace) { return workspace.colour.Height() - kBorder; }

}  // namespace

void PrepareWorkspace(EdgeSnapWorkspace& workspace, int w, int h) {
  workspace.colour.SetSize(w + kBorder, h + kBorder);
  workspace.scratch.SetSize(w + kBorder, h + kBorder);
  workspace.orientation.SetSize(w + 2, h + 2);
}

void ConvertAndBlurRows(const RowKernels& kernels, EdgeSnapWorkspace& workspace,
                        const unsigned char* image, int imageStride) {
  const int w = OutputWidth(workspace);
  const int width = workspace.colour.Width();
  const float* taps = workspace.kernel.data();
  ForEachRowRange(0, workspace.colour.Height(), [&](const tbb::blocked_range<int>& rows) {
    for (int row = rows.begin(); row != rows.end(); ++row) {
      float* colourRow = workspace.colour.Pixel(0, row);
      kernels.convertRow(image + std::ptrdiff_t(row) * imageStride * 4, width, colourRow);
      kernels.blurSpan(colourRow, WorkImage::kFloatsPerPixel, workspace.scratch.Pixel(kBlurStart, row),
                       (w + kBorder - 2 * kKernelRadius) * WorkImage::kFloatsPerPixel, taps);
    }
  });
}

void BlurColumns(const RowKernels& kernels, EdgeSnapWorkspace& workspace) {
  const int columnEnd = workspace.colour.Width() - kKernelRadius;
  const int rowEnd = workspace.colour.Height() - kKernelRadius;
  const std::ptrdiff_t tapStride = workspace.scratch.RowStrideFloats();
  const float* taps = workspace.kernel.data();
  ForEachRowRange(kBlurStart, rowEnd, [&](const tbb::blocked_range<int>& rows) {
    for (int column = kBlurStart; column < columnEnd; column += kColumnBlockPixels) {
      const int columns = std::min(kColumnBlockPixels, columnEnd - column);
      for (int row = rows.begin(); row != rows.end(); ++row) {
        kernels.blurSpan(workspace.scratch.Pixel(column, row - kKernelRadius), tapStride,
                         workspace.colour.Pixel(column, row), columns * WorkImage::kFloatsPerPixel,
                         taps);
      }
    }
  });
}

void ComputeOrientation(const RowKernels& kernels, EdgeSnapWorkspace& workspace) {
  const int count = workspace.orientation.Width();
  const std::ptrdiff_t rowStride = workspace.colour.RowStrideFloats();
  // Orientation pixel (x, y) sits on blurred colour pixel (x + 11, y + 11).
  constexpr int kOffset = kMargin - 1;
  ForEachRowRange(0, workspace.orientation.Height(), [&](const tbb::blocked_range<int>& rows) {
    for (int row = rows.begin(); row != rows.end(); ++row) {
      kernels.tensorRow(workspace.colour.Pixel(kOffset, row + kOffset), rowStride,
                        workspace.orientation.Pixel(0, row), count);
    }
  });
}

void ProjectOntoOrientation(const RowKernels& kernels, const EdgeSnapWorkspace& workspace,
                            float* snapX, int snapXStride, float* snapY, int snapYStride) {
  const int w = OutputWidth(workspace);
  const std::ptrdiff_t rowStride = workspace.orientation.RowStrideFloats();
  ForEachRowRange(0, OutputHeight(workspace), [&](const tbb::blocked_range<int>& rows) {
    for (int y = rows.begin(); y != rows.end(); ++y) {
      kernels.outputRow(workspace.orientation.Pixel(1, y + 1), rowStride,
                        snapX + std::ptrdiff_t(y) * snapXStride, snapY + std::ptrdiff_t(y) * snapYStride,
                        w);
    }
  });
}

bool EdgeSnapArgumentsValid(int w, int h, const unsigned char* image, int /*imageStride*/,
                            const float* snapX, int snapXStride, const float* snapY,
                            int snapYStride) {
  if (image == nullptr || snapX == nullptr || snapY == nullptr) return false;
  if (w < 1 || h < 1 || w > INT_MAX - kBorder || h > INT_MAX - kBorder) return false;
  // The image is only read, so its rows may lie in any order and share memory. Output rows are
  // written by different threads: they may run bottom-up, but must not overlap.
  const auto overlaps = [w, h](int stride) { return h > 1 && std::llabs(static_cast<long long>(stride)) < w; };
  if (overlaps(snapXStride) || overlaps(snapYStride)) return false;
  // Every work image and every host buffer must be addressable.
  const std::uint64_t pixels = std::uint64_t(w + kBorder) * std::uint64_t(h + kBorder);
  return pixels <= std::uint64_t(PTRDIFF_MAX) / (WorkImage::kFloatsPerPixel * sizeof(float));
}

void RunEdgeSnapPipeline(const RowKernels& kernels, EdgeSnapWorkspace& workspace, int w, int h,
                         const unsigned char* image, int imageStride, float* snapX,
                         int snapXStride, float* snapY, int snapYStride) {
  PrepareWorkspace(workspace, w, h);
  if (workspace.kernel.size() < 4) workspace.kernel.assign(kGaussianTaps, kGaussianTaps + kKernelTaps);
  ConvertAndBlurRows(kernels, workspace, image, imageStride);
  BlurColumns(kernels, workspace);
  ComputeOrientation(kernels, workspace);
  ProjectOntoOrientation(kernels, workspace, snapX, snapXStride, snapY, snapYStride);
}

}  // namespace VELDRA_EDGESNAP
