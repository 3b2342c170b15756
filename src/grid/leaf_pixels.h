// Reading a rectangle of pixels leaf by leaf, as the selection read-outs do. Pixel (px, py) is
// sampled at the point (px, py) and belongs to the leaf whose block of pixels holds it; a leaf is
// either filled with one value or sampled pixel by pixel, and the pixels of a sampled leaf share one
// interpolation stencil per quadrant of the leaf instead of searching for one per pixel.
#pragma once
#include <algorithm>

#include "grid/sampling_stencil.h"
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

// The pixels of the rectangle (x, y, w, h) in the block of a leaf with centre (cx, cy) and edge
// `edge`: columns col0..col1 and rows row0..row1. Bounds are formed in double precision and
// truncated toward zero, so the blocks of a tile's leaves tile its pixels.
struct PixelBlock {
  int col0, col1, row0, row1;
  bool empty() const { return col0 > col1 || row0 > row1; }
};

inline PixelBlock LeafPixelBlock(float cx, float cy, float edge, int x, int y, int w, int h) {
  const double he = static_cast<double>(edge * 0.5f);
  return PixelBlock{std::max(x, static_cast<int>(static_cast<double>(cx) - he + 0.5)),
                    std::min(x + w - 1, static_cast<int>(static_cast<double>(cx) + he - 0.5)),
                    std::max(y, static_cast<int>(static_cast<double>(cy) - he + 0.5)),
                    std::min(y + h - 1, static_cast<int>(static_cast<double>(cy) + he - 0.5))};
}

// Whether a node's square (centre (cx, cy), edge `edge`) may hold pixels of the rectangle (x, y, w, h).
// Leaves' pixel blocks lie inside their squares, so a square that misses the rectangle by a pixel or
// more holds none, and a walk may pass over its subtree.
inline bool SquareMayHoldPixels(float cx, float cy, float edge, int x, int y, int w, int h) {
  const double half = static_cast<double>(edge) * 0.5 + 1.0;
  return !(static_cast<double>(cx) + half < x || static_cast<double>(cx) - half > static_cast<double>(x) + w ||
           static_cast<double>(cy) + half < y || static_cast<double>(cy) - half > static_cast<double>(y) + h);
}

// Whether a read-out fills a leaf whole instead of sampling its pixels: leaves above fineLevel, and,
// when regionalShortcut is set, leaves from fineLevel down to three levels above the finest whose
// regional value exceeds `threshold` (far from every region border).
inline bool FilledWhole(const SLGrid2D& grid, unsigned leaf, int fineLevel, float threshold, bool regionalShortcut) {
  const int level = static_cast<int>(grid.level(leaf));
  return level < fineLevel ||
         (regionalShortcut && level < static_cast<int>(grid.maxLevel) - 2 && grid.regional[leaf] > threshold);
}

// The stencils of one leaf's pixels, one per quadrant (lx < 0, ly < 0) of the leaf, found on first use.
// On a tile's first row or column the point search from the image point settles in the neighbouring
// tile; there the stencil of that search is used. Elsewhere the leaf and offset of the walk are
// exactly what the search would find (|lx|, |ly| < 0.5), so every pixel gets the stencil of the
// search from its image point. Given the leaf's window (a window walk's), a quadrant's stencil is read
// from it: for a point inside the leaf FindStencilNear finds FindStencil's stencil, without climbing.
class LeafPixelStencils {
 public:
  // slot: the quadrant 0..3, or kSearched for a pixel on a tile's first row or column.
  static constexpr int kSearched = 4;
  struct Found {
    const sampling::Stencil& stencil;  // moved to the pixel's point
    float leafEdge;                    // edge in pixels of the leaf the stencil was found for
    int slot;
  };

  LeafPixelStencils(const SLGrid2D& grid, unsigned leaf, float cx, float cy, float edge,
                    const LeafWindow* window = nullptr)
      : grid_(grid), leaf_(leaf), cx_(cx), cy_(cy), edge_(edge), window_(window) {}

  Found at(int px, int py) {
    if ((px & 255) == 0 || (py & 255) == 0) {
      unsigned n;
      float lx, ly;
      grid_.PointToRoot(static_cast<float>(px), static_cast<float>(py), n, lx, ly);
      grid_.LocateLeaf(n, lx, ly);
      sampling::FindStencil(grid_, n, lx, ly, stencils_[kSearched]);
      return Found{stencils_[kSearched], grid_.tileSizeF / static_cast<float>(1u << grid_.level(n)), kSearched};
    }
    const float lx = (static_cast<float>(px) - cx_) / edge_, ly = (static_cast<float>(py) - cy_) / edge_;
    const int q = (lx < 0.0f ? 1 : 0) + (ly < 0.0f ? 2 : 0);
    sampling::Stencil& s = stencils_[q];
    if (found_[q]) {
      sampling::MoveStencilPoint(leaf_, lx, ly, s);
    } else {
      if (window_ != nullptr) sampling::FindStencilNear(grid_, *window_, lx, ly, s);
      else sampling::FindStencil(grid_, leaf_, lx, ly, s);
      found_[q] = true;
    }
    return Found{s, edge_, q};
  }

 private:
  const SLGrid2D& grid_;
  unsigned leaf_;
  float cx_, cy_, edge_;
  const LeafWindow* window_;
  sampling::Stencil stencils_[5];
  bool found_[4] = {false, false, false, false};
};

}  // namespace VELDRA_TRW
