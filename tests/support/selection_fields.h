// Test fields that look like a selection: a signed distance to a disc (or to a noisy blob) on a tree
// refined around its boundary, with regional channels derived from it as the boundary band would be.
#pragma once
#include <cmath>
#include <memory>

#include "support/tree_builders.h"

namespace veldra_test {

struct Disc {
  float cx, cy, r;
  float operator()(float x, float y) const { return std::hypot(x - cx, y - cy) - r; }
};

// A disc whose radius wobbles with the angle: an outline with many turns.
struct NoisyBlob {
  float cx, cy, r;
  float operator()(float x, float y) const {
    const float a = std::atan2(y - cy, x - cx);
    const float wobble = 0.12f * std::sin(7.0f * a) + 0.07f * std::sin(13.0f * a + 1.0f) + 0.04f * std::sin(29.0f * a);
    return std::hypot(x - cx, y - cy) - r * (1.0f + wobble);
  }
};

// Refines leaves within `reach` edge lengths of the zero set of phi down to maxLevel, then fills the
// level set with phi and the regional channels with a band of half width `halfBand` around it.
template <typename Phi>
void BuildSelection(SLGrid2D& grid, Phi phi, unsigned maxLevel, float halfBand = 3.0f) {
  refineWhere(
      grid, [&](float x, float y, float e) { return std::fabs(phi(x, y)) < 1.5f * e + 2.0f; }, maxLevel);
  fillField(grid, grid.levelSet, phi);
  fillField(grid, grid.regional, [&](float x, float y) { return std::fabs(std::fabs(phi(x, y)) - halfBand); });
  grid.walk(VELDRA_TRW::Walk::AllNodes, [&](unsigned n) {
    float x, y, e;
    leafCentre(grid, n, &x, &y, &e);
    const float v = phi(x, y);
    grid.region[n] = static_cast<unsigned char>(std::fabs(v) <= halfBand ? 2 : (v < 0.0f ? 0 : 1));
  });
}

}  // namespace veldra_test
