// Copies a channel across the image edge: into the leaves of the last tile row and column whose
// centres lie outside the image, then into the ghost rows, then into the ghost columns (corners
// therefore copy from the refreshed ghost rows). Inside each tile the children nearer the image are
// walked first, so every leaf copies from a neighbour that has already been refreshed.
#include "grid/face_stencil_detail.h"
#include "grid/sl_grid.h"

namespace VELDRA_TRW {
namespace {

float meanOfPair(float a, float b) { return (a + b) * 0.5f; }
unsigned char meanOfPair(unsigned char a, unsigned char b) {
  return static_cast<unsigned char>((static_cast<unsigned>(a) + static_cast<unsigned>(b)) >> 1);
}

// Child visiting order for leaves that take from direction d: the half on the d side first.
constexpr unsigned char kNearFirst[4][4] = {
    {0, 2, 1, 3},  // takes from -x: lower x half first
    {1, 3, 0, 2},  // takes from +x
    {0, 1, 2, 3},  // takes from -y
    {2, 3, 0, 1},  // takes from +y
};

// Leaf n takes the value of its neighbour in direction d, or the mean of that neighbour's two children
// touching n when the neighbour is subdivided.
template <typename T>
void takeFrom(const SLGrid2D& grid, T* channel, unsigned n, Direction d) {
  const unsigned m = grid.neighbour(n, d);
  if (m == NO_NODE) return;
  const unsigned c = grid.child0(m);
  if (c == NO_NODE) {
    channel[n] = channel[m];
    return;
  }
  channel[n] = meanOfPair(channel[c + face_stencil::kTouching[d][0]], channel[c + face_stencil::kTouching[d][1]]);
}

// Every leaf of tile (i, j) accepted by keep(cx, cy) takes from d, children nearer the image first.
template <typename T, typename Keep>
void refreshTile(const SLGrid2D& grid, T* channel, int i, int j, Direction d, Keep&& keep) {
  grid.forEachLeafInTile(i, j, kNearFirst[d], [&](unsigned n, float cx, float cy, float) {
    if (keep(cx, cy)) takeFrom(grid, channel, n, d);
  });
}

template <typename T>
void refreshChannel(const SLGrid2D& grid, T* channel) {
  if (channel == nullptr || !grid.hasBlock()) return;
  const int ni = static_cast<int>(grid.ni), nj = static_cast<int>(grid.nj);
  const auto everyLeaf = [](float, float) { return true; };
  if (grid.imageHeight % grid.tileSize != 0 && nj > 0) {
    const float edge = static_cast<float>(grid.imageHeight);
    for (int i = 0; i < ni; ++i)
      refreshTile(grid, channel, i, nj - 1, DIR_MINUS_Y, [edge](float, float cy) { return cy >= edge; });
  }
  if (grid.imageWidth % grid.tileSize != 0 && ni > 0) {
    const float edge = static_cast<float>(grid.imageWidth);
    for (int j = -grid.gj; j < nj + grid.gj; ++j)
      refreshTile(grid, channel, ni - 1, j, DIR_MINUS_X, [edge](float cx, float) { return cx >= edge; });
  }
  for (int i = 0; i < ni; ++i)
    for (int k = 0; k < grid.gj; ++k) {
      refreshTile(grid, channel, i, -1 - k, DIR_PLUS_Y, everyLeaf);
      refreshTile(grid, channel, i, nj + k, DIR_MINUS_Y, everyLeaf);
    }
  for (int j = -grid.gj; j < nj + grid.gj; ++j)
    for (int k = 0; k < grid.gi; ++k) {
      refreshTile(grid, channel, -1 - k, j, DIR_PLUS_X, everyLeaf);
      refreshTile(grid, channel, ni + k, j, DIR_MINUS_X, everyLeaf);
    }
}

}  // namespace

void SLGrid2D::RefreshBoundary(float* channel) { refreshChannel(*this, channel); }
void SLGrid2D::RefreshBoundary(unsigned char* channel) { refreshChannel(*this, channel); }

}  // namespace VELDRA_TRW
