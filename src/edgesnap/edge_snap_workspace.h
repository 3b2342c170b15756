// What the edge snap pipeline keeps between calls: the rows each band streams through and the
// Gaussian taps, in one workspace shared by every call.
#pragma once

#include <array>
#include <atomic>
#include <vector>

#include "edgesnap/work_image.h"

namespace VELDRA_EDGESNAP {

// The rows one unit of work keeps while it streams a band of output rows through the pipeline, each a
// ring of rows that the stages read in place: the kernels take the rows above and below a row by
// their offsets, wherever the ring keeps them. Rows hold three channel planes (WorkImage); widths are
// in pixels, for a w-pixel-wide output block:
//   converted   1 row of w + 24:    L*, u*, v* of the current image row
//   rowBlurred  26 rows of w + 4:   the converted rows blurred along x (image columns 10 ... w + 13):
//                                   the windows of the six rows one column blur makes
//   blurred     8 rows of w + 4:    the same blurred along y as well: six made at once, and two before
//   orientation 3 rows of w + 2:    ex, ey, strength: unit dominant direction and edge strength
// 38 rows of 12 bytes per pixel of the block's width, whatever its height: 0.9 MB for a block 2000
// pixels wide, of which a column blur reads the 26 rows of its windows at a time.
struct BandRows {
  WorkImage converted;
  WorkImage rowBlurred;
  WorkImage blurred;
  WorkImage orientation;
  std::atomic<bool> busy{false};  // claimed by a running unit of work
};

// Units of work that may run at once; no call splits a block into more bands than this.
inline constexpr int kMaxBands = 16;

// The state the pipeline keeps between calls: storage only, no results.
struct EdgeSnapWorkspace {
  EdgeSnapWorkspace();

  std::array<BandRows, kMaxBands> bands;
  std::vector<float> kernel;  // the Gaussian taps; filled on creation, refilled if ever emptied
};

// The one workspace of the library, created on first use (safe against concurrent first calls) and
// destroyed when the library is unloaded.
EdgeSnapWorkspace& SharedEdgeSnapWorkspace();

}  // namespace VELDRA_EDGESNAP
