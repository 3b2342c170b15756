// Walks that carry neighbours down the tree must hand every leaf exactly the neighbours that the
// climbing lookup finds, on irregular graded trees, ghost tiles and the block's outer edge included.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "grid/sl_grid.h"

namespace {

using VELDRA_TRW::Direction;
using VELDRA_TRW::NO_NODE;
using VELDRA_TRW::SLGrid2D;

// A grid of 3 x 2 tiles refined by graded splits of random leaves, ghost tiles included.
void randomTree(SLGrid2D& grid, std::uint32_t seed) {
  grid.setImageSize(700, 500);
  std::mt19937 rng(seed);
  for (int s = 0; s < 400; ++s) {
    std::vector<unsigned> leaves;
    grid.walk(VELDRA_TRW::Walk::AllLeaves, [&](unsigned n) {
      if (grid.level(n) < 6) leaves.push_back(n);
    });
    if (leaves.empty()) break;
    grid.SplitBalanced(leaves[rng() % leaves.size()]);
  }
  grid.updateRootFlags();
}

TEST(NeighbourWalk, CarriedNeighboursEqualLookups) {
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    SLGrid2D grid;
    randomTree(grid, seed);
    ASSERT_TRUE(grid.checkGrading());
    const int i0 = -grid.gi, j0 = -grid.gj, i1 = static_cast<int>(grid.ni) + grid.gi, j1 = static_cast<int>(grid.nj) + grid.gj;
    int visited = 0, edgeless = 0;
    for (int j = j0; j < j1; ++j)
      for (int i = i0; i < i1; ++i) {
        // Same leaves in the same order as the plain walk, same centres and edges as the geometric
        // walk, and the neighbours of the climbing lookup.
        std::vector<float> geometry, carried;
        grid.forEachLeafInTile(i, j, SLGrid2D::kChildrenInOrder, [&](unsigned n, float cx, float cy, float e) {
          geometry.insert(geometry.end(), {static_cast<float>(n), cx, cy, e});
        });
        std::vector<unsigned> plain, carriedNodes;
        grid.walkSubtree(grid.rootIndex(i, j), true, [&](unsigned n) { plain.push_back(n); });
        grid.forEachLeafInTileWithNeighbours(i, j, [&](unsigned n, float cx, float cy, float e, const unsigned around[4]) {
          carried.insert(carried.end(), {static_cast<float>(n), cx, cy, e});
          carriedNodes.push_back(n);
          for (int d = 0; d < 4; ++d) {
            ASSERT_EQ(around[d], grid.neighbour(n, static_cast<Direction>(d))) << "leaf " << n << " dir " << d;
            edgeless += around[d] == NO_NODE;
          }
        });
        EXPECT_EQ(geometry, carried);
        EXPECT_EQ(plain, carriedNodes);
        visited += static_cast<int>(carriedNodes.size());
      }
    EXPECT_GT(visited, 1000);
    EXPECT_GT(edgeless, 0);  // the outer edge of the ghost border was reached
  }
}

// The quadrant walks, joined in the order the root's children are taken, are the tile walk with the
// same neighbours: for the plain child order and for a permuted one, on refined trees and on a
// tree with single-leaf tiles (whose leaf belongs to quadrant 0).
TEST(NeighbourWalk, QuadrantWalksJoinIntoTheTileWalk) {
  static constexpr unsigned char kOrders[2][4] = {{0, 1, 2, 3}, {1, 3, 0, 2}};
  for (bool refined : {true, false}) {
    SLGrid2D grid;
    if (refined) {
      randomTree(grid, 4);
    } else {
      grid.setImageSize(700, 500);
      grid.SplitBalanced(grid.rootIndex(1, 1));
    }
    int singleLeafTiles = 0;
    for (int j = -grid.gj; j < static_cast<int>(grid.nj) + grid.gj; ++j)
      for (int i = -grid.gi; i < static_cast<int>(grid.ni) + grid.gi; ++i) {
        singleLeafTiles += grid.hasChildren(grid.rootIndex(i, j)) ? 0 : 1;
        for (const auto& order : kOrders) {
          std::vector<float> whole, joined;
          const auto record = [](std::vector<float>& out) {
            return [&out](unsigned n, float cx, float cy, float e, const unsigned around[4]) {
              out.insert(out.end(), {static_cast<float>(n), cx, cy, e});
              for (int d = 0; d < 4; ++d) out.push_back(static_cast<float>(around[d]));
            };
          };
          grid.forEachLeafInTileWithNeighbours(i, j, order, record(whole));
          for (int s = 0; s < 4; ++s) grid.forEachLeafInTileWithNeighbours(i, j, order[s], order, record(joined));
          EXPECT_EQ(joined, whole) << "tile " << i << ", " << j;
        }
      }
    if (!refined) {
      EXPECT_GT(singleLeafTiles, 10);
    }
  }
}

}  // namespace
