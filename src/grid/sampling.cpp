// Placeholder: field sampling and interpolation are not built yet.
#include <cmath>

#include "grid/sl_grid.h"

namespace VELDRA_TRW {

void SLGrid2D::PointToRoot(float px, float py, unsigned& node, float& lx, float& ly) const {
  const float u = px * invTileSize - 0.5f, v = py * invTileSize - 0.5f;
  const float i = std::floor(u), j = std::floor(v);
  node = rootIndex(static_cast<int>(i), static_cast<int>(j));
  lx = u - i;
  ly = v - j;
}
void SLGrid2D::LocateLeaf(unsigned&, float&, float&) const {}
float SLGrid2D::SamplePoint(float, float, unsigned char*) const { return kUntouchedValue; }
float SLGrid2D::SampleInterpolated(float, float, float*, unsigned char*) const { return kUntouchedValue; }
float SLGrid2D::InterpolateAt(unsigned node, float, float, float*, unsigned char*) const { return levelSet[node]; }
float SLGrid2D::InterpolateChannel(unsigned node, const float* channel, float, float) const { return channel[node]; }

}  // namespace VELDRA_TRW
