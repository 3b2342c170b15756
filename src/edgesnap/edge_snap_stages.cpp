// The edge snap pipeline's stages and its bands of rows: ring buffers of rows per band, the parallel
// loop over bands, and the checks of the host's arguments.
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

constexpr int kBorder = 2 * kMargin;  // colour pixels beyond the output block, both sides together
constexpr int kTaps = kKernelTaps;
// Output rows per band, roughly: each band converts and blurs kBorder image rows that the band next
// to it converts too.
constexpr int kBandRows = 192;
// Rows of the ring of rows blurred along x: the windows of a group of blurred rows made at once.
constexpr int kRowRing = kTaps + kColumnBlurRows - 1;
// Rows of the ring of blurred rows: a group, and the two rows before it that the tensor of its first
// row reads.
constexpr int kBlurredRing = kColumnBlurRows + 2;
constexpr int kOrientationRing = 3;

// Row `row` of a ring of n rows, at column x.
float* RingRow(WorkImage& ring, int n, int row, int x = 0) { return ring.At(x, row % n); }

// The offsets in floats from row `row` of a ring of n rows to the rows before and after it: the
// kernels read a row's neighbours wherever the ring keeps them, so no row is ever copied.
std::ptrdiff_t ToRowBefore(WorkImage& ring, int n, int row) {
  return RingRow(ring, n, row - 1) - RingRow(ring, n, row);
}
std::ptrdiff_t ToRowAfter(WorkImage& ring, int n, int row) {
  return RingRow(ring, n, row + 1) - RingRow(ring, n, row);
}

// Claims a band's rows for the running unit of work and gives them back when it ends.
class ClaimedRows {
 public:
  explicit ClaimedRows(EdgeSnapWorkspace& workspace) {
    // At most as many units run at once as there are bands, so one of the first kMaxBands is free.
    for (int s = 0;; s = (s + 1) % kMaxBands) {
      BandRows& candidate = workspace.bands[s];
      if (!candidate.busy.exchange(true, std::memory_order_acquire)) {
        rows_ = &candidate;
        return;
      }
    }
  }
  ~ClaimedRows() { rows_->busy.store(false, std::memory_order_release); }
  ClaimedRows(const ClaimedRows&) = delete;
  ClaimedRows& operator=(const ClaimedRows&) = delete;
  BandRows& rows() { return *rows_; }

 private:
  BandRows* rows_ = nullptr;
};

}  // namespace

int BandCount(int h) {
  if (h < 32) return 1;
  return std::clamp(h / kBandRows, 2, kMaxBands);
}

void PrepareBand(BandRows& rows, int w) {
  rows.converted.SetSize(w + kBorder, 1);
  rows.rowBlurred.SetSize(w + 4, kRowRing);
  rows.blurred.SetSize(w + 4, kBlurredRing);
  rows.orientation.SetSize(w + 2, kOrientationRing);
}

// Image row k (0 ... h + 23) is converted and blurred along x into the ring of kRowRing rows. Once the
// ring holds rows k - 20 ... k, blurred row b = k - 10 (columns 10 ... w + 13) is their blur along y;
// these are made kColumnBlurRows at a time (fewer at the band's end), each group from one pass over its
// rows' windows. Once blurred rows b - 2 ... b exist, orientation row r = b - 12 follows (centred on
// blurred row r + 11), and once orientation rows r - 2 ... r exist, output row r - 2 (centred on
// orientation row r - 1). A band of output rows [y0, y1) thus reads image rows [y0, y1 + 24).
void RunBand(const RowKernels& kernels, BandRows& rows, const float* taps, int w, int y0, int y1,
             const unsigned char* image, int imageStride, float* snapX, int snapXStride, float* snapY,
             int snapYStride) {
  const std::ptrdiff_t convertedPlane = rows.converted.PlaneStrideFloats();
  const std::ptrdiff_t rowBlurredPlane = rows.rowBlurred.PlaneStrideFloats();
  const std::ptrdiff_t rowBlurredStride = rows.rowBlurred.RowStrideFloats();
  float* converted = rows.converted.At(0, 0);
  const int lastRow = y1 + kBorder - 1;
  int pending = y0 + kKernelRadius;  // the first blurred row not made yet
  for (int k = y0; k <= lastRow; ++k) {
    kernels.convertRow(image + std::ptrdiff_t(k) * imageStride * 4, w + kBorder, converted, convertedPlane);
    float* rowBlurred = RingRow(rows.rowBlurred, kRowRing, k);
    for (int c = 0; c < WorkImage::kChannels; ++c)
      kernels.blurRow(converted + c * convertedPlane, rowBlurred + c * rowBlurredPlane, w + 4, taps);
    const int first = k - (kTaps - 1);  // first ring row of blurred row b's window
    if (first < y0) continue;
    const int b = k - kKernelRadius;
    const int count = b - pending + 1;
    if (count < kColumnBlurRows && k < lastRow) continue;
    // The planes of a row lie side by side, so one span blurs all three down the columns.
    const float* windows[kTaps + kColumnBlurRows - 1];
    float* blurred[kColumnBlurRows];
    for (int m = 0; m < count + kTaps - 1; ++m)
      windows[m] = RingRow(rows.rowBlurred, kRowRing, pending - kKernelRadius + m);
    for (int j = 0; j < count; ++j) blurred[j] = RingRow(rows.blurred, kBlurredRing, pending + j);
    kernels.blurColumns(windows, blurred, count, int(rowBlurredStride), taps);
    for (int made = pending; made <= b; ++made) {
      const int r = made - (kMargin - 1) - 1;
      if (r < y0) continue;
      // Orientation pixel x sits on blurred column x + 1 (image column x + 11) of row made - 1.
      const int centre = made - 1;
      kernels.tensorRow(RingRow(rows.blurred, kBlurredRing, centre, 1), ToRowBefore(rows.blurred, kBlurredRing, centre),
                        ToRowAfter(rows.blurred, kBlurredRing, centre), rows.blurred.PlaneStrideFloats(),
                        RingRow(rows.orientation, kOrientationRing, r), rows.orientation.PlaneStrideFloats(), w + 2);
      const int y = r - 2;
      if (y < y0) continue;
      kernels.outputRow(RingRow(rows.orientation, kOrientationRing, r - 1, 1),
                        ToRowBefore(rows.orientation, kOrientationRing, r - 1),
                        ToRowAfter(rows.orientation, kOrientationRing, r - 1), rows.orientation.PlaneStrideFloats(),
                        snapX + std::ptrdiff_t(y) * snapXStride, snapY + std::ptrdiff_t(y) * snapYStride, w);
    }
    pending = b + 1;
  }
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
  // Every work row and every host buffer must be addressable.
  const std::uint64_t pixels = std::uint64_t(w + kBorder) * std::uint64_t(h + kBorder);
  return pixels <= std::uint64_t(PTRDIFF_MAX) / (WorkImage::kChannels * sizeof(float));
}

void RunEdgeSnapPipeline(const RowKernels& kernels, EdgeSnapWorkspace& workspace, int w, int h,
                         const unsigned char* image, int imageStride, float* snapX,
                         int snapXStride, float* snapY, int snapYStride) {
  if (workspace.kernel.size() < 4) workspace.kernel.assign(kGaussianTaps, kGaussianTaps + kKernelTaps);
  const int bands = BandCount(h);
  // Units claim the first free rows, so no more of them are used than units run at once.
  const int inUse = std::min(bands, VELDRA_COMMON::maxConcurrency());
  for (int s = 0; s < inUse; ++s) PrepareBand(workspace.bands[s], w);
  const float* taps = workspace.kernel.data();
  VELDRA_COMMON::parallelRows(0, bands, [&](const tbb::blocked_range<int>& units) {
    for (int band = units.begin(); band != units.end(); ++band) {
      ClaimedRows claimed(workspace);
      // A unit beyond the expected concurrency (none in practice) sizes its rows itself.
      PrepareBand(claimed.rows(), w);
      const int y0 = int(std::int64_t(h) * band / bands), y1 = int(std::int64_t(h) * (band + 1) / bands);
      RunBand(kernels, claimed.rows(), taps, w, y0, y1, image, imageStride, snapX, snapXStride, snapY, snapYStride);
    }
  });
}

}  // namespace VELDRA_EDGESNAP
