// Builders for test trees: grids of a given image size, refined by the tree's own split operations
// into graded shapes, and fields given as functions of the pixel position.
#pragma once
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "grid/sl_grid.h"

namespace veldra_test {

using VELDRA_TRW::NO_NODE;
using VELDRA_TRW::SLGrid2D;

inline std::unique_ptr<SLGrid2D> makeGrid(std::uint32_t w, std::uint32_t h) {
  auto grid = std::make_unique<SLGrid2D>();
  grid->setImageSize(w, h);
  return grid;
}

// Links a fresh group under leaf n; the children inherit n's channel values.
inline unsigned splitLeaf(SLGrid2D& grid, unsigned n) {
  const unsigned g = grid.nodes.allocateGroup();
  grid.linkChildren(n, g);
  for (unsigned c = 0; c < 4; ++c) {
    grid.levelSet[g + c] = grid.levelSet[n];
    grid.regional[g + c] = grid.regional[n];
    grid.region[g + c] = grid.region[n];
    grid.temp[g + c] = grid.temp[n];
    grid.temp2[g + c] = grid.temp2[n];
  }
  return g;
}

// Centre and edge in pixels of any node, from its chain of child numbers up to its root tile.
inline void leafCentre(const SLGrid2D& grid, unsigned n, float* cx, float* cy, float* edge) {
  unsigned path[16];
  int depth = 0;
  unsigned m = n;
  while (grid.parent(m) != NO_NODE) {
    path[depth++] = m & 3u;
    m = grid.parent(m);
  }
  const VELDRA_TRW::TreeRootGrid& rg = grid.rootGridOf(m);
  const int local = static_cast<int>(m - rg.firstNode);
  const int j = local / static_cast<int>(rg.strideJ) - static_cast<int>(rg.gj);
  const int i = local % static_cast<int>(rg.strideJ) - static_cast<int>(rg.gi);
  float x = (static_cast<float>(i) + 0.5f) * grid.tileSizeF, y = (static_cast<float>(j) + 0.5f) * grid.tileSizeF;
  float e = grid.tileSizeF;
  while (depth > 0) {
    const unsigned k = path[--depth];
    x += (k & 1u) ? e * 0.25f : -e * 0.25f;
    y += (k & 2u) ? e * 0.25f : -e * 0.25f;
    e *= 0.5f;
  }
  *cx = x;
  *cy = y;
  *edge = e;
}

// Leaves of the whole tree, ghosts included.
inline std::vector<unsigned> allLeaves(const SLGrid2D& grid) {
  std::vector<unsigned> leaves;
  grid.walk(VELDRA_TRW::Walk::AllLeaves, [&](unsigned n) { leaves.push_back(n); });
  return leaves;
}

// Splits leaves until every leaf's edge and corner neighbours are at most one level finer than it.
inline void gradeTree(SLGrid2D& grid) {
  using namespace VELDRA_TRW;
  bool changed = true;
  while (changed) {
    changed = false;
    for (unsigned n : allLeaves(grid)) {
      bool split = false;
      for (int d = 0; d < 4 && !split; ++d) {
        const unsigned m = grid.neighbour(n, static_cast<Direction>(d));
        if (m == NO_NODE) continue;
        if (grid.hasGrandchildren(m)) split = true;
        // Corners: the neighbour's own neighbours across the other axis.
        const Direction across[2] = {d < 2 ? DIR_MINUS_Y : DIR_MINUS_X, d < 2 ? DIR_PLUS_Y : DIR_PLUS_X};
        for (Direction a : across) {
          if (grid.level(m) != grid.level(n)) continue;
          const unsigned c = grid.neighbour(m, a);
          if (c != NO_NODE && grid.hasGrandchildren(c)) split = true;
        }
      }
      if (split && grid.level(n) < grid.maxLevel) {
        splitLeaf(grid, n);
        changed = true;
      }
    }
  }
  grid.updateRootFlags();
}

// Splits, down to maxLevel, every leaf whose (centre x, centre y, edge) satisfies pred; then grades.
template <typename Pred>
void refineWhere(SLGrid2D& grid, Pred&& pred, unsigned maxLevel) {
  bool changed = true;
  while (changed) {
    changed = false;
    for (unsigned n : allLeaves(grid)) {
      if (grid.level(n) >= maxLevel) continue;
      float cx, cy, e;
      leafCentre(grid, n, &cx, &cy, &e);
      if (pred(cx, cy, e)) {
        splitLeaf(grid, n);
        changed = true;
      }
    }
  }
  gradeTree(grid);
}

// `splits` random leaf splits (interior tiles only, down to maxLevel), then grading.
inline void randomGradedRefine(SLGrid2D& grid, std::uint32_t seed, int splits, unsigned maxLevel) {
  std::mt19937 rng(seed);
  for (int s = 0; s < splits; ++s) {
    std::vector<unsigned> leaves;
    grid.walk(VELDRA_TRW::Walk::InteriorLeaves, [&](unsigned n) {
      if (grid.level(n) < maxLevel) leaves.push_back(n);
    });
    if (leaves.empty()) break;
    splitLeaf(grid, leaves[std::uniform_int_distribution<std::size_t>(0, leaves.size() - 1)(rng)]);
  }
  gradeTree(grid);
}

// Random values on every node: level set in [-phi, phi], regional distance in [0, rho], label 0..2.
inline void randomChannels(SLGrid2D& grid, std::uint32_t seed, float phi, float rho) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> value(-phi, phi), distance(0.0f, rho);
  grid.walk(VELDRA_TRW::Walk::AllNodes, [&](unsigned n) {
    grid.levelSet[n] = value(rng);
    grid.regional[n] = distance(rng);
    grid.region[n] = static_cast<unsigned char>(rng() % 3);
  });
}

// Every node (ghosts and inner nodes included) gets f(centre x, centre y) in the given channel.
template <typename Channel, typename F>
void fillField(SLGrid2D& grid, Channel& channel, F&& f) {
  grid.walk(VELDRA_TRW::Walk::AllNodes, [&](unsigned n) {
    float cx, cy, e;
    leafCentre(grid, n, &cx, &cy, &e);
    channel[n] = f(cx, cy);
  });
}

}  // namespace veldra_test
