// Read-only questions about the selection: the three-level mask of a rectangle, the matting class
// of a pixel, and whether a circle crosses the selection boundary (or a region border).
#include "api/queries.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "api/tile_range.h"
#include "common/parallel_rows.h"
#include "grid/sampling_stencil.h"

namespace VELDRA_CORE {
namespace {

using VELDRA_TRW::NO_NODE;

// Mask byte of a region label: inside 255, outside 0, boundary band 128.
unsigned char LabelByte(unsigned char label) {
  switch (label) {
    case 0: return 255;
    case 2: return 128;
    default: return 0;
  }
}

// trunc(v) as an int, held inside the int range (radii come straight from the host).
int TruncToInt(float v) {
  if (!(v > -2147483520.0f)) return v != v ? 0 : -2147483520;
  if (!(v < 2147483520.0f)) return 2147483520;
  return static_cast<int>(v);
}

// Everything one root tile of RenderSelection needs; each tile writes only its own pixels.
struct SelectionRenderer {
  const SLGrid2D& grid;
  int x, y, w, h;
  unsigned char* mask;
  int stride;
  float centerX, centerY;
  int band;
  float radius2;
  float uniformThreshold;  // fine leaves with a regional distance above this are filled whole
  int fineLevel;           // leaves above this level are filled whole
  int i0, i1;

  unsigned char* byteAt(int px, int py) const {
    return mask + static_cast<std::ptrdiff_t>(py - y) * stride + (px - x);
  }

  bool inBrush(int px, int py) const {
    const float dx = centerX - static_cast<float>(px), dy = centerY - static_cast<float>(py);
    return !(dx * dx + dy * dy > radius2);
  }

  // Narrows columns [a, b] of row py to the pixels inside the brush; false when there are none.
  // Along a row the computed squared distance never rises before the centre column and never falls
  // after it (each rounded step is monotonic), so the pixels inside form one run, and it holds the
  // column nearest the centre whenever it is not empty.
  bool brushRun(int py, int& a, int& b) const {
    if (inBrush(a, py) && inBrush(b, py)) return true;  // also every case with a NaN centre or radius
    const auto column = [&](float v) {
      if (!(v > static_cast<float>(a))) return a;
      if (!(v < static_cast<float>(b))) return b;
      return static_cast<int>(v);
    };
    int m = column(std::floor(centerX));
    if (!inBrush(m, py)) {
      m = column(std::ceil(centerX));
      if (!inBrush(m, py)) return false;
    }
    int lo = a, hi = m;  // the first pixel inside lies in [lo, hi]
    while (lo < hi) {
      const int mid = lo + (hi - lo) / 2;
      if (inBrush(mid, py)) hi = mid;
      else lo = mid + 1;
    }
    a = lo;
    lo = m, hi = b;  // the last pixel inside lies in [lo, hi]
    while (lo < hi) {
      const int mid = hi - (hi - lo) / 2;
      if (inBrush(mid, py)) lo = mid;
      else hi = mid - 1;
    }
    b = lo;
    return true;
  }

  // Stencils of one leaf, one per quadrant (lx < 0, ly < 0), found on first use.
  struct LeafStencils {
    VELDRA_TRW::sampling::Stencil quadrant[4];
    bool found[4] = {false, false, false, false};
  };

  unsigned char sampledByte(unsigned leaf, float cx, float cy, float edge, int px, int py,
                            LeafStencils& stencils) const {
    float margin = 0.0f, value;
    unsigned char label = 1;
    // On a tile's first row or column the point search settles in the neighbouring tile; elsewhere
    // the walk's leaf and offset are exactly what the search from the image point would find
    // (|lx|, |ly| < 0.5: locating the leaf stays here), and one stencil per quadrant of the leaf
    // serves all its pixels there.
    if ((px & 255) == 0 || (py & 255) == 0) {
      value = grid.SampleInterpolated(static_cast<float>(px), static_cast<float>(py), &margin, &label);
    } else {
      const float lx = (static_cast<float>(px) - cx) / edge, ly = (static_cast<float>(py) - cy) / edge;
      const int q = (lx < 0.0f ? 1 : 0) + (ly < 0.0f ? 2 : 0);
      VELDRA_TRW::sampling::Stencil& s = stencils.quadrant[q];
      if (stencils.found[q]) {
        VELDRA_TRW::sampling::MoveStencilPoint(leaf, lx, ly, s);
      } else {
        VELDRA_TRW::sampling::FindStencil(grid, leaf, lx, ly, s);
        stencils.found[q] = true;
      }
      value = grid.InterpolateStencil(s, &margin, &label);
    }
    if (grid.useRegional) return LabelByte(label);
    if (value <= static_cast<float>(-(band / 2))) return 255;
    return value < static_cast<float>(band) ? 128 : 0;
  }

  void renderLeaf(unsigned leaf, float cx, float cy, float edge) const {
    const double he = static_cast<double>(edge * 0.5f);
    const int col0 = std::max(x, static_cast<int>(static_cast<double>(cx) - he + 0.5));
    const int col1 = std::min(x + w - 1, static_cast<int>(static_cast<double>(cx) + he - 0.5));
    const int row0 = std::max(y, static_cast<int>(static_cast<double>(cy) - he + 0.5));
    const int row1 = std::min(y + h - 1, static_cast<int>(static_cast<double>(cy) + he - 0.5));
    if (col0 > col1 || row0 > row1) return;
    const int level = static_cast<int>(grid.level(leaf));
    const int maxLevel = static_cast<int>(grid.maxLevel);
    const bool uniform = (level < fineLevel || (level < maxLevel - 2 &&
                                                                  grid.regional[leaf] > uniformThreshold));
    if (uniform) {
      const unsigned char byte = grid.useRegional ? LabelByte(grid.region[leaf]) : (grid.levelSet[leaf] < 0.0f ? 255 : 0);
      for (int py = row0; py <= row1; ++py) {
        int a = col0, b = col1;
        if (brushRun(py, a, b)) std::memset(byteAt(a, py), byte, static_cast<std::size_t>(b - a + 1));
      }
      return;
    }
    LeafStencils stencils;
    for (int py = row0; py <= row1; ++py)
      for (int px = col0; px <= col1; ++px)
        if (inBrush(px, py)) *byteAt(px, py) = sampledByte(leaf, cx, cy, edge, px, py, stencils);
  }

  void renderQuadrant(int i, int j, int q) const {
    grid.forEachLeafInTileQuadrant(
        i, j, q, [this](unsigned leaf, float cx, float cy, float edge) { renderLeaf(leaf, cx, cy, edge); });
  }
};

}  // namespace

void RenderSelection(const SLGrid2D& grid, int x, int y, int w, int h, unsigned char* mask, int stride,
                     float centerX, float centerY, int band, float brushRadius) {
  if (mask == nullptr || w < 0 || h < 0 || !grid.hasBlock()) return;
  const TileRange tiles = TileRangeOf(grid, x, y, w, h);
  const float threshold = grid.numLevelsPlus1 == 2 ? 4.0f : std::pow(2.0f, static_cast<float>(grid.numLevelsPlus1));
  const int k = static_cast<int>(grid.useRegional ? grid.numLevelsPlus1 : grid.numLevels);
  const SelectionRenderer renderer{grid,      x,       y,       w,    h,
                                   mask,      stride,  centerX, centerY,
                                   band,      brushRadius * brushRadius,
                                   threshold, std::max(static_cast<int>(grid.maxLevel) - k - 1, 0),
                                   tiles.i0,  tiles.i1};
  if (tiles.j1 <= tiles.j0) return;
  // A leaf covers only its own pixels, so tiles and their quadrants write disjoint parts of the mask.
  VELDRA_COMMON::parallelTileQuadrants(tiles.i0, tiles.j0, tiles.i1, tiles.j1,
                                       [&renderer](int i, int j, int q) { renderer.renderQuadrant(i, j, q); });
}

VELDRA::EDITMODE MattingMode(const SLMain& engine, int x, int y) {
  const SLGrid2D* grid = engine.grid;
  if (grid == nullptr) return VELDRA::EDITMODE_ADD;
  float margin = 0.0f;
  unsigned char label = 1;
  const float v = grid->SampleInterpolated(static_cast<float>(x), static_cast<float>(y), &margin, &label);
  if (!grid->useRegional) {
    if (engine.mattingThreshold > std::fabs(v)) return VELDRA::EDITMODE_BAND;
    return v >= 0.0f ? VELDRA::EDITMODE_SUBTRACT : VELDRA::EDITMODE_ADD;
  }
  if (engine.mattingThreshold > margin || label == 2) return VELDRA::EDITMODE_BAND;
  return label == 1 ? VELDRA::EDITMODE_SUBTRACT : VELDRA::EDITMODE_ADD;
}

bool CircleRegionIntersection(const SLMain& engine, int x, int y, int radius) {
  const SLGrid2D* grid = engine.grid;
  if (grid == nullptr) return false;
  if (x < 0 || y < 0 || x >= engine.width || y >= engine.height) return true;
  unsigned char centreLabel = 1;
  const float vc = grid->SamplePoint(static_cast<float>(x), static_cast<float>(y), &centreLabel);
  // Sign seen so far: -1 all inside, +1 all outside, 0 once both sides (or an exact zero) were met.
  int sign = vc < 0.0f ? -1 : (vc > 0.0f ? 1 : 0);
  const float r = static_cast<float>(radius), fx = static_cast<float>(x), fy = static_cast<float>(y);
  const float width = static_cast<float>(engine.width), height = static_cast<float>(engine.height);
  for (int i = 0; i < 50; ++i) {
    const float a = static_cast<float>(i) * 6.2831855f / 50.0f;
    const float sx = std::cos(a) * r + fx, sy = std::sin(a) * r + fy;
    if (sx < 0.0f || sy < 0.0f || sx >= width || sy >= height) continue;
    unsigned char label = centreLabel;
    const float v = grid->SamplePoint(sx, sy, &label);
    if (grid->useRegional) {
      if (label != centreLabel) return true;
      continue;
    }
    if (v < 0.0f)
      sign = sign == -1 ? -1 : 0;
    else if (v > 0.0f)
      sign = sign == 1 ? 1 : 0;
    else
      sign = 0;
  }
  return grid->useRegional ? false : sign == 0;
}

bool SkipEvolution(const SLMain& engine, int x, int y, int percent, int radius, int left, int top, int right,
                   int bottom) {
  const SLGrid2D* grid = engine.grid;
  if (grid == nullptr) return false;
  unsigned char centreLabel = 1;
  grid->SamplePoint(static_cast<float>(x), static_cast<float>(y), &centreLabel);
  const int innerRadius = TruncToInt(static_cast<float>(percent) * 0.01f * static_cast<float>(radius) * 0.99f + 0.5f);
  const bool inner = (grid->useRegional && centreLabel == 2) ? false : CircleRegionIntersection(engine, x, y, innerRadius);
  if (x < left || y < top || x > right || y > bottom) return inner;
  if (inner) return true;
  const int outerRadius = TruncToInt(static_cast<float>(radius) * 1.01f + 0.5f);
  return !CircleRegionIntersection(engine, x, y, outerRadius);
}

}  // namespace VELDRA_CORE
