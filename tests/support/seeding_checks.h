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
    const float want = grid.hasChildren(n) ? 0.0f : 1.0f;
    if (visits[n] != want && ok) {
      ok = false;
      if (why) *why = "node " + std::to_string(n) + " visited " + std::to_string(visits[n]);
    }
  });
  return ok;
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
    grid.forEachLeafInTiles(-grid.gi, -grid.gj, static_cast<int>(grid.ni) + grid.gi,
                            static_cast<int>(grid.nj) + grid.gj, [&](unsigned n, float cx, float cy, float e) {
                              const int x0 = static_cast<int>(cx - e * 0.5f) - originX;
                              const int y0 = static_cast<int>(cy - e * 0.5f) - originY;
                              const int s = static_cast<int>(e);
                              for (int y = y0; y < y0 + s; ++y)
                                for (int x = x0; x < x0 + s; ++x)
                                  level[static_cast<std::size_t>(y) * width + x] =
                                      static_cast<unsigned char>(grid.level(n));
                            });
  }
  unsigned char at(int px, int py) const {
    return level[static_cast<std::size_t>(py - originY) * width + (px - originX)];
  }
  // Leaves touching across an edge or a corner differ by at most one level.
  bool graded(std::string* why = nullptr) const {
    for (int y = 0; y + 1 < height; ++y)
      for (int x = 0; x < width; ++x) {
        const int a = level[static_cast<std::size_t>(y) * width + x];
        const int others[3] = {x + 1 < width ? level[static_cast<std::size_t>(y) * width + x + 1] : a,
                               level[static_cast<std::size_t>(y + 1) * width + x],
                               x + 1 < width ? level[static_cast<std::size_t>(y + 1) * width + x + 1] : a};
        const int left = x > 0 ? level[static_cast<std::size_t>(y + 1) * width + x - 1] : a;
        for (int b : {others[0], others[1], others[2], left})
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
    int nx, ny;
    std::vector<float> lattice;
  };
  std::vector<Octave> octaves;
  float total = 0.0f;
  for (int o = 0; o < 3; ++o) {
    Octave oc{cell / static_cast<float>(1 << o), 1.0f / static_cast<float>(1 << o), 0, 0, {}};
    oc.nx = static_cast<int>(static_cast<float>(w) / oc.cell) + 2;
    oc.ny = static_cast<int>(static_cast<float>(h) / oc.cell) + 2;
    oc.lattice.resize(static_cast<std::size_t>(oc.nx) * oc.ny);
    for (float& v : oc.lattice) v = u(rng);
    total += oc.weight;
    octaves.push_back(std::move(oc));
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
        const float top = L(ix, iy) * (1 - sx) + L(ix + 1, iy) * sx;
        const float bottom = L(ix, iy + 1) * (1 - sx) + L(ix + 1, iy + 1) * sx;
        v += oc.weight * (top * (1 - sy) + bottom * sy);
      }
      m.at(x, y) = v / total > threshold ? 255 : 0;
    }
  return m;
}

}  // namespace veldra_test
