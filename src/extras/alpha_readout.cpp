// The alpha read-out. Leaves filled whole by the two-level read-out are filled with 0 or 255 (unless a
// feather reaches into them); in the other leaves each pixel starts from the stencil that the
// two-level read-out uses there. When the pixel's square lies inside the stencil's square, the
// stencil's values bound the field there, then the corners of the pieces under the square, and only
// a square that neither bound settles gets the nine field values (exact, from the stencil's pieces)
// and their covered fraction. A square that reaches past the stencil's square (its centre on the
// square's side, as on the centre lines of coarser leaves) is covered by the plane through the
// pixel's value with the slope of the stencil's piece there: exact for straight boundaries, and
// agreeing with the two-level read-out's sign; a bound on the plane from the stencil's values alone
// settles most such squares before the plane is worked out. Both bounds settle only what computing
// the values would settle, so they change no byte.
#include "extras/alpha_readout.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "extras/pixel_coverage.h"
#include "extras/rect_leaves.h"
#include "extras/stencil_patch.h"

namespace VELDRA_EXTRAS_CORE {
namespace {

using VELDRA_TRW::LeafPixelStencils;
using VELDRA_TRW::sampling::Stencil;

class LeafAlpha {
 public:
  LeafAlpha(const SLGrid2D& grid, unsigned leaf, float cx, float cy, float edge, const VELDRA_TRW::LeafWindow& window,
            float feather, bool bound)
      : grid_(grid), stencils_(grid, leaf, cx, cy, edge, &window), feather_(feather), bound_(bound) {}

  unsigned char at(int px, int py) {
    const LeafPixelStencils::Found found = stencils_.at(px, py);
    const Stencil& s = found.stencil;
    const float squareEdge = found.leafEdge * (s.level == VELDRA_TRW::sampling::STENCIL_PARENT_LEVEL ? 2.0f : 1.0f);
    const float half = 0.5f / squareEdge;
    PixelField f;
    if (s.sx >= half && s.sx + half <= 1.0f && s.sy >= half && s.sy + half <= 1.0f) {
      // The square lies in the stencil's square, whose field stays within the stencil's values.
      const ValueRange range = rangeOf(found);
      if (range.hi <= -feather_) return 255;
      if (range.lo > feather_) return 0;
      StencilPatch& patch = patchOf(found);
      // Without children the pieces' corners are the stencil's values, which did not settle it.
      const int bounded = bound_ && s.mask != 0
                              ? settledByCorners(patch.cornerRange(s.sx - half, s.sy - half, s.sx + half, s.sy + half))
                              : -1;
      if (bounded >= 0) return static_cast<unsigned char>(bounded);
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
          f.v[r][c] = patch.value(s.sx + static_cast<float>(c - 1) * half, s.sy + static_cast<float>(r - 1) * half);
    } else {
      // The square reaches past the stencil's square (its centre lies on the square's side): the
      // field through the pixel's value with the slope of the stencil's piece there.
      const int bounded = bound_ ? settledByRange(found, squareEdge) : -1;
      if (bounded >= 0) return static_cast<unsigned char>(bounded);
      const float v = VELDRA_TRW::sampling::InterpolateStencilOn(s, grid_.levelSet.data());
      float dx, dy;
      patchOf(found).slope(s.sx, s.sy, dx, dy);
      const float gx = 0.5f * dx / squareEdge, gy = 0.5f * dy / squareEdge;  // change per half pixel
      const float reach = std::fabs(gx) + std::fabs(gy);
      if (v + reach <= -feather_) return 255;
      if (v - reach > feather_) return 0;
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) f.v[r][c] = v + static_cast<float>(c - 1) * gx + static_cast<float>(r - 1) * gy;
    }
    return AlphaByte(PixelAlpha(f, feather_));
  }

 private:
  ValueRange rangeOf(const LeafPixelStencils::Found& found) {
    if (found.slot == LeafPixelStencils::kSearched) return StencilRange(grid_, found.stencil);
    if (!rangeKnown_[found.slot]) {
      ranges_[found.slot] = StencilRange(grid_, found.stencil);
      rangeKnown_[found.slot] = true;
    }
    return ranges_[found.slot];
  }

  // The plane's byte when the stencil's values alone settle it, else -1. The pixel's value and every
  // piece corner are weighted means of those values, so they lie in their range up to the
  // interpolant's rounding (2^-16 of the largest magnitude, see the two-level read-out); a piece's
  // slope per square edge is then at most the range's width over the piece's width (a quarter of the
  // square where cells have children, else the whole square), and the plane's reach over half a
  // pixel at most that over the square's edge in pixels. A bound past the feather, with room for the
  // rounding of the plane's own sums, settles the pixel as computing the plane would.
  int settledByRange(const LeafPixelStencils::Found& found, float squareEdge) {
    const ValueRange range = rangeOf(found);
    if (!range.finite) return -1;
    const double lo = range.lo, hi = range.hi;
    const double magnitude = std::max(std::fabs(lo), std::fabs(hi));
    const double rounding = magnitude * 0x1p-16 + 0x1p-100;
    const double reach = (hi - lo + 2.0 * rounding) * (found.stencil.mask != 0 ? 4.0 : 1.0) / squareEdge;
    return byteBeyondFeather(lo, hi, rounding + reach + (magnitude + reach) * 0x1p-16 + 0x1p-100);
  }

  // The byte when the corners of the pieces under the square settle it, else -1. The nine values are
  // bilinear blends of those corners (weights in [0, 1] adding up to 1 within rounding), so each lies
  // in their range up to 2^-16 of their largest magnitude; a range that far past the feather puts all
  // nine past it, where the alpha is whole.
  int settledByCorners(const ValueRange& corners) const {
    if (!corners.finite) return -1;
    const double lo = corners.lo, hi = corners.hi;
    return byteBeyondFeather(lo, hi, std::max(std::fabs(lo), std::fabs(hi)) * 0x1p-16 + 0x1p-100);
  }

  // 255 when every value the bounds [lo - room, hi + room] allow lies at or below -feather, 0 when
  // every one lies above feather, else -1.
  int byteBeyondFeather(double lo, double hi, double room) const {
    if (hi + room <= -static_cast<double>(feather_)) return 255;
    if (lo - room > static_cast<double>(feather_)) return 0;
    return -1;
  }

  StencilPatch& patchOf(const LeafPixelStencils::Found& found) {
    StencilPatch& patch = patches_[found.slot];
    if (found.slot == LeafPixelStencils::kSearched || !patchReady_[found.slot]) {
      patch.reset(grid_, found.stencil);
      if (found.slot != LeafPixelStencils::kSearched) patchReady_[found.slot] = true;
    }
    return patch;
  }

  const SLGrid2D& grid_;
  LeafPixelStencils stencils_;
  float feather_;
  bool bound_;
  ValueRange ranges_[4];
  bool rangeKnown_[4] = {false, false, false, false};
  StencilPatch patches_[5];
  bool patchReady_[4] = {false, false, false, false};
};

}  // namespace

void RenderAlpha(const SLGrid2D& grid, int x, int y, int w, int h, unsigned char* alpha, int stride, float feather,
                 bool bound) {
  if (alpha == nullptr || w <= 0 || h <= 0 || !grid.hasBlock()) return;
  const FillRule rule(grid);
  const auto byteAt = [=](int px, int py) {
    return alpha + static_cast<std::ptrdiff_t>(py - y) * stride + (px - x);
  };
  ForEachLeafOfRect(grid, x, y, w, h,
                    [&](unsigned leaf, float cx, float cy, float edge, const VELDRA_TRW::PixelBlock& b,
                        const VELDRA_TRW::LeafWindow& window) {
    const float value = grid.levelSet[leaf];
    // Leaves that the two-level read-out fills whole are filled alike, unless a feather reaches into
    // them: the leaf's value is within the feather plus the field's change across the leaf (slope at
    // most about 1.4 over half a diagonal).
    if (rule.filledWhole(grid, leaf) && (feather == 0.0f || std::fabs(value) >= feather + edge)) {
      const unsigned char byte = value < 0.0f ? 255 : 0;
      for (int py = b.row0; py <= b.row1; ++py) std::memset(byteAt(b.col0, py), byte, static_cast<std::size_t>(b.col1 - b.col0 + 1));
      return;
    }
    LeafAlpha leafAlpha(grid, leaf, cx, cy, edge, window, feather, bound);
    for (int py = b.row0; py <= b.row1; ++py)
      for (int px = b.col0; px <= b.col1; ++px) *byteAt(px, py) = leafAlpha.at(px, py);
  });
}

}  // namespace VELDRA_EXTRAS_CORE
