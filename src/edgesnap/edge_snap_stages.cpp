// The edge snap pipeline's stages and its bands of rows: ring buffers of rows per band, the parallel
// loop over bands, and the checks of the host's arguments.
#include "edgesnap/edge_snap_stages.h"

#include <tbb/blocked_range.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

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
// Rows of the (twice-stored) ring of blurred rows: a group, and the two rows before it that the
// tensor of its first row reads.
constexpr int kBlurredRing = kColumnBlurRows + 2;

// Stores row `row` of a twice-stored ring of n rows: written into slot row mod n, copied into slot
// row mod n + n. Returns the first copy.
float* RingSlot(WorkImage& ring, int n, int row) { return ring.At(0, row % n); }
void CopyToSecondSlot(WorkImage& ring, int n, int row) {
  std::memcpy(ring.At(0, row % n + n), ring.At(0, row % n), std::size_t(ring.RowStrideFloats()) * sizeof(float));
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
  rows.blurred.SetSize(w + 4, 2 * kBlurredRing);
  rows.orientation.SetSize(w + 2, 2 * 3);
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
  const std::ptrdiff_t blurredStride = rows.blurred.RowStrideFloats();
  const std::ptrdiff_t orientationStride = rows.orientation.RowStrideFloats();
  float* converted = rows.converted.At(0, 0);
  const int lastRow = y1 + kBorder - 1;
  int pending = y0 + kKernelRadius;  // the first blurred row not made yet
  for (int k = y0; k <= lastRow; ++k) {
    kernels.convertRow(image + std::ptrdiff_t(k) * imageStride * 4, w + kBorder, converted, convertedPlane);
    float* rowBlurred = rows.rowBlurred.At(0, k % kRowRing);
    for (int c = 0; c < WorkImage::kChannels; ++c)
      kernels.blurSpan(converted + c * convertedPlane, 1, rowBlurred + c * rowBlurredPlane, w + 4, taps);
    const int first = k - (kTaps - 1);  // first ring row of blurred row b's window
    if (first < y0) continue;
    const int b = k - kKernelRadius;
    const int count = b - pending + 1;
    if (count < kColumnBlurRows && k < lastRow) continue;
    // The planes of a row lie side by side, so one span blurs all three down the columns.
    const float* windows[kTaps + kColumnBlurRows - 1];
    float* blurred[kColumnBlurRows];
    for (int m = 0; m < count + kTaps - 1; ++m)
      windows[m] = rows.rowBlurred.At(0, (pending - kKernelRadius + m) % kRowRing);
    for (int j = 0; j < count; ++j) blurred[j] = RingSlot(rows.blurred, kBlurredRing, pending + j);
    kernels.blurColumns(windows, blurred, count, int(rowBlurredStride), taps);
    for (int made = pending; made <= b; ++made) {
      CopyToSecondSlot(rows.blurred, kBlurredRing, made);
      const int r = made - (kMargin - 1) - 1;
      if (r < y0) continue;
      // Orientation pixel x sits on blurred column x + 1 (image column x + 11) of row made - 1.
      kernels.tensorRow(rows.blurred.At(1, (made - 2) % kBlurredRing + 1), blurredStride,
                        rows.blurred.PlaneStrideFloats(), RingSlot(rows.orientation, 3, r),
                        rows.orientation.PlaneStrideFloats(), w + 2);
      CopyToSecondSlot(rows.orientation, 3, r);
      const int y = r - 2;
      if (y < y0) continue;
      kernels.outputRow(rows.orientation.At(1, (r - 2) % 3 + 1), orientationStride,
                        rows.orientation.PlaneStrideFloats(), snapX + std::ptrdiff_t(y) * snapXStride,
                        snapY + std::ptrdiff_t(y) * snapYStride, w);
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
