// The interpolant of one stencil over its whole square, for reading it at many points: bilinear
// pieces between the grid lines of the stencil's mask (0 and 1, and 1/4 and 3/4 where cells have
// children), with the values at the pieces' corners worked out once, on first use.
#pragma once
#include <cstdint>

#include "grid/sampling_corners.h"
#include "grid/sl_grid.h"

namespace VELDRA_EXTRAS_CORE {

// The range of the level set over a stencil (sampling::StencilRange).
using VELDRA_TRW::sampling::ValueRange;
inline ValueRange StencilRange(const VELDRA_TRW::SLGrid2D& grid, const VELDRA_TRW::sampling::Stencil& s) {
  return VELDRA_TRW::sampling::StencilRange(s, grid.levelSet.data());
}

class StencilPatch {
 public:
  void reset(const VELDRA_TRW::SLGrid2D& grid, const VELDRA_TRW::sampling::Stencil& s) {
    grid_ = &grid;
    s_ = s;
    known_ = 0;
  }

  // The level set at (sx, sy) in the square, [0, 1] on each axis: InterpolateStencilOn's value.
  float value(float sx, float sy);

  // Derivatives along sx and sy (per square edge) of the piece that holds (sx, sy).
  void slope(float sx, float sy, float& dx, float& dy);

  // Least and greatest corner value of the pieces that hold the points of [x0, x1] x [y0, y1], a
  // rectangle inside the square: value() at any of those points blends one piece's corners. For a
  // stencil with children (without them the corners are the stencil's own values).
  ValueRange cornerRange(float x0, float y0, float x1, float y1);

 private:
  struct Piece {
    float v00, v10, v01, v11;  // corner values
    float s, t;                // the point inside the piece
    float width, height;       // the piece's extent in square units
  };
  Piece pieceAt(float sx, float sy);
  float corner(int ix, int iy);

  const VELDRA_TRW::SLGrid2D* grid_ = nullptr;
  VELDRA_TRW::sampling::Stencil s_{};
  float corners_[4][4] = {};
  std::uint16_t known_ = 0;
};

}  // namespace VELDRA_EXTRAS_CORE
