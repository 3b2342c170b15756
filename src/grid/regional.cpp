// The regional level set: a partition of the image into inside (label 0), outside (1) and a boundary
// band (2), kept per node as a label and an unsigned distance to the nearest border of the node's own
// region. Built from the selection when it is switched on, widened by the band brush.
#include <cmath>

#include "grid/sl_grid.h"
#include "grid/tile_box.h"

namespace VELDRA_TRW {

// Every leaf, ghost tiles included, gets its label from the level set value phi and h = band / 2:
// inside below -h, outside above h, band between (both ends included); the regional value is the
// distance to the nearer edge of the band, | |phi| - h |. Inner nodes keep their values.
void SLGrid2D::BuildRegions(int band) {
  const float h = static_cast<float>(band / 2);
  // The ghost leaves get values of their own here, not copies: the next refreshes are whole.
  ForgetBoundaryRefreshes();
  walk(Walk::AllLeaves, [&](unsigned n) {
    const float phi = levelSet[n];
    region[n] = phi < -h ? REGION_INSIDE : (phi > h ? REGION_OUTSIDE : REGION_BAND);
    regional[n] = std::fabs(std::fabs(phi) - h);
  });
}

// Widens the band under a disc by 0.2 * sign pixels: leaves of the other regions lose that much of
// their distance and join the band once they come within it; band leaves move that much deeper.
void SLGrid2D::RegionBrush(const float centre[2], float radius, float sign) {
  const TileBox box = SegmentTileBox(*this, centre[0], centre[1], centre[0], centre[1], radius);
  const float step = 0.2f * sign;
  const float radius2 = radius * radius;
  forEachLeafInTiles(box.i0, box.j0, box.i1, box.j1, [&](unsigned n, float cx, float cy, float) {
    const float dx = cx - centre[0], dy = cy - centre[1];
    if (!(dx * dx + dy * dy < radius2)) return;
    if (region[n] != REGION_BAND) {
      float value = regional[n] - step;
      if (value < step) {
        region[n] = REGION_BAND;
        value = std::fabs(value);
      }
      regional[n] = value;
    } else {
      regional[n] += step;
    }
  });
  RefreshBoundary(regional.data());
  RefreshBoundary(region.data());
}

}  // namespace VELDRA_TRW
