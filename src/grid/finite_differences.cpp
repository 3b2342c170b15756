// One-edge differences of a channel on the quadtree and the level set gradient built from them.
// A difference is always "own value minus the value one edge length away", so that for same-level
// neighbours it is a plain difference of node values and across a change of level it is brought to the
// same one-edge-length spacing.
#include "grid/face_stencil_detail.h"
#include "grid/leaf_window.h"
#include "grid/sampling_stencil.h"
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

float SLGrid2D::FaceDifference(unsigned n, Direction d, const float* channel) const {
  if (channel == nullptr || static_cast<unsigned>(d) > 3u) return 0.0f;
  return FaceDifferenceTo(n, neighbour(n, d), d, channel);
}

namespace {

// The difference towards neighbour m (neighbour(n, d)); `sameLevel` tells whether a leaf m lies on
// n's level, and `farValue` reads the channel one edge length away through the interpolant, for a
// coarser m.
template <typename SameLevel, typename FarValue>
float faceDifference(const SLGrid2D& grid, unsigned n, unsigned m, Direction d, const float* channel,
                     SameLevel&& sameLevel, FarValue&& farValue) {
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

}  // namespace

float SLGrid2D::FaceDifferenceTo(unsigned n, unsigned m, Direction d, const float* channel) const {
  return faceDifference(*this, n, m, d, channel, [&] { return level(m) == level(n); }, [&] {
    unsigned leaf = n;
    float lx = face_stencil::kUnitX[d], ly = face_stencil::kUnitY[d];
    LocateLeaf(leaf, lx, ly);
    return InterpolateChannel(leaf, channel, lx, ly);
  });
}

float SLGrid2D::FaceDifferenceNear(const LeafWindow& w, unsigned n, Direction d, const float* channel) const {
  const float ux = face_stencil::kUnitX[d], uy = face_stencil::kUnitY[d];
  // The window knows whether the entry is a node of the leaf's level; no level needs reading.
  bool onLevel;
  const unsigned m = w.at(static_cast<int>(ux), static_cast<int>(uy), onLevel);
  return faceDifference(*this, n, m, d, channel, [&] { return onLevel; }, [&] {
    sampling::Stencil s;
    sampling::FindStencilAcrossFace(*this, w, static_cast<int>(ux), static_cast<int>(uy), m, s);
    return sampling::InterpolateStencilOn(s, channel);
  });
}

void SLGrid2D::NodeGradient(unsigned n, float& gx, float& gy) const {
  const float* phi = levelSet.data();
  gx = FaceDifference(n, DIR_MINUS_X, phi) - FaceDifference(n, DIR_PLUS_X, phi);
  gy = FaceDifference(n, DIR_MINUS_Y, phi) - FaceDifference(n, DIR_PLUS_Y, phi);
}

}  // namespace VELDRA_TRW
