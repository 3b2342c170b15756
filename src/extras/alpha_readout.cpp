// The alpha read-out. Leaves filled whole by the two-level read-out are filled with 0 or 255 (unless a
// feather reaches into them); in the other leaves each pixel is first bounded cheaply from the
// stencil that the two-level read-out uses there, and only pixels whose square may hold the boundary
// (or a feathered level) get the nine field values and their covered fraction.
#include "extras/alpha_readout.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "extras/pixel_coverage.h"
#include "extras/rect_leaves.h"

namespace VELDRA_EXTRAS_CORE {
namespace {

using VELDRA_TRW::LeafPixelStencils;
using VELDRA_TRW::sampling::Stencil;

// Least and greatest value among a stencil's cells, or their children where a cell has them. The
// interpolant over the stencil's square is a weighted mean of these, so it stays within them.
struct ValueRange {
  float lo, hi;
};

ValueRange StencilRange(const SLGrid2D& grid, const Stencil& s) {
  const float* phi = grid.levelSet.data();
  ValueRange r{phi[s.cell[0]], phi[s.cell[0]]};
  const auto take = [&r](float v) {
    r.lo = std::min(r.lo, v);
    r.hi = std::max(r.hi, v);
  };
  for (int c = 0; c < 4; ++c) {
    if (s.child0[c] == VELDRA_TRW::NO_NODE) {
      take(phi[s.cell[c]]);
    } else {
      for (unsigned k = 0; k < 4; ++k) take(phi[s.child0[c] + k]);
    }
  }
  return r;
}

// The stencil moved by (dx, dy) pixels, when the point stays inside its square.
bool Shifted(const Stencil& s, float squareEdge, float dx, float dy, Stencil& out) {
  out = s;
  out.sx = s.sx + dx / squareEdge;
  out.sy = s.sy + dy / squareEdge;
  return out.sx >= 0.0f && out.sx <= 1.0f && out.sy >= 0.0f && out.sy <= 1.0f;
}

class LeafAlpha {
 public:
  LeafAlpha(const SLGrid2D& grid, unsigned leaf, float cx, float cy, float edge, float feather)
      : grid_(grid), stencils_(grid, leaf, cx, cy, edge), feather_(feather) {}

  unsigned char at(int px, int py) {
    const LeafPixelStencils::Found found = stencils_.at(px, py);
    const Stencil& s = found.stencil;
    const float squareEdge = found.leafEdge * (s.level == VELDRA_TRW::sampling::STENCIL_PARENT_LEVEL ? 2.0f : 1.0f);
    const ValueRange range = rangeOf(found);
    const float half = 0.5f / squareEdge;
    const bool inSquare = s.sx >= half && s.sx + half <= 1.0f && s.sy >= half && s.sy + half <= 1.0f;
    if (inSquare) {
      // The square lies in the stencil's square: its field is bounded by the stencil's values.
      if (range.hi <= -feather_) return 255;
      if (range.lo > feather_) return 0;
    } else {
      // The square reaches past the stencil's square: bound the field by the stencil's steepest
      // possible slope, with a margin of two for the neighbouring pieces.
      const float piece = s.mask != 0 ? 0.25f * squareEdge : squareEdge;
      const float reach = 2.0f * (range.hi - range.lo) / piece;
      const float v = VELDRA_TRW::sampling::InterpolateStencilOn(s, grid_.levelSet.data());
      if (v + reach <= -feather_) return 255;
      if (v - reach > feather_) return 0;
    }
    PixelField f;
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) {
        const float dx = 0.5f * static_cast<float>(c - 1), dy = 0.5f * static_cast<float>(r - 1);
        Stencil moved;
        f.v[r][c] = Shifted(s, squareEdge, dx, dy, moved)
                        ? VELDRA_TRW::sampling::InterpolateStencilOn(moved, grid_.levelSet.data())
                        : LevelSetAt(grid_, static_cast<float>(px) + dx, static_cast<float>(py) + dy);
      }
    return AlphaByte(PixelAlpha(f, feather_));
  }

 private:
  ValueRange rangeOf(const LeafPixelStencils::Found& found) {
    if (found.slot == LeafPixelStencils::kSearched) return StencilRange(grid_, found.stencil);
    if (!known_[found.slot]) {
      ranges_[found.slot] = StencilRange(grid_, found.stencil);
      known_[found.slot] = true;
    }
    return ranges_[found.slot];
  }

  const SLGrid2D& grid_;
  LeafPixelStencils stencils_;
  float feather_;
  ValueRange ranges_[4];
  bool known_[4] = {false, false, false, false};
};

}  // namespace

void RenderAlpha(const SLGrid2D& grid, int x, int y, int w, int h, unsigned char* alpha, int stride, float feather) {
  if (alpha == nullptr || w <= 0 || h <= 0 || !grid.hasBlock()) return;
  const FillRule rule(grid);
  const auto byteAt = [=](int px, int py) {
    return alpha + static_cast<std::ptrdiff_t>(py - y) * stride + (px - x);
  };
  ForEachLeafOfRect(grid, x, y, w, h, [&](unsigned leaf, float cx, float cy, float edge, const VELDRA_TRW::PixelBlock& b) {
    const float value = grid.levelSet[leaf];
    // Leaves that the two-level read-out fills whole are filled alike, unless a feather reaches into
    // them: the leaf's value is within the feather plus the field's change across the leaf (slope at
    // most about 1.4 over half a diagonal).
    if (rule.filledWhole(grid, leaf) && (feather == 0.0f || std::fabs(value) >= feather + edge)) {
      const unsigned char byte = value < 0.0f ? 255 : 0;
      for (int py = b.row0; py <= b.row1; ++py) std::memset(byteAt(b.col0, py), byte, static_cast<std::size_t>(b.col1 - b.col0 + 1));
      return;
    }
    LeafAlpha leafAlpha(grid, leaf, cx, cy, edge, feather);
    for (int py = b.row0; py <= b.row1; ++py)
      for (int px = b.col0; px <= b.col1; ++px) *byteAt(px, py) = leafAlpha.at(px, py);
  });
}

}  // namespace VELDRA_EXTRAS_CORE
