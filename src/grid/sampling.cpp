// Reading the field at image points and at offsets from nodes: the containing leaf, and the
// interpolant across leaves of different levels. Everything here only reads the tree, allocates
// nothing and takes no locks, so any number of threads may sample while nobody edits the tree.
#include <cmath>

#include "grid/child_steps.h"
#include "grid/leaf_window.h"
#include "grid/sampling_corners.h"
#include "grid/sampling_regional.h"
#include "grid/sampling_stencil.h"
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

void SLGrid2D::PointToRoot(float px, float py, unsigned& node, float& lx, float& ly) const {
  float u = px * invTileSize - 0.5f, v = py * invTileSize - 0.5f;
  // Points beyond the ghost border (and NaN) are pulled onto its edge, so that the start tile and
  // the one LocateLeaf may step to both exist: u in [-2, ni + 1.5).
  const float uEnd = static_cast<float>(ni) + 1.5f, vEnd = static_cast<float>(nj) + 1.5f;
  if (!(u >= -2.0f && u < uEnd)) u = u < uEnd ? -2.0f : std::nextafter(uEnd, 0.0f);
  if (!(v >= -2.0f && v < vEnd)) v = v < vEnd ? -2.0f : std::nextafter(vEnd, 0.0f);
  const float i = std::floor(u), j = std::floor(v);
  node = rootIndex(static_cast<int>(i), static_cast<int>(j));
  lx = u - i;
  ly = v - j;
}

void SLGrid2D::LocateLeaf(unsigned& node, float& lx, float& ly) const {
  unsigned n = node;
  float x = lx, y = ly;
  while (std::fabs(x) > 0.5f || std::fabs(y) > 0.5f) {
    const unsigned p = parent(n);
    if (p != NO_NODE) {
      const unsigned k = n & 3u;
      x = child_steps::up(x, k & 1u);
      y = child_steps::up(y, k >> 1);
      n = p;
      continue;
    }
    const TreeRootGrid& g = rootGridOf(n);
    // A step that would leave the root block stops at the current tile's edge instead.
    const bool sane = std::fabs(x) < 65536.0f && std::fabs(y) < 65536.0f;
    const float dx = sane ? std::floor(x + 0.5f) : 0.0f, dy = sane ? std::floor(y + 0.5f) : 0.0f;
    const unsigned next = n + static_cast<unsigned>(static_cast<int>(dy) * static_cast<int>(g.strideJ) +
                                                    static_cast<int>(dx));
    if (!sane || next - g.firstNode >= g.rootCount) {
      x = std::fmin(std::fmax(x, -0.5f), 0.5f);
      y = std::fmin(std::fmax(y, -0.5f), 0.5f);
      break;
    }
    x -= dx;
    y -= dy;
    n = next;
  }
  for (unsigned c = child0(n); c != NO_NODE; c = child0(n)) {
    const unsigned k = child_steps::childAt(x, y);
    n = c + k;
    x = child_steps::down(x, k & 1u);
    y = child_steps::down(y, k >> 1);
  }
  node = n;
  lx = x;
  ly = y;
}

float SLGrid2D::SamplePoint(float px, float py, unsigned char* label) const {
  unsigned n;
  float lx, ly;
  PointToRoot(px, py, n, lx, ly);
  LocateLeaf(n, lx, ly);
  if (useRegional && label != nullptr) *label = region[n];
  return levelSet[n];
}

float SLGrid2D::SampleInterpolated(float px, float py, float* margin, unsigned char* label) const {
  unsigned n;
  float lx, ly;
  PointToRoot(px, py, n, lx, ly);
  return InterpolateAt(n, lx, ly, margin, label);
}

float SLGrid2D::InterpolateAt(unsigned node, float lx, float ly, float* margin, unsigned char* label) const {
  LocateLeaf(node, lx, ly);
  sampling::Stencil s;
  sampling::FindStencil(*this, node, lx, ly, s);
  return InterpolateStencil(s, margin, label);
}

float SLGrid2D::InterpolateStencil(const sampling::Stencil& s, float* margin, unsigned char* label) const {
  if (!useRegional) return sampling::InterpolateStencilOn(s, levelSet.data());
  sampling::WeightedEntries entries;
  sampling::BuildEntries(s, entries);
  return sampling::CompeteRegions(*this, entries, margin, label);
}

float SLGrid2D::InterpolateAtNear(const LeafWindow& w, float lx, float ly, float* margin,
                                  unsigned char* label) const {
  sampling::Stencil s;
  sampling::FindStencilNear(*this, w, lx, ly, s);
  return InterpolateStencil(s, margin, label);
}

float SLGrid2D::InterpolateChannelNear(const LeafWindow& w, const float* channel, float lx, float ly) const {
  sampling::Stencil s;
  sampling::FindStencilNear(*this, w, lx, ly, s);
  return sampling::InterpolateStencilOn(s, channel);
}

float SLGrid2D::InterpolateChannel(unsigned node, const float* channel, float lx, float ly) const {
  if (channel == nullptr) return 0.0f;
  sampling::Stencil s;
  sampling::FindStencil(*this, node, lx, ly, s);
  return sampling::InterpolateStencilOn(s, channel);
}

}  // namespace VELDRA_TRW
