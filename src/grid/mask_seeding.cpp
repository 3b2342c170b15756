// Seeding the selection from a host mask. The tree is refined to single-pixel cells wherever the mask
// changes class and where the new content disagrees with the old selection along the rectangle's
// border; every leaf centred in the rectangle then gets a signed size value (its width + 2, negative
// inside), and the narrow-band update and redistancing turn those into a signed distance.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "grid/mask_seeding_detail.h"
#include "grid/sl_grid.h"

namespace VELDRA_TRW {

namespace seeding {

namespace {

// 128 counts as selected for the edge test, though it gets a positive value.
bool selectedClass(unsigned char m) { return m >= 128; }

}  // namespace

TileBox tileSpanOf(const SLGrid2D& grid, const MaskView& view) {
  const float s = grid.invTileSize;
  return TileBox{static_cast<int>(std::floor(static_cast<float>(view.x) * s)),
                 static_cast<int>(std::floor(static_cast<float>(view.y) * s)),
                 static_cast<int>(std::ceil(static_cast<float>(view.x + view.width) * s)),
                 static_cast<int>(std::ceil(static_cast<float>(view.y + view.height) * s))};
}

bool fitsGrid(const SLGrid2D& grid, const MaskView& view) {
  // Any stride: the mask is only read, so its rows may run bottom-up or share memory.
  if (!grid.hasBlock() || view.mask == nullptr || view.width <= 0 || view.height <= 0) return false;
  // Point samples start one tile left of a point in the first half of a tile: the block holds points
  // from -1.5 tiles up to 2 tiles past the last image tile.
  const long long lowest = -3 * static_cast<long long>(grid.tileSize) / 2;
  const long long endX = (static_cast<long long>(grid.ni) + 2) * grid.tileSize;
  const long long endY = (static_cast<long long>(grid.nj) + 2) * grid.tileSize;
  return view.x >= lowest && view.y >= lowest && static_cast<long long>(view.x) + view.width <= endX &&
         static_cast<long long>(view.y) + view.height <= endY;
}

// Splits until the pixel's own cell [px, px + 1) x [py, py + 1) is a leaf; each search starts again
// from the root tile. The search is made from the pixel's centre, which lies on no dividing line: from
// its corner (px, py) the search would settle in the tile before whenever px or py lies on a tile
// line (a point on a tile's far edge counts as inside that tile), and split a neighbouring pixel.
void refinePixelCell(SLGrid2D& grid, int px, int py) {
  const float fx = static_cast<float>(px) + 0.5f, fy = static_cast<float>(py) + 0.5f;
  for (;;) {
    unsigned leaf;
    float lx, ly;
    grid.PointToRoot(fx, fy, leaf, lx, ly);
    grid.LocateLeaf(leaf, lx, ly);
    if (grid.level(leaf) >= grid.maxLevel) return;
    grid.SplitBalanced(leaf, true);
  }
}

std::uint64_t load8(const unsigned char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void refineAlongEdges(SLGrid2D& grid, const MaskView& view) {
  constexpr std::uint64_t kClassBits = 0x8080808080808080ull;  // a byte's class is its top bit
  constexpr bool kLittleEndian = std::endian::native == std::endian::little;
  const int x0 = view.x, y0 = view.y, x1 = view.x + view.width, y1 = view.y + view.height;
  for (int py = y0; py < y1; ++py) {
    const unsigned char* row = view.mask + static_cast<long long>(py - y0) * view.stride;
    const unsigned char* above = py > y0 ? row - view.stride : nullptr;
    const unsigned char* below = py + 1 < y1 ? row + view.stride : nullptr;
    const bool borderRow = py <= y0 || py + 1 >= y1;
    int px = x0;
    while (px < x1) {
      const int k = px - x0;
      // Eight pixels at once away from the rectangle's border: only those whose class differs from a
      // neighbour's are edge pixels, and none of them is a border pixel.
      if (kLittleEndian && !borderRow && k >= 1 && k + 9 <= view.width) {
        const std::uint64_t centre = load8(row + k);
        const std::uint64_t differs = ((centre ^ load8(row + k - 1)) | (centre ^ load8(row + k + 1)) |
                                       (centre ^ load8(above + k)) | (centre ^ load8(below + k))) &
                                      kClassBits;
        for (int b = 0; differs != 0 && b < 8; ++b)
          if ((differs >> (8 * b + 7)) & 1u) refinePixelCell(grid, px + b, py);
        px += 8;
        continue;
      }
      const unsigned char m = row[k];
      const bool c = selectedClass(m);
      // Neighbours outside the rectangle repeat the pixel itself.
      const bool edge = selectedClass(px > x0 ? row[k - 1] : m) != c ||
                        selectedClass(px + 1 < x1 ? row[k + 1] : m) != c ||
                        selectedClass(above != nullptr ? above[k] : m) != c ||
                        selectedClass(below != nullptr ? below[k] : m) != c;
      bool seam = false;
      // The seam test reads the old field only at border pixels that are no edge pixels (an edge
      // pixel is refined either way).
      if (!edge && (borderRow || px <= x0 || px + 1 >= x1)) {
        unsigned char label = 0;
        const float old = grid.SamplePoint(static_cast<float>(px), static_cast<float>(py), &label);
        seam = c ? old > 0.0f : !(old > 0.0f);
      }
      if (edge || seam) refinePixelCell(grid, px, py);
      ++px;
    }
  }
}

void writeSizeValues(SLGrid2D& grid, const MaskView& view, const TileBox& span) {
  const float x0 = static_cast<float>(view.x), x1 = static_cast<float>(view.x + view.width);
  const float y0 = static_cast<float>(view.y), y1 = static_cast<float>(view.y + view.height);
  const auto column = [&](float c, int first, int count) {
    // trunc as in the host's pixel grid; the clamp only matters for rectangles in the ghost border.
    const int p = static_cast<int>(c);
    return p < first ? first : (p >= first + count ? first + count - 1 : p);
  };
  grid.forEachLeafInTiles(span.i0, span.j0, span.i1, span.j1, [&](unsigned n, float cx, float cy, float) {
    if (!(x0 <= cx && cx < x1 && y0 <= cy && cy < y1)) return;
    const unsigned char m = view.at(column(cx, view.x, view.width), column(cy, view.y, view.height));
    const unsigned level = grid.level(n);
    const unsigned shift = level < grid.maxLevel ? grid.maxLevel - level : 0u;
    const float d = static_cast<float>(1u << shift) + 2.0f;
    grid.levelSet[n] = m > 128 ? -d : d;
    if (grid.useRegional) {
      grid.regional[n] = d;
      grid.region[n] = m > 128 ? REGION_INSIDE : (m < 128 ? REGION_OUTSIDE : REGION_BAND);
    }
  });
}

}  // namespace seeding

void SLGrid2D::InitFromMask(int x, int y, int width, int height, const unsigned char* mask, int stride) {
  if (width == 0 || height == 0) return;
  const seeding::MaskView view{mask, x, y, width, height, stride};
  if (!seeding::fitsGrid(*this, view)) return;
  const TileBox span = seeding::tileSpanOf(*this, view);
  seeding::refineAlongEdges(*this, view);
  seeding::writeSizeValues(*this, view, span);
  RefreshBoundary(levelSet.data());
  if (useRegional) {
    RefreshBoundary(regional.data());
    RefreshBoundary(region.data());
  }
  UpdateNarrowBandAndRedistance(span.i0, span.j0, span.i1, span.j1);
}

}  // namespace VELDRA_TRW
