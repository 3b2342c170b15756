// Checks and inputs for the seeding and refinement tests: tree invariants (leaf visits, grading across
// edges and corners by an independent pixel raster), node counts, and host masks of several kinds.
#pragma once
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/host.h"
#include "support/tree_builders.h"

namespace veldra_test {

// Every interior leaf is visited exactly once, every interior inner node never.
inline bool leafVisitsExact(SLGrid2D& grid, std::string* why = nullptr) {
  std::vector<float> visits(grid.nodes.capacity(), -1.0f);
  grid.countLeafVisits(visits.data());
  bool ok = true;
  grid.walk(VELDRA_TRW::Walk::InteriorNodes, [&](unsigned n) {
    if (ok && visits[n] != (grid.hasChildren(n) ? 0.0f : 1.0f)) {
      ok = false;
      if (why) *why = "node " + std::to_string(n) + " visited " + std::to_string(visits[n]);
    }
  });
  return ok;
}

// Empty when the tree's own grading check holds and every interior leaf is visited exactly once.
inline std::string treeDefect(SLGrid2D& grid) {
  std::string why;
  if (!grid.checkGrading()) return "not graded";
  return leafVisitsExact(grid, &why) ? std::string() : why;
}

// Level of every pixel of the whole root block (ghost tiles included), from leaf geometry alone.
struct LevelRaster {
  int width = 0, height = 0, originX = 0, originY = 0;
  std::vector<unsigned char> level;

  explicit LevelRaster(const SLGrid2D& grid) {
    const int t = static_cast<int>(grid.tileSize);
    originX = -grid.gi * t;
    originY = -grid.gj * t;
    width = (static_cast<int>(grid.ni) + 2 * grid.gi) * t;
    height = (static_cast<int>(grid.nj) + 2 * grid.gj) * t;
    level.assign(static_cast<std::size_t>(width) * height, 255);
    grid.forEachLeafInTiles(-grid.gi, -grid.gj, static_cast<int>(grid.ni) + grid.gi, static_cast<int>(grid.nj) + grid.gj,
                            [&](unsigned n, float cx, float cy, float e) {
                              const int x0 = static_cast<int>(cx - e * 0.5f) - originX, y0 = static_cast<int>(cy - e * 0.5f) - originY;
                              for (int y = y0; y < y0 + static_cast<int>(e); ++y)
                                for (int x = x0; x < x0 + static_cast<int>(e); ++x)
                                  level[static_cast<std::size_t>(y) * width + x] = static_cast<unsigned char>(grid.level(n));
                            });
  }
  unsigned char at(int px, int py) const { return level[static_cast<std::size_t>(py - originY) * width + (px - originX)]; }
  // Leaves touching across an edge or a corner differ by at most one level.
  bool graded(std::string* why = nullptr) const {
    for (int y = 0; y + 1 < height; ++y)
      for (int x = 0; x < width; ++x) {
        const std::size_t i = static_cast<std::size_t>(y) * width + x, below = i + static_cast<std::size_t>(width);
        const int a = level[i];
        const int others[4] = {x + 1 < width ? level[i + 1] : a, level[below], x + 1 < width ? level[below + 1] : a,
                               x > 0 ? level[below - 1] : a};
        for (int b : others)
          if (std::abs(a - b) > 1) {
            if (why) *why = "levels " + std::to_string(a) + "/" + std::to_string(b) + " at pixel (" +
                            std::to_string(x + originX) + ", " + std::to_string(y + originY) + ")";
            return false;
          }
      }
    return true;
  }
};

inline std::size_t countNodes(const SLGrid2D& grid) {
  std::size_t count = 0;
  grid.walk(VELDRA_TRW::Walk::AllNodes, [&](unsigned) { ++count; });
  return count;
}

// Leaf list (ghosts included) in walk order: two trees with equal lists have the same topology.
inline std::vector<unsigned> leafSignature(const SLGrid2D& grid) {
  std::vector<unsigned> out;
  grid.walk(VELDRA_TRW::Walk::AllLeaves, [&](unsigned n) { out.push_back(grid.level(n)); });
  return out;
}

}  // namespace veldra_test
