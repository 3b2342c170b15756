// Read-only questions about the selection: the three-level mask of a rectangle, the matting class
// of a pixel, and whether a circle crosses the selection boundary (or a region border).
#include "api/queries.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "api/tile_range.h"
#include "common/parallel_rows.h"
#include "grid/leaf_pixels.h"
#include "grid/leaf_window.h"

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

  unsigned char sampledByte(const VELDRA_TRW::sampling::Stencil& s) const {
    float margin = 0.0f;
    unsigned char label = 1;
    const float value = grid.InterpolateStencil(s, &margin, &label);
    if (grid.useRegional) return LabelByte(label);
    if (value <= static_cast<float>(-(band / 2))) return 255;
    return value < static_cast<float>(band) ? 128 : 0;
  }

  // The byte of every point of a stencil's square when its values settle it, else kUnsettled. The
  // interpolant is a weighted mean of the values StencilRange scans, with weights of at least 0 whose
  // sum is 1 within 2^-18; its float evaluation (at most eight terms per corner, then the bilinear
  // blend) errs by less than 2^-18 of the largest magnitude among them. So the value lies within 2^-16
  // of that magnitude (plus 2^-100 for underflow) of the values' range, and a range that keeps this
  // far from the thresholds gives every point the same byte as sampling it. NaN or infinite values
  // never settle.
  static constexpr int kUnsettled = -1, kNotAsked = -2;
  int settledByte(const VELDRA_TRW::sampling::Stencil& s) const {
    const VELDRA_TRW::sampling::ValueRange range = VELDRA_TRW::sampling::StencilRange(s, grid.levelSet.data());
    if (!range.finite) return kUnsettled;
    const double low = range.lo, high = range.hi;
    const double reach = std::max(std::fabs(low), std::fabs(high)) * 0x1p-16 + 0x1p-100;
    const double below = low - reach, above = high + reach;
    const double inside = static_cast<float>(-(band / 2)), outside = static_cast<float>(band);
    if (above <= inside) return 255;
    if (below <= inside) return kUnsettled;
    if (above < outside) return 128;
    return below >= outside ? 0 : kUnsettled;
  }

  void renderLeaf(unsigned leaf, float cx, float cy, float edge, const VELDRA_TRW::LeafWindow& window) const {
    const VELDRA_TRW::PixelBlock b = VELDRA_TRW::LeafPixelBlock(cx, cy, edge, x, y, w, h);
    if (b.empty()) return;
    if (VELDRA_TRW::FilledWhole(grid, leaf, fineLevel, uniformThreshold, true)) {
      const unsigned char byte = grid.useRegional ? LabelByte(grid.region[leaf]) : (grid.levelSet[leaf] < 0.0f ? 255 : 0);
      for (int py = b.row0; py <= b.row1; ++py) {
        int a = b.col0, e = b.col1;
        if (brushRun(py, a, e)) std::memset(byteAt(a, py), byte, static_cast<std::size_t>(e - a + 1));
      }
      return;
    }
    VELDRA_TRW::LeafPixelStencils stencils(grid, leaf, cx, cy, edge, &window);
    // In a leaf of several pixels, each quadrant's stencil may settle all its pixels at once.
    const bool settle = !grid.useRegional && b.col0 != b.col1;
    int settled[4] = {kNotAsked, kNotAsked, kNotAsked, kNotAsked};
    for (int py = b.row0; py <= b.row1; ++py)
      for (int px = b.col0; px <= b.col1; ++px) {
        if (!inBrush(px, py)) continue;
        const VELDRA_TRW::LeafPixelStencils::Found found = stencils.at(px, py);
        int byte = kUnsettled;
        if (settle && found.slot != VELDRA_TRW::LeafPixelStencils::kSearched) {
          int& known = settled[found.slot];
          if (known == kNotAsked) known = settledByte(found.stencil);
          byte = known;
        }
        *byteAt(px, py) = byte != kUnsettled ? static_cast<unsigned char>(byte) : sampledByte(found.stencil);
      }
  }

  // Whether a node's square (centre (cx, cy), edge `edge`) may hold a pixel to write: it may hold
  // pixels of the rectangle, and its nearest point does not lie beyond the brush circle with room for
  // the rounding of inBrush (squared distances err by far less than 2^-10 of themselves).
  bool mayWrite(float cx, float cy, float edge) const {
    if (!VELDRA_TRW::SquareMayHoldPixels(cx, cy, edge, x, y, w, h)) return false;
    const double half = static_cast<double>(edge) * 0.5 + 1.0;
    const double x0 = static_cast<double>(cx) - half, x1 = static_cast<double>(cx) + half;
    const double y0 = static_cast<double>(cy) - half, y1 = static_cast<double>(cy) + half;
    const double dx = std::max({x0 - centerX, static_cast<double>(centerX) - x1, 0.0});
    const double dy = std::max({y0 - centerY, static_cast<double>(centerY) - y1, 0.0});
    return !(dx * dx + dy * dy > static_cast<double>(radius2) * (1.0 + 0x1p-10) + 1.0);
  }

  void renderQuadrant(int i, int j, int q) const {
    // The window walk hands each leaf its window, from which its stencils are read.
    VELDRA_TRW::forEachLeafWithWindow(
        grid, i, j, q,
        [this](unsigned leaf, float cx, float cy, float edge, const VELDRA_TRW::LeafWindow& window) {
          renderLeaf(leaf, cx, cy, edge, window);
        },
        [this](float cx, float cy, float edge) { return mayWrite(cx, cy, edge); });
  }
};

}  // namespace

void RenderSelection(const SLGrid2D& grid, int x, int y, int w, int h, unsigned char* mask, int stride,
                     float centerX, float centerY, int band, float brushRadius) {
  if (mask == nullptr || w < 0 || h < 0 || !grid.hasBlock()) return;
  const TileBox tiles = TileRangeOf(grid, x, y, w, h);
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
  if (engine.mattingThreshold > margin || label == VELDRA_TRW::REGION_BAND) return VELDRA::EDITMODE_BAND;
  return label == VELDRA_TRW::REGION_OUTSIDE ? VELDRA::EDITMODE_SUBTRACT : VELDRA::EDITMODE_ADD;
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
  const bool inner = (grid->useRegional && centreLabel == VELDRA_TRW::REGION_BAND) ? false : CircleRegionIntersection(engine, x, y, innerRadius);
  if (x < left || y < top || x > right || y > bottom) return inner;
  if (inner) return true;
  const int outerRadius = TruncToInt(static_cast<float>(radius) * 1.01f + 0.5f);
  return !CircleRegionIntersection(engine, x, y, outerRadius);
}

}  // namespace VELDRA_CORE
