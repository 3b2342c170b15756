// The window walk hands every leaf the nodes around it and around each of its ancestors; stencils and
// differences read from it must be exactly those of the lookups that climb the tree. Checked on random
// graded trees, ghost tiles and the block's outer edge included, against independent point descents
// and against the climbing lookups.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "grid/face_stencil_detail.h"
#include "grid/face_difference.h"
#include "grid/leaf_window.h"
#include "grid/sampling_stencil.h"
#include "support/tree_builders.h"

namespace {

using namespace VELDRA_TRW;
using veldra_test::randomChannels;

// A grid of 3 x 2 tiles refined by graded splits of random leaves, down to the finest level.
std::unique_ptr<SLGrid2D> randomTree(std::uint32_t seed) {
  auto grid = std::make_unique<SLGrid2D>();
  grid->setImageSize(700, 500);
  std::mt19937 rng(seed);
  for (int s = 0; s < 500; ++s) {
    std::vector<unsigned> leaves;
    grid->walk(Walk::AllLeaves, [&](unsigned n) {
      if (grid->level(n) < grid->maxLevel) leaves.push_back(n);
    });
    if (leaves.empty()) break;
    grid->SplitBalanced(leaves[rng() % leaves.size()]);
  }
  grid->updateRootFlags();
  randomChannels(*grid, seed, 20.0f, 10.0f);
  return grid;
}

// Independent reference: the node of level `level` whose cell holds the point, or the coarser leaf
// holding it; NO_NODE beyond the block. Found by descending from the point's root tile.
unsigned nodeAtPoint(const SLGrid2D& grid, float px, float py, unsigned level) {
  const int i = static_cast<int>(std::floor(px / grid.tileSizeF)), j = static_cast<int>(std::floor(py / grid.tileSizeF));
  if (i < -grid.gi || j < -grid.gj || i >= static_cast<int>(grid.ni) + grid.gi || j >= static_cast<int>(grid.nj) + grid.gj)
    return NO_NODE;
  unsigned n = grid.rootIndex(i, j);
  float cx = (static_cast<float>(i) + 0.5f) * grid.tileSizeF, cy = (static_cast<float>(j) + 0.5f) * grid.tileSizeF;
  float edge = grid.tileSizeF;
  while (grid.level(n) < level && grid.hasChildren(n)) {
    const unsigned k = (px >= cx ? 1u : 0u) + (py >= cy ? 2u : 0u);
    n = grid.child0(n) + k;
    cx += (k & 1u) ? edge / 4 : -edge / 4;
    cy += (k & 2u) ? edge / 4 : -edge / 4;
    edge /= 2;
  }
  return n;
}

template <typename F>
void forEveryWindow(const SLGrid2D& grid, F&& check) {
  for (int j = -grid.gj; j < static_cast<int>(grid.nj) + grid.gj; ++j)
    for (int i = -grid.gi; i < static_cast<int>(grid.ni) + grid.gi; ++i)
      forEachLeafWithWindow(grid, i, j, check);
}

TEST(LeafWindow, EntriesAreTheNodesAroundTheLeafAndItsAncestors) {
  for (std::uint32_t seed : {1u, 2u}) {
    const auto grid = randomTree(seed);
    ASSERT_TRUE(grid->checkGrading());
    std::vector<float> plainWalk, windowWalk;
    for (int j = -grid->gj; j < static_cast<int>(grid->nj) + grid->gj; ++j)
      for (int i = -grid->gi; i < static_cast<int>(grid->ni) + grid->gi; ++i)
        grid->forEachLeafInTile(i, j, SLGrid2D::kChildrenInOrder, [&](unsigned n, float cx, float cy, float e) {
          plainWalk.insert(plainWalk.end(), {static_cast<float>(n), cx, cy, e});
        });
    int outside = 0;
    forEveryWindow(*grid, [&](unsigned n, float cx, float cy, float e, const LeafWindow& w) {
      windowWalk.insert(windowWalk.end(), {static_cast<float>(n), cx, cy, e});
      ASSERT_EQ(w.level(), static_cast<int>(grid->level(n)));
      ASSERT_EQ(w.at(0, 0), n);
      for (int d = 0; d < 4; ++d) {
        static constexpr int kDx[4] = {-1, 1, 0, 0}, kDy[4] = {0, 0, -1, 1};
        ASSERT_EQ(w.at(kDx[d], kDy[d]), grid->neighbour(n, static_cast<Direction>(d)));
      }
      // Every ancestor level, every offset of the 5 x 5 block around the ancestor.
      float ax = cx, ay = cy, edge = e;
      unsigned ancestor = n;
      for (int a = w.level(); a >= 0; --a) {
        for (int oy = -2; oy <= 2; ++oy)
          for (int ox = -2; ox <= 2; ++ox) {
            bool onLevel = false;
            const unsigned expected = nodeAtPoint(*grid, ax + static_cast<float>(ox) * edge, ay + static_cast<float>(oy) * edge,
                                                  static_cast<unsigned>(a));
            ASSERT_EQ(w.atLevel(a, ox, oy, onLevel), expected) << "leaf " << n << " level " << a << " at " << ox << "," << oy;
            EXPECT_EQ(onLevel, expected != NO_NODE && grid->level(expected) == static_cast<unsigned>(a));
            outside += expected == NO_NODE;
          }
        if (a == 0) break;
        // Up to the parent: its centre from the child index.
        const unsigned k = ancestor & 3u;
        ax += (k & 1u) ? -edge / 2 : edge / 2;
        ay += (k & 2u) ? -edge / 2 : edge / 2;
        edge *= 2;
        ancestor = grid->parent(ancestor);
      }
    });
    EXPECT_EQ(plainWalk, windowWalk);
    EXPECT_GT(outside, 0);  // the outer edge of the ghost border was reached
  }
}

bool sameStencil(const sampling::Stencil& a, const sampling::Stencil& b) {
  for (int c = 0; c < 4; ++c)
    if (a.cell[c] != b.cell[c]) return false;
  return a.mask == b.mask && a.level == b.level && std::bit_cast<std::uint32_t>(a.sx) == std::bit_cast<std::uint32_t>(b.sx) &&
         std::bit_cast<std::uint32_t>(a.sy) == std::bit_cast<std::uint32_t>(b.sy);
}

// Stencils read from the window against LocateLeaf + FindStencil, for random offsets up to the
// largest the narrow band uses and for offsets on cell borders, where the located leaf depends on
// the exact arithmetic of the climb.
TEST(LeafWindow, StencilsAndDifferencesEqualTheClimbingLookups) {
  const float borders[] = {0.0f, -0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 1.4f, -1.4f, 0.25f, -0.75f, 1.5f, -1.5f};
  for (std::uint32_t seed : {3u, 4u}) {
    const auto grid = randomTree(seed);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> offset(-1.5f, 1.5f);
    int calls = 0, subdivided = 0, parentLevel = 0, coarseFaces = 0;
    forEveryWindow(*grid, [&](unsigned n, float, float, float, const LeafWindow& w) {
      const auto check = [&](float lx, float ly) {
        sampling::Stencil fromWindow, climbing;
        sampling::FindStencilNear(*grid, w, lx, ly, fromWindow);
        unsigned leaf = n;
        float x = lx, y = ly;
        grid->LocateLeaf(leaf, x, y);
        sampling::FindStencil(*grid, leaf, x, y, climbing);
        ASSERT_TRUE(sameStencil(fromWindow, climbing)) << "leaf " << n << " offset " << lx << "," << ly;
        ++calls;
        subdivided += climbing.mask != 0;
        parentLevel += climbing.level == sampling::STENCIL_PARENT_LEVEL;
      };
      for (int k = 0; k < 6; ++k) check(offset(rng), offset(rng));
      for (float bx : borders) check(bx, borders[rng() % std::size(borders)]);
      for (int d = 0; d < 4; ++d) {
        const Direction dir = static_cast<Direction>(d);
        const float* phi = grid->levelSet.data();
        EXPECT_EQ(std::bit_cast<std::uint32_t>(grid->FaceDifferenceNear(w, n, dir, phi)),
                  std::bit_cast<std::uint32_t>(grid->FaceDifferenceTo(n, grid->neighbour(n, dir), dir, phi)));
        // Across a face to a coarser leaf the point search is skipped.
        const int ux = static_cast<int>(face_stencil::kUnitX[d]), uy = static_cast<int>(face_stencil::kUnitY[d]);
        bool onLevel;
        const unsigned m = w.at(ux, uy, onLevel);
        if (m == NO_NODE || onLevel) continue;
        sampling::Stencil acrossFace, climbing;
        sampling::FindStencilAcrossFace(*grid, w, ux, uy, m, acrossFace);
        unsigned leaf = n;
        float x = static_cast<float>(ux), y = static_cast<float>(uy);
        grid->LocateLeaf(leaf, x, y);
        sampling::FindStencil(*grid, leaf, x, y, climbing);
        ASSERT_TRUE(sameStencil(acrossFace, climbing)) << "leaf " << n << " direction " << d;
        ++coarseFaces;
      }
    });
    EXPECT_GT(calls, 10000);
    EXPECT_GT(coarseFaces, 1000);
    EXPECT_GT(subdivided, 100);   // stencils with split cells were met
    EXPECT_GT(parentLevel, 100);  // and stencils of the parent's level
  }
}

// Everything a window walk hands over about one leaf, ancestors' windows included.
void describeLeaf(std::vector<float>& out, unsigned n, float cx, float cy, float e, const LeafWindow& w) {
  out.insert(out.end(), {static_cast<float>(n), cx, cy, e});
  for (int a = 0; a <= w.level(); ++a)
    for (int oy = -2; oy <= 2; ++oy)
      for (int ox = -2; ox <= 2; ++ox) out.push_back(static_cast<float>(w.atLevel(a, ox, oy)));
}

// Quarters of a tile share its walks out between threads: the four quadrant walks, one after
// another, must be the whole tile's walk, leaf for leaf, with the same centres, edges and windows.
// Returns the number of tiles whose root is itself the one leaf.
int expectQuadrantWalksAreTheTileWalk(const SLGrid2D& grid) {
  int singleLeafTiles = 0;
  for (int j = -grid.gj; j < static_cast<int>(grid.nj) + grid.gj; ++j)
    for (int i = -grid.gi; i < static_cast<int>(grid.ni) + grid.gi; ++i) {
      singleLeafTiles += grid.hasChildren(grid.rootIndex(i, j)) ? 0 : 1;
      std::vector<float> whole, quarters, plainWhole, plainQuarters;
      forEachLeafWithWindow(grid, i, j, [&](unsigned n, float cx, float cy, float e, const LeafWindow& w) {
        describeLeaf(whole, n, cx, cy, e, w);
      });
      grid.forEachLeafInTile(i, j, SLGrid2D::kChildrenInOrder, [&](unsigned n, float cx, float cy, float e) {
        plainWhole.insert(plainWhole.end(), {static_cast<float>(n), cx, cy, e});
      });
      for (int q = 0; q < 4; ++q) {
        forEachLeafWithWindow(grid, i, j, q, [&](unsigned n, float cx, float cy, float e, const LeafWindow& w) {
          describeLeaf(quarters, n, cx, cy, e, w);
        });
        grid.forEachLeafInTileQuadrant(i, j, q, [&](unsigned n, float cx, float cy, float e) {
          plainQuarters.insert(plainQuarters.end(), {static_cast<float>(n), cx, cy, e});
        });
      }
      EXPECT_EQ(quarters, whole) << "tile " << i << ", " << j;
      EXPECT_EQ(plainQuarters, plainWhole) << "tile " << i << ", " << j;
    }
  return singleLeafTiles;
}

TEST(LeafWindow, QuadrantWalksTogetherAreTheTileWalk) {
  // A deeply refined tree, and one refined in a single tile, whose other tiles are single leaves.
  expectQuadrantWalksAreTheTileWalk(*randomTree(3));
  auto sparse = std::make_unique<SLGrid2D>();
  sparse->setImageSize(700, 500);
  unsigned n = sparse->rootIndex(1, 1);
  for (int level = 0; level < 4; ++level) {
    sparse->SplitBalanced(n);
    n = sparse->child0(n) + static_cast<unsigned>(level % 4);
  }
  sparse->updateRootFlags();
  ASSERT_TRUE(sparse->checkGrading());
  EXPECT_GT(expectQuadrantWalksAreTheTileWalk(*sparse), 20);
}

}  // namespace
