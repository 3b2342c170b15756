// Corner values from the interpolant's own rules (sampling_corners), pieces picked as the
// interpolant picks its sub-rectangles.
#include "extras/stencil_patch.h"

#include <cmath>

namespace VELDRA_EXTRAS_CORE {
namespace {

using namespace VELDRA_TRW::sampling;

constexpr float kGridPosition[4] = {0.0f, 0.25f, 0.75f, 1.0f};

}  // namespace

float StencilPatch::corner(int ix, int iy) {
  const std::uint16_t bit = static_cast<std::uint16_t>(1u << (4 * ix + iy));
  if ((known_ & bit) == 0) {
    Terms terms;
    CornerTerms(s_, ix, iy, terms);
    corners_[ix][iy] = terms.evaluate(grid_->levelSet.data());
    known_ |= bit;
  }
  return corners_[ix][iy];
}

StencilPatch::Piece StencilPatch::pieceAt(float sx, float sy) {
  const float* phi = grid_->levelSet.data();
  if (s_.mask == 0)
    return Piece{phi[s_.cell[CELL_B]], phi[s_.cell[CELL_X]], phi[s_.cell[CELL_Y]], phi[s_.cell[CELL_D]], sx, sy, 1.0f, 1.0f};
  Stencil at = s_;
  at.sx = sx;
  at.sy = sy;
  const SubRectangle r = LocateSubRectangle(at);
  return Piece{corner(r.x0, r.y0), corner(r.x1, r.y0), corner(r.x0, r.y1), corner(r.x1, r.y1), r.s, r.t,
               kGridPosition[r.x1] - kGridPosition[r.x0], kGridPosition[r.y1] - kGridPosition[r.y0]};
}

float StencilPatch::value(float sx, float sy) {
  const Piece p = pieceAt(sx, sy);
  return ((1.0f - p.s) * p.v00 + p.s * p.v10) * (1.0f - p.t) + ((1.0f - p.s) * p.v01 + p.s * p.v11) * p.t;
}

ValueRange StencilPatch::cornerRange(float x0, float y0, float x1, float y1) {
  // The pieces of the lowest and the highest point, and every piece between them.
  Stencil at = s_;
  at.sx = x0;
  at.sy = y0;
  const SubRectangle low = LocateSubRectangle(at);
  at.sx = x1;
  at.sy = y1;
  const SubRectangle high = LocateSubRectangle(at);
  const GridLines lines = LinesOf(s_);
  const float first = corner(low.x0, low.y0);
  ValueRange range{first, first, std::isfinite(first)};
  for (int ix = low.x0; ix <= high.x1; ++ix)
    for (int iy = low.y0; iy <= high.y1; ++iy)
      if (lines.x[ix] && lines.y[iy]) {
        const float v = corner(ix, iy);
        range.lo = v < range.lo ? v : range.lo;
        range.hi = v > range.hi ? v : range.hi;
        range.finite = range.finite && std::isfinite(v);
      }
  return range;
}

void StencilPatch::slope(float sx, float sy, float& dx, float& dy) {
  const Piece p = pieceAt(sx, sy);
  dx = ((1.0f - p.t) * (p.v10 - p.v00) + p.t * (p.v11 - p.v01)) / p.width;
  dy = ((1.0f - p.s) * (p.v01 - p.v00) + p.s * (p.v11 - p.v10)) / p.height;
}

}  // namespace VELDRA_EXTRAS_CORE
