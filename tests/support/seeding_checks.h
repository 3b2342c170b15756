// Checks and inputs for the seeding and refinement tests: tree invariants (leaf visits, grading across
// edges and corners by an independent pixel raster), node counts, and host masks of several kinds.
#pragma once
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

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

// ---- host masks (row-major, stride = width) ----
struct Mask {
  int width = 0, height = 0;
  std::vector<unsigned char> bytes;
  Mask(int w, int h, unsigned char fill = 0) : width(w), height(h), bytes(static_cast<std::size_t>(w) * h, fill) {}
  unsigned char& at(int x, int y) { return bytes[static_cast<std::size_t>(y) * width + x]; }
  unsigned char at(int x, int y) const { return bytes[static_cast<std::size_t>(y) * width + x]; }
};

inline Mask discMask(int w, int h, float cx, float cy, float r, unsigned char inside = 255) {
  Mask m(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (std::hypot(static_cast<float>(x) + 0.5f - cx, static_cast<float>(y) + 0.5f - cy) < r) m.at(x, y) = inside;
  return m;
}

// Smooth value noise (bilinear over a random lattice of `cell` pixels, three octaves), thresholded:
// blobs with natural-looking outlines.
inline Mask noiseMask(int w, int h, std::uint32_t seed, float cell, float threshold = 0.5f) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  struct Octave {
    float cell, weight;
    int nx;
    std::vector<float> lattice;
  };
  std::vector<Octave> octaves;
  float total = 0.0f;
  for (int o = 0; o < 3; ++o) {
    const float c = cell / static_cast<float>(1 << o);
    const int nx = static_cast<int>(static_cast<float>(w) / c) + 2, ny = static_cast<int>(static_cast<float>(h) / c) + 2;
    octaves.push_back({c, 1.0f / static_cast<float>(1 << o), nx, std::vector<float>(static_cast<std::size_t>(nx) * ny)});
    for (float& v : octaves.back().lattice) v = u(rng);
    total += octaves.back().weight;
  }
  Mask m(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      float v = 0.0f;
      for (const Octave& oc : octaves) {
        const float fx = static_cast<float>(x) / oc.cell, fy = static_cast<float>(y) / oc.cell;
        const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
        const float sx = fx - static_cast<float>(ix), sy = fy - static_cast<float>(iy);
        const auto L = [&](int a, int b) { return oc.lattice[static_cast<std::size_t>(b) * oc.nx + a]; };
        v += oc.weight * ((L(ix, iy) * (1 - sx) + L(ix + 1, iy) * sx) * (1 - sy) + (L(ix, iy + 1) * (1 - sx) + L(ix + 1, iy + 1) * sx) * sy);
      }
      m.at(x, y) = v / total > threshold ? 255 : 0;
    }
  return m;
}

}  // namespace veldra_test
