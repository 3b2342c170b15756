// Sizing the grid for an image, resetting it to the empty selection, and the field dump.
#include <cmath>
#include <cstdio>

#include "grid/sl_grid.h"

namespace VELDRA_TRW {

void SLGrid2D::setImageSize(std::uint32_t w, std::uint32_t h) {
  imageWidth = w;
  imageHeight = h;
  const auto tilesX = static_cast<std::uint32_t>(std::ceil(static_cast<float>(w) / static_cast<float>(tileSize)));
  const auto tilesY = static_cast<std::uint32_t>(std::ceil(static_cast<float>(h) / static_cast<float>(tileSize)));
  // Node indices are 32-bit: an image whose root block alone would exhaust them cannot be held.
  if (static_cast<std::uint64_t>(tilesX + 4) * (tilesY + 4) > kMaxRootTiles) throw kOutOfMemoryCode;
  initRootGrid(tilesX, tilesY);
  walk(Walk::AllNodes, [&](unsigned n) {
    levelSet[n] = kUntouchedValue;
    regional[n] = kUntouchedValue;
    region[n] = REGION_OUTSIDE;
  });
  // The squared diagonal is formed in 64 bits so that very large images do not wrap around.
  const std::uint64_t diagonal2 = static_cast<std::uint64_t>(w) * w + static_cast<std::uint64_t>(h) * h;
  const float levels =
      std::log(std::sqrt(static_cast<float>(diagonal2)) * 0.0009765625f) / std::log(2.0f);
  const auto whole = static_cast<std::uint32_t>(std::floor(levels > 0.0f ? levels : 0.0f));
  numLevels = whole < maxLevel ? whole : maxLevel;
  numLevelsPlus1 = numLevels + 1;
  resetField();
}

void SLGrid2D::resetField() {
  if (!hasBlock()) return;
  // Root values are set here without a refresh.
  ForgetBoundaryRefreshes();
  for (int j = -gj; j < static_cast<int>(nj) + gj; ++j) {
    for (int i = -gi; i < static_cast<int>(ni) + gi; ++i) {
      const unsigned r = rootIndex(i, j);
      if (hasChildren(r)) deleteSubtree(r);
      levelSet[r] = kUntouchedValue;
      regional[r] = kUntouchedValue;
      region[r] = REGION_OUTSIDE;
    }
  }
}

bool SLGrid2D::saveField() const {
  std::FILE* file = std::fopen("field.pbm", "wb");
  if (file == nullptr) return false;
  bool ok = std::fprintf(file, "PF\n%d\n%d\n-1.0000\n", static_cast<int>(imageWidth),
                         static_cast<int>(imageHeight)) > 0;
  const TreeRootGrid* grid = hasBlock() ? &rootGridOf(rootBase) : nullptr;
  float row[3 * 1024];
  for (std::uint32_t y = 0; ok && grid != nullptr && y < imageHeight; ++y) {
    std::uint32_t filled = 0;
    for (std::uint32_t x = 0; x < imageWidth; ++x) {
      const float px = static_cast<float>(x) * invTileSize - 0.5f;
      const float py = static_cast<float>(y) * invTileSize - 0.5f;
      const float tx = std::floor(px), ty = std::floor(py);
      unsigned n = rootIndex(static_cast<int>(tx), static_cast<int>(ty));
      float fx = px - tx, fy = py - ty;
      while (std::fabs(fx) > 0.5f || std::fabs(fy) > 0.5f) {
        const float dx = std::floor(fx + 0.5f), dy = std::floor(fy + 0.5f);
        n += static_cast<unsigned>(static_cast<int>(dy) * static_cast<int>(grid->strideJ) + static_cast<int>(dx));
        fx -= dx;
        fy -= dy;
      }
      while (hasChildren(n)) {
        n = child0(n) + (fx >= 0.0f ? 1u : 0u) + (fy >= 0.0f ? 2u : 0u);
        fx = (n & 1u) ? 2.0f * fx - 0.5f : 2.0f * fx + 0.5f;
        fy = (n & 2u) ? 2.0f * fy - 0.5f : 2.0f * fy + 0.5f;
      }
      const float v = levelSet[n];
      row[filled++] = v < 0.0f ? -v : 0.0f;
      row[filled++] = v < 0.0f ? 0.0f : v;
      row[filled++] = 0.0f;
      if (filled == sizeof row / sizeof row[0]) {
        ok = std::fwrite(row, sizeof(float), filled, file) == filled;
        filled = 0;
      }
    }
    if (ok && filled > 0) ok = std::fwrite(row, sizeof(float), filled, file) == filled;
  }
  return std::fclose(file) == 0 && ok;
}

}  // namespace VELDRA_TRW
