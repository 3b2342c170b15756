// Test trees and what tests need to know about them: grids refined by the tests' own splits (graded
// by their own rule, independent of the library's graded split), fields given as functions of the
// position, leaf geometry, reference lookups by point location, the invariants every edit must
// leave behind, and the bits that tell two trees apart.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "grid/sl_grid.h"
#include "grid/tree_validity.h"

namespace veldra_test {

using VELDRA_TRW::Direction;
using VELDRA_TRW::NO_NODE;
using VELDRA_TRW::SLGrid2D;
using VELDRA_TRW::TreeFlags;
using VELDRA_TRW::Walk;

inline std::unique_ptr<SLGrid2D> makeGrid(std::uint32_t w, std::uint32_t h) {
  auto grid = std::make_unique<SLGrid2D>();
  grid->setImageSize(w, h);
  return grid;
}

// Links a fresh group under leaf n; the children inherit n's channel values.
inline unsigned splitLeaf(SLGrid2D& grid, unsigned n) {
  const unsigned g = grid.nodes.allocateGroup();
  grid.linkChildren(n, g);
  for (unsigned c = g; c < g + 4; ++c) {
    grid.levelSet[c] = grid.levelSet[n];
    grid.regional[c] = grid.regional[n];
    grid.region[c] = grid.region[n];
    grid.temp[c] = grid.temp[n];
    grid.temp2[c] = grid.temp2[n];
  }
  return g;
}

// Centre and edge in pixels of any node, from its chain of child numbers up to its root tile.
inline void leafCentre(const SLGrid2D& grid, unsigned n, float* cx, float* cy, float* edge) {
  unsigned path[16];
  int depth = 0;
  for (; grid.parent(n) != NO_NODE; n = grid.parent(n)) path[depth++] = n & 3u;
  const VELDRA_TRW::TreeRootGrid& rg = grid.rootGridOf(n);
  const int local = static_cast<int>(n - rg.firstNode), stride = static_cast<int>(rg.strideJ);
  float x = (static_cast<float>(local % stride - static_cast<int>(rg.gi)) + 0.5f) * grid.tileSizeF;
  float y = (static_cast<float>(local / stride - static_cast<int>(rg.gj)) + 0.5f) * grid.tileSizeF;
  float e = grid.tileSizeF;
  while (depth > 0) {
    const unsigned k = path[--depth];
    x += (k & 1u) ? e * 0.25f : -e * 0.25f;
    y += (k & 2u) ? e * 0.25f : -e * 0.25f;
    e *= 0.5f;
  }
  *cx = x, *cy = y, *edge = e;
}

struct LeafGeom {
  unsigned node;
  float cx, cy, edge;
};

// Leaves of root tiles [i0, i1) x [j0, j1), rows outer, each tile depth first.
inline std::vector<LeafGeom> leavesInTiles(const SLGrid2D& grid, int i0, int j0, int i1, int j1) {
  std::vector<LeafGeom> out;
  grid.forEachLeafInTiles(i0, j0, i1, j1, [&](unsigned n, float cx, float cy, float e) { out.push_back({n, cx, cy, e}); });
  return out;
}

// Every leaf of the tree, ghost tiles included.
inline std::vector<LeafGeom> allLeafGeoms(const SLGrid2D& grid) {
  return leavesInTiles(grid, -grid.gi, -grid.gj, static_cast<int>(grid.ni) + grid.gi, static_cast<int>(grid.nj) + grid.gj);
}

inline std::vector<unsigned> nodesOf(const SLGrid2D& grid, Walk kind) {
  std::vector<unsigned> out;
  grid.walk(kind, [&](unsigned n) { out.push_back(n); });
  return out;
}

// Reference lookup: the node of level <= maxLevel holding point (px, py), found by descending from its
// root tile; NO_NODE outside the root block.
inline unsigned locateByPoint(const SLGrid2D& grid, float px, float py, unsigned maxLevel = 255) {
  const int i = static_cast<int>(std::floor(px / grid.tileSizeF)), j = static_cast<int>(std::floor(py / grid.tileSizeF));
  if (i < -grid.gi || j < -grid.gj || i >= static_cast<int>(grid.ni) + grid.gi || j >= static_cast<int>(grid.nj) + grid.gj)
    return NO_NODE;
  unsigned n = grid.rootIndex(i, j);
  float cx = (static_cast<float>(i) + 0.5f) * grid.tileSizeF, cy = (static_cast<float>(j) + 0.5f) * grid.tileSizeF;
  for (float e = grid.tileSizeF; grid.hasChildren(n) && grid.level(n) < maxLevel; e *= 0.5f) {
    const unsigned k = (px >= cx ? 1u : 0u) + (py >= cy ? 2u : 0u);
    n = grid.child0(n) + k;
    cx += (k & 1u) ? e * 0.25f : -e * 0.25f;
    cy += (k & 2u) ? e * 0.25f : -e * 0.25f;
  }
  return n;
}

inline constexpr float kStepX[4] = {-1, 1, 0, 0}, kStepY[4] = {0, 0, -1, 1};  // directions -x, +x, -y, +y

// Reference neighbour across the edge in direction d, at n's level or coarser.
inline unsigned neighbourByPoint(const SLGrid2D& grid, unsigned n, int d) {
  float cx, cy, e;
  leafCentre(grid, n, &cx, &cy, &e);
  return locateByPoint(grid, cx + kStepX[d] * e, cy + kStepY[d] * e, grid.level(n));
}

// Splits leaves until no leaf has a neighbour across an edge or a corner two levels finer.
inline void gradeTree(SLGrid2D& grid) {
  for (bool changed = true; changed;) {
    changed = false;
    for (const LeafGeom& l : allLeafGeoms(grid)) {
      bool split = false;
      for (int k = 0; k < 9 && !split; ++k) {
        const unsigned m = locateByPoint(grid, l.cx + static_cast<float>(k % 3 - 1) * l.edge,
                                         l.cy + static_cast<float>(k / 3 - 1) * l.edge, grid.level(l.node));
        split = m != NO_NODE && grid.hasGrandchildren(m);
      }
      if (split && grid.level(l.node) < grid.maxLevel) splitLeaf(grid, l.node), changed = true;
    }
  }
  grid.updateRootFlags();
}

// Splits, down to maxLevel, every leaf whose (centre x, centre y, edge) satisfies pred; then grades.
template <typename Pred>
void refineWhere(SLGrid2D& grid, Pred&& pred, unsigned maxLevel) {
  for (bool changed = true; changed;) {
    changed = false;
    for (const LeafGeom& l : allLeafGeoms(grid))
      if (grid.level(l.node) < maxLevel && pred(l.cx, l.cy, l.edge)) splitLeaf(grid, l.node), changed = true;
  }
  gradeTree(grid);
}

// Single pixels wherever a leaf may come within `band` pixels of the zero set of sdf.
template <typename Sdf>
void refineAlong(SLGrid2D& grid, Sdf&& sdf, float band, unsigned maxLevel = 8) {
  refineWhere(grid, [&](float x, float y, float e) { return std::fabs(sdf(x, y)) < band + 0.75f * e; }, maxLevel);
}

// `splits` splits of random interior leaves (down to maxLevel), then grading.
inline void randomGradedRefine(SLGrid2D& grid, std::uint32_t seed, int splits, unsigned maxLevel) {
  std::mt19937 rng(seed);
  for (int s = 0; s < splits; ++s) {
    std::vector<unsigned> leaves;
    grid.walk(Walk::InteriorLeaves, [&](unsigned n) {
      if (grid.level(n) < maxLevel) leaves.push_back(n);
    });
    if (leaves.empty()) break;
    splitLeaf(grid, leaves[rng() % leaves.size()]);
  }
  gradeTree(grid);
}

// Random values on every node: level set in [-phi, phi], regional distance in [0, rho], label 0..2.
inline void randomChannels(SLGrid2D& grid, std::uint32_t seed, float phi, float rho) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> value(-phi, phi), distance(0.0f, rho);
  grid.walk(Walk::AllNodes, [&](unsigned n) {
    grid.levelSet[n] = value(rng);
    grid.regional[n] = distance(rng);
    grid.region[n] = static_cast<unsigned char>(rng() % 3);
  });
}

// Every node (ghosts and inner nodes included) gets f(centre x, centre y) in the channel.
template <typename Channel, typename F>
void fillField(SLGrid2D& grid, Channel& channel, F&& f) {
  grid.walk(Walk::AllNodes, [&](unsigned n) {
    float cx, cy, e;
    leafCentre(grid, n, &cx, &cy, &e);
    channel[n] = f(cx, cy);
  });
}

// One channel's values at a list of leaves.
template <typename Channel>
auto valuesAt(const Channel& channel, const std::vector<LeafGeom>& leaves) {
  std::vector<std::remove_cv_t<std::remove_reference_t<decltype(channel[0])>>> out;
  for (const LeafGeom& l : leaves) out.push_back(channel[l.node]);
  return out;
}

inline bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// ---- invariants and fingerprints ----

// Empty when the tree is consistent, else its first problem (the library's own predicate).
inline std::string treeProblem(SLGrid2D& grid, bool checkNodeAccounting = true) {
  return VELDRA_TRW::TreeProblem(grid, checkNodeAccounting);
}

inline std::size_t countNodes(const SLGrid2D& grid) { return nodesOf(grid, Walk::AllNodes).size(); }

// Every node of the block in walk order with its links, flags (without the root-grid slot), and the
// bits of its level set, regional value and label: equal for two trees that no call can tell apart.
inline std::vector<std::uint32_t> treeBits(const SLGrid2D& grid) {
  std::vector<std::uint32_t> out;
  grid.walk(Walk::AllNodes, [&](unsigned n) {
    std::uint32_t phi, rho;
    std::memcpy(&phi, &grid.levelSet[n], 4);
    std::memcpy(&rho, &grid.regional[n], 4);
    const std::uint32_t flags = grid.flags(n).bits & ((1u << TreeFlags::GRID_INDEX_SHIFT) - 1u);
    out.insert(out.end(), {n, grid.child0(n), flags, phi, rho, grid.region[n]});
  });
  return out;
}

// ---- selection-like fields ----

struct Disc {
  float cx, cy, r;
  float operator()(float x, float y) const { return std::hypot(x - cx, y - cy) - r; }
};

// A disc whose radius wobbles with the angle: an outline with many turns.
struct NoisyBlob {
  float cx, cy, r;
  float operator()(float x, float y) const {
    const float a = std::atan2(y - cy, x - cx);
    return std::hypot(x - cx, y - cy) - r * (1.0f + 0.12f * std::sin(7.0f * a) + 0.07f * std::sin(13.0f * a + 1.0f) + 0.04f * std::sin(29.0f * a));
  }
};

// Four boundaries: a ring whose hole holds an island, and a disc beside it (min / max of distances).
struct IslandsAndHoles {
  float cx, cy;
  float operator()(float x, float y) const {
    const float ring = std::max(Disc{cx, cy, 90.0f}(x, y), -Disc{cx, cy, 50.0f}(x, y));
    return std::min({ring, Disc{cx + 5.3f, cy - 3.1f, 22.0f}(x, y), Disc{cx + 150.0f, cy + 40.0f, 35.0f}(x, y)});
  }
};

// Refines leaves within 1.5 edges plus 2 pixels of the zero set of phi down to maxLevel, fills the level
// set with phi and the regional channels with a band of half width `halfBand` around it.
template <typename Phi>
void BuildSelection(SLGrid2D& grid, Phi phi, unsigned maxLevel, float halfBand = 3.0f) {
  refineWhere(grid, [&](float x, float y, float e) { return std::fabs(phi(x, y)) < 1.5f * e + 2.0f; }, maxLevel);
  fillField(grid, grid.levelSet, phi);
  fillField(grid, grid.regional, [&](float x, float y) { return std::fabs(std::fabs(phi(x, y)) - halfBand); });
  fillField(grid, grid.region, [&](float x, float y) {
    const float v = phi(x, y);
    return static_cast<unsigned char>(std::fabs(v) <= halfBand ? 2 : (v < 0.0f ? 0 : 1));
  });
}

// FNV-1a over bytes, for fingerprints of whole sessions.
struct Fnv1a {
  std::uint64_t value = 1469598103934665603ull;
  void add(const void* data, std::size_t size) {
    for (std::size_t k = 0; k < size; ++k) value = (value ^ static_cast<const unsigned char*>(data)[k]) * 1099511628211ull;
  }
  template <typename Bytes>
  void add(const Bytes& b) {
    add(b.data(), b.size() * sizeof(b[0]));
  }
};

}  // namespace veldra_test
