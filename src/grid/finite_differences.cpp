// One-edge differences of a channel on the quadtree and the level set gradient built from them.
// A difference is always "own value minus the value one edge length away", so that for same-level
// neighbours it is a plain difference of node values and across a change of level it is brought to the
// same one-edge-length spacing.
#include "grid/face_difference.h"
#include "grid/face_stencil_detail.h"
#include "grid/leaf_window.h"
#include "grid/sampling_stencil.h"
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

float SLGrid2D::FaceDifference(unsigned n, Direction d, const float* channel) const {
  if (channel == nullptr || static_cast<unsigned>(d) > 3u) return 0.0f;
  return FaceDifferenceTo(n, neighbour(n, d), d, channel);
}

float SLGrid2D::FaceDifferenceTo(unsigned n, unsigned m, Direction d, const float* channel) const {
  return face_difference::towards(*this, n, m, d, channel, [&] { return level(m) == level(n); }, [&] {
    unsigned leaf = n;
    float lx = face_stencil::kUnitX[d], ly = face_stencil::kUnitY[d];
    LocateLeaf(leaf, lx, ly);
    return InterpolateChannel(leaf, channel, lx, ly);
  });
}

float SLGrid2D::FarValueAcrossFace(const LeafWindow& w, int ux, int uy, unsigned m, const float* channel) const {
  sampling::Stencil s;
  sampling::FindStencilAcrossFace(*this, w, ux, uy, m, s);
  return sampling::InterpolateStencilOn(s, channel);
}

void SLGrid2D::NodeGradient(unsigned n, float& gx, float& gy) const {
  const float* phi = levelSet.data();
  gx = FaceDifference(n, DIR_MINUS_X, phi) - FaceDifference(n, DIR_PLUS_X, phi);
  gy = FaceDifference(n, DIR_MINUS_Y, phi) - FaceDifference(n, DIR_PLUS_Y, phi);
}

}  // namespace VELDRA_TRW
