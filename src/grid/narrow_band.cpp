// Narrow-band reinitialisation: one semi-Lagrangian step of d(phi)/d(tau) + sgn(phi)(|grad phi| - 1) = 0
// per leaf, computed in parallel by root tiles into the scratch channels, then merged (also by tiles)
// so that no node changes sign. While the regional level set is in use the same step moves the
// unsigned regional distance, with differences signed by the region labels.
#include <cmath>

#include "grid/face_stencil_detail.h"
#include "grid/face_difference.h"
#include "grid/leaf_window.h"
#include "grid/sl_grid.h"
#include "common/parallel_rows.h"

namespace VELDRA_TRW {
namespace {

float clampStep(float v) { return v < -1.4f ? -1.4f : (v > 1.4f ? 1.4f : v); }

// Regional difference towards the neighbour in direction d: rho(n) minus the neighbour's distance,
// counted negative across a label border.
float regionalDifference(const SLGrid2D& grid, const LeafWindow& w, unsigned n, Direction d) {
  const unsigned m = w.at(static_cast<int>(face_stencil::kUnitX[d]), static_cast<int>(face_stencil::kUnitY[d]));
  const float* rho = grid.regional.data();
  const unsigned char* label = grid.region.data();
  if (m == NO_NODE) return 0.0f;
  const unsigned c = grid.child0(m);
  if (c != NO_NODE) {
    const unsigned a = c + face_stencil::kTouching[d][0], b = c + face_stencil::kTouching[d][1];
    float q = label[a] != label[b] ? std::fabs(rho[a] - rho[b]) * 0.5f : (rho[a] + rho[b]) * 0.5f;
    const unsigned char pairLabel = rho[b] > rho[a] ? label[b] : label[a];
    if (pairLabel != label[n]) q = -q;
    return (rho[n] - q) / 0.75f;
  }
  if (grid.level(m) != grid.level(n)) {
    float margin = 0.0f;
    unsigned char far = label[n];
    grid.InterpolateAtNear(w, face_stencil::kUnitX[d], face_stencil::kUnitY[d], &margin, &far);
    if (far != label[n]) margin = -margin;
    return rho[n] - margin;
  }
  return label[m] != label[n] ? rho[n] + rho[m] : rho[n] - rho[m];
}

// Writes the reinitialised values of leaf n (window w) into "temp" (and "temp2").
void reinitialiseLeaf(SLGrid2D& grid, unsigned n, const LeafWindow& w, bool withRegional) {
  const float* phi = grid.levelSet.data();
  const float cells = face_stencil::finestCells(grid.maxLevel, grid.level(n));
  const float sgn = phi[n] >= 0.0f ? 1.0f : -1.0f;
  {
    const float gx = grid.FaceDifferenceNear(w, n, DIR_MINUS_X, phi) - grid.FaceDifferenceNear(w, n, DIR_PLUS_X, phi);
    const float gy = grid.FaceDifferenceNear(w, n, DIR_MINUS_Y, phi) - grid.FaceDifferenceNear(w, n, DIR_PLUS_Y, phi);
    const float g = std::sqrt(gx * gx + 1e-8f + gy * gy);
    const float len = g < 1.2f ? g : 1.2f;
    const float bx = clampStep(sgn * gx / g * len), by = clampStep(sgn * gy / g * len);
    const float upstream = grid.InterpolateChannelNear(w, phi, -bx, -by);
    grid.temp[n] = cells * (len * sgn) + upstream;
  }
  if (!withRegional) return;
  const float gx = regionalDifference(grid, w, n, DIR_MINUS_X) - regionalDifference(grid, w, n, DIR_PLUS_X);
  const float gy = regionalDifference(grid, w, n, DIR_MINUS_Y) - regionalDifference(grid, w, n, DIR_PLUS_Y);
  const float g = std::sqrt(gx * gx + 1e-8f + gy * gy);
  const float len = g < 1.2f ? g : 1.2f;
  const float bx = clampStep(gx / g * len), by = clampStep(gy / g * len);
  unsigned char footLabel = grid.region[n];
  float* out = grid.temp2.data() + n;
  grid.InterpolateAtNear(w, -bx, -by, out, &footLabel);
  if (grid.region[n] != footLabel)
    *out -= cells * len;
  else
    *out += cells * len;
}

}  // namespace

void SLGrid2D::UpdateNarrowBand(int i0, int j0, int i1, int j1) {
  if (!hasBlock()) return;
  // The sweep reads neighbours on every side: keep the rectangle on the image's tiles.
  const int iMax = static_cast<int>(ni), jMax = static_cast<int>(nj);
  i0 = i0 < 0 ? 0 : (i0 > iMax ? iMax : i0);
  i1 = i1 < 0 ? 0 : (i1 > iMax ? iMax : i1);
  j0 = j0 < 0 ? 0 : (j0 > jMax ? jMax : j0);
  j1 = j1 < 0 ? 0 : (j1 > jMax ? jMax : j1);
  const bool withRegional = useRegional != 0;

  // Each leaf writes its own scratch values only and reads channels nobody writes here.
  VELDRA_COMMON::parallelTileQuadrants(i0, j0, i1, j1, [&](int i, int j, int q) {
    forEachLeafWithWindow(*this, i, j, q, [&](unsigned n, float, float, float, const LeafWindow& w) {
      reinitialiseLeaf(*this, n, w, withRegional);
    });
  });
  // The merge reads and writes each leaf's own values only.
  VELDRA_COMMON::parallelTileQuadrants(i0, j0, i1, j1, [&](int i, int j, int q) {
    const unsigned root = rootIndex(i, j), c = child0(root);
    if (c == NO_NODE && q > 0) return;
    walkSubtree(c == NO_NODE ? root : c + static_cast<unsigned>(q), true, [&](unsigned n) {
      // A node whose value would change sign is only pulled toward zero.
      levelSet[n] = levelSet[n] * temp[n] > 0.0f ? temp[n] : 0.9f * levelSet[n];
      if (withRegional) regional[n] = temp2[n] > 0.0f ? temp2[n] : 0.9f * regional[n];
    });
  });

  RefreshBoundary(levelSet.data());
  if (withRegional) {
    RefreshBoundary(regional.data());
    RefreshBoundary(region.data());
  }
}

}  // namespace VELDRA_TRW
