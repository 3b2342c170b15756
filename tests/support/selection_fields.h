// Test fields that look like a selection: a signed distance to a disc (or to a noisy blob) on a tree
// refined around its boundary, with regional channels derived from it as the boundary band would be.
#pragma once
#include <algorithm>
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

// Four boundaries: a ring-shaped region whose hole holds an island, and a second disc beside it. The
// field combines disc distances by min and max, so its magnitude never exceeds the distance to the
// boundary.
struct IslandsAndHoles {
  float cx, cy;
  float operator()(float x, float y) const {
    const float band = std::max(Disc{cx, cy, 90.0f}(x, y), -Disc{cx, cy, 50.0f}(x, y));
    return std::min({band, Disc{cx + 5.3f, cy - 3.1f, 22.0f}(x, y), Disc{cx + 150.0f, cy + 40.0f, 35.0f}(x, y)});
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
