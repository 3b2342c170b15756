// The one-edge difference of a channel from a leaf towards its neighbour across an edge, shared by the
// climbing lookup (FaceDifferenceTo) and the window walks (FaceDifferenceNear). The window form is
// defined here, inline, because the narrow band and the evolution take four per leaf: for a
// neighbour on the leaf's own level it is a subtraction, and only a coarser neighbour's far value
// leaves the caller.
#pragma once
#include "grid/face_stencil_detail.h"
#include "grid/leaf_window.h"
#include "grid/sl_grid.h"

namespace VELDRA_TRW::face_difference {

// The difference towards neighbour m (neighbour(n, d)); `sameLevel` tells whether a leaf m lies on
// n's level, and `farValue` reads the channel one edge length away through the interpolant, for a
// coarser m.
template <typename SameLevel, typename FarValue>
float towards(const SLGrid2D& grid, unsigned n, unsigned m, Direction d, const float* channel, SameLevel&& sameLevel,
              FarValue&& farValue) {
  if (m == NO_NODE) return 0.0f;
  const unsigned c = grid.child0(m);
  if (c != NO_NODE) {
    // The touching children's centres lie 0.75 edge lengths from n's centre.
    const float pair = (channel[c + face_stencil::kTouching[d][0]] + channel[c + face_stencil::kTouching[d][1]]) * 0.5f;
    return (channel[n] - pair) / 0.75f;
  }
  if (!sameLevel()) return channel[n] - farValue();
  return channel[n] - channel[m];
}

}  // namespace VELDRA_TRW::face_difference

namespace VELDRA_TRW {

inline float SLGrid2D::FaceDifferenceNear(const LeafWindow& w, const EdgeNeighbours& e, unsigned n, Direction d,
                                          const float* channel) const {
  const int ux = static_cast<int>(face_stencil::kUnitX[d]), uy = static_cast<int>(face_stencil::kUnitY[d]);
  // The window knows whether the entry is a node of the leaf's level; no level needs reading.
  const unsigned m = e.node[d];
  return face_difference::towards(*this, n, m, d, channel, [&] { return e.onLevel[d]; },
                                  [&] { return FarValueAcrossFace(w, ux, uy, m, channel); });
}

}  // namespace VELDRA_TRW
