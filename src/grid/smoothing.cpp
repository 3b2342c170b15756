// Smoothing under a brush: two explicit heat-equation steps of the level set, weighted by a falloff
// that is 1 inside the inner radius and reaches 0 at the outer radius; with the regional level set,
// one diffusion step of the regional distance in which neighbouring regions count with the opposite
// sign, and labels that move across a border where that distance turns negative.
#include <cmath>

#include "grid/region_labels.h"
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

namespace {

// Leaves of the brush: the tiles of the brush's bounding square grown by one tile, leaves centred in
// the host rectangle and within the outer radius, with their step weight 0.3 * falloff.
template <typename F>
void forEachBrushLeaf(const SLGrid2D& grid, float centreX, float centreY, float inner, float outer, int x,
                      int y, int width, int height, F&& visit) {
  const float s = grid.invTileSize;
  const int tcx = static_cast<int>(s * centreX), tcy = static_cast<int>(s * centreY);
  const int tr = static_cast<int>(s * outer) + 1;
  const auto bound = [](int v, unsigned n) {
    const int m = v < static_cast<int>(n) ? v : static_cast<int>(n);
    return m > 0 ? m : 0;
  };
  const int i0 = bound(tcx - tr, grid.ni), i1 = bound(tcx + 1 + tr, grid.ni);
  const int j0 = bound(tcy - tr, grid.nj), j1 = bound(tcy + 1 + tr, grid.nj);
  const float left = static_cast<float>(x), top = static_cast<float>(y);
  const float right = static_cast<float>(static_cast<long long>(x) + width);
  const float bottom = static_cast<float>(static_cast<long long>(y) + height);
  grid.forEachLeafInTiles(i0, j0, i1, j1, [&](unsigned n, float cx, float cy, float edge) {
    if (!(cx >= left && cy >= top && right > cx && bottom > cy)) return;
    const float dx = cx - centreX, dy = cy - centreY;
    const float d = std::sqrt(dx * dx + dy * dy);
    if (d > outer) return;
    float falloff = 1.0f;
    if (!(d < inner)) {
      if (outer == inner) {
        falloff = 0.0f;
      } else {
        const float q = (d - inner) / (outer - inner);
        falloff = 1.0f - q * q;
      }
    }
    visit(n, edge, 0.3f * falloff);
  });
}

// Step B reads "temp" at the neighbours of the brush leaves, also where step A wrote nothing; there
// the channel holds whatever earlier operations left (far values of redistancing, group indices of
// refinement). Every leaf of the brush tiles grown by one tile (ghost tiles included) therefore
// starts with its own level set value, so that step B sees the field as it stands outside the brush.
void seedTempWithField(SLGrid2D& grid, float centreX, float centreY, float outer) {
  const float s = grid.invTileSize;
  const int tcx = static_cast<int>(s * centreX), tcy = static_cast<int>(s * centreY);
  const int tr = static_cast<int>(s * outer) + 2;
  const auto bound = [](int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); };
  const int gi = grid.gi, gj = grid.gj, ni = static_cast<int>(grid.ni), nj = static_cast<int>(grid.nj);
  const int i0 = bound(tcx - tr, -gi, ni + gi), i1 = bound(tcx + 1 + tr, -gi, ni + gi);
  const int j0 = bound(tcy - tr, -gj, nj + gj), j1 = bound(tcy + 1 + tr, -gj, nj + gj);
  for (int j = j0; j < j1; ++j)
    for (int i = i0; i < i1; ++i)
      grid.walkSubtree(grid.rootIndex(i, j), true, [&](unsigned n) { grid.temp[n] = grid.levelSet[n]; });
}

// Sum of the four neighbour-minus-centre differences of a channel at leaf n.
float neighbourSum(const SLGrid2D& grid, unsigned n, const float* channel) {
  return (-grid.FaceDifference(n, DIR_PLUS_Y, channel) -
          (grid.FaceDifference(n, DIR_MINUS_X, channel) + grid.FaceDifference(n, DIR_PLUS_X, channel))) -
         grid.FaceDifference(n, DIR_MINUS_Y, channel);
}

// Region labels met around a leaf with the summed regional distances they contribute; the leaf's own
// label comes first.
struct LabelSums {
  unsigned char label[5];
  float sum[5];
  int count = 0;

  void add(unsigned char l, float value) {
    for (int k = 0; k < count; ++k)
      if (label[k] == l) {
        sum[k] += value;
        return;
      }
    label[count] = l;
    sum[count] = value;
    ++count;
  }
};

// One diffusion step of the regional distance at leaf n (edge e, weight w) into "temp2" and
// "region tmp", given the leaf's new level set value in "temp".
void regionalStep(SLGrid2D& grid, unsigned n, float e, float w) {
  // Children of a finer neighbour that touch n, per direction -x, +x, -y, +y.
  static constexpr unsigned kTouching[4][2] = {{1, 3}, {0, 2}, {2, 3}, {0, 1}};
  static constexpr float kOffset[4][2] = {{-1.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, -1.0f}, {0.0f, 1.0f}};
  const float rn = grid.regional[n];
  LabelSums list;
  list.add(grid.region[n], 0.0f);
  float c = 0.0f;
  for (int dir = 0; dir < 4; ++dir) {
    const unsigned m = grid.neighbour(n, static_cast<Direction>(dir));
    if (m == NO_NODE) continue;  // not reached: brush leaves lie in image tiles inside the ghost border
    unsigned char label;
    float value;
    if (grid.hasChildren(m)) {
      const unsigned a = grid.child0(m) + kTouching[dir][0], b = grid.child0(m) + kTouching[dir][1];
      const float ra = grid.regional[a], rb = grid.regional[b];
      const unsigned char la = grid.region[a], lb = grid.region[b];
      label = ra >= rb ? la : lb;
      value = la == lb ? (ra + rb) * 0.5f / 0.75f : std::fabs(ra - rb) * 0.5f / 0.75f;
      c -= rn / 0.75f;
    } else if (grid.level(m) == grid.level(n)) {
      label = grid.region[m];
      value = grid.regional[m];
      c -= rn;
    } else {
      label = grid.region[n];
      value = 0.0f;
      grid.InterpolateAt(n, kOffset[dir][0], kOffset[dir][1], &value, &label);
      c -= rn;
    }
    list.add(label, value);
  }
  float total = c + list.sum[0];
  for (int k = 1; k < list.count; ++k) total -= list.sum[k];
  float g = total / (e * e) * 3.0f;
  if (std::fabs(g) > 3.0f) g = g < 0.0f ? -3.0f : 3.0f;
  float r = rn + w * g;
  unsigned char newLabel = list.label[0];
  if (r < 0.0f) {
    if (list.count == 2) {
      newLabel = list.label[1];
      r = std::fabs(r);
    } else if (list.count >= 3) {
      int best = 1;
      for (int k = 2; k < list.count; ++k)
        if (list.sum[k] > list.sum[best]) best = k;
      newLabel = list.label[best];
      r = 0.0f;
    } else {
      r = 0.0f;
    }
  }
  // The labels follow the new level set: nothing negative stays outside, nothing positive inside.
  followLevelSetSign(grid.temp[n], newLabel, r);
  grid.temp2[n] = r;
  grid.regionTmp[n] = newLabel;
}

}  // namespace

void SLGrid2D::Smooth(float cx, float cy, float innerRadius, float outerRadius, int x, int y, int width,
                      int height) {
  const bool withRegions = useRegional != 0;
  seedTempWithField(*this, cx, cy, outerRadius);
  // Step A: first diffusion step into "temp" (and the regional step), reading the current channels.
  forEachBrushLeaf(*this, cx, cy, innerRadius, outerRadius, x, y, width, height,
                   [&](unsigned n, float e, float w) {
                     temp[n] = levelSet[n] + neighbourSum(*this, n, levelSet.data()) / (e * e) * w;
                     if (withRegions) regionalStep(*this, n, e, w);
                   });
  // Step B: second diffusion step from "temp" back into the level set; commit the regional step.
  forEachBrushLeaf(*this, cx, cy, innerRadius, outerRadius, x, y, width, height,
                   [&](unsigned n, float e, float w) {
                     levelSet[n] = temp[n] + neighbourSum(*this, n, temp.data()) / (e * e) * w;
                     if (withRegions) {
                       regional[n] = temp2[n];
                       region[n] = regionTmp[n];
                     }
                   });
  RefreshBoundary(levelSet.data());
  if (withRegions) {
    RefreshBoundary(regional.data());
    RefreshBoundary(region.data());
  }
}

}  // namespace VELDRA_TRW
