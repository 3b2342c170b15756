// The walk that the extra read-outs share: the leaves of a pixel rectangle, root-tile quadrants in
// parallel, each leaf with its block of the rectangle's pixels, and the rule deciding which leaves
// are filled whole. The extras read the level set's sign whether or not the regional partition is on.
#pragma once
#include <algorithm>
#include <cmath>

#include "api/tile_range.h"
#include "common/parallel_rows.h"
#include "grid/leaf_pixels.h"
#include "grid/leaf_window.h"

namespace VELDRA_EXTRAS_CORE {

using VELDRA_TRW::SLGrid2D;

// The leaves that GetSelection fills whole when the regional partition is off. While it is on, its
// regional values measure the distance to the band's borders, not to the selection's boundary, so
// only the level rule applies.
struct FillRule {
  int fineLevel;
  float threshold;
  bool regionalShortcut;

  explicit FillRule(const SLGrid2D& grid)
      : fineLevel(std::max(static_cast<int>(grid.maxLevel) - static_cast<int>(grid.numLevels) - 1, 0)),
        threshold(grid.numLevelsPlus1 == 2 ? 4.0f : std::pow(2.0f, static_cast<float>(grid.numLevelsPlus1))),
        regionalShortcut(grid.useRegional == 0) {}

  bool filledWhole(const SLGrid2D& grid, unsigned leaf) const {
    return VELDRA_TRW::FilledWhole(grid, leaf, fineLevel, threshold, regionalShortcut);
  }
};

// visit(leaf, cx, cy, edge, block, window) for every leaf holding pixels of the rectangle (x, y, w, h),
// with the leaf's window from the walk (stencils read from it are those the point search finds).
// Subtrees whose square holds no pixel of the rectangle are passed over. Calls for different leaves
// may run at once; each leaf's block is its own.
template <typename Visit>
void ForEachLeafOfRect(const SLGrid2D& grid, int x, int y, int w, int h, const Visit& visit) {
  const VELDRA_TRW::TileBox t = VELDRA_CORE::TileRangeOf(grid, x, y, w, h);
  const auto meetsRect = [=](float cx, float cy, float edge) {
    return VELDRA_TRW::SquareMayHoldPixels(cx, cy, edge, x, y, w, h);
  };
  VELDRA_COMMON::parallelTileQuadrants(t.i0, t.j0, t.i1, t.j1, [&](int i, int j, int q) {
    VELDRA_TRW::forEachLeafWithWindow(
        grid, i, j, q,
        [&](unsigned leaf, float cx, float cy, float edge, const VELDRA_TRW::LeafWindow& window) {
          const VELDRA_TRW::PixelBlock b = VELDRA_TRW::LeafPixelBlock(cx, cy, edge, x, y, w, h);
          if (!b.empty()) visit(leaf, cx, cy, edge, b, window);
        },
        meetsRect);
  });
}

// The level set interpolated at an image point, found by the point search (the value that
// SampleInterpolated gives while the regional partition is off).
inline float LevelSetAt(const SLGrid2D& grid, float px, float py) {
  unsigned n;
  float lx, ly;
  grid.PointToRoot(px, py, n, lx, ly);
  grid.LocateLeaf(n, lx, ly);
  VELDRA_TRW::sampling::Stencil s;
  VELDRA_TRW::sampling::FindStencil(grid, n, lx, ly, s);
  return VELDRA_TRW::sampling::InterpolateStencilOn(s, grid.levelSet.data());
}

}  // namespace VELDRA_EXTRAS_CORE
