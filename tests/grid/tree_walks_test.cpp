// The tree's lookups and walks against references that find nodes by point location: neighbours,
// the four walk kinds, walks that carry neighbours or whole windows down the tree (tile by tile and
// quadrant by quadrant), stencils and differences read from those windows, the point search from any
// node, and the root block a grid gets for an image size. Random trees, graded and not, with their
// ghost tiles and the block's outer edge.
#include <gtest/gtest.h>

#include <bit>

#include "grid/face_difference.h"
#include "grid/face_stencil_detail.h"
#include "grid/leaf_window.h"
#include "grid/sampling_stencil.h"
#include "support/tree.h"

namespace {

using namespace veldra_test;
using namespace VELDRA_TRW;

// 3 x 2 tiles; graded by the library's own split, or split at random without grading.
std::unique_ptr<SLGrid2D> randomTree(std::uint32_t seed, bool graded) {
  auto grid = makeGrid(700, 500);
  std::mt19937 rng(seed);
  for (int s = 0; s < 400; ++s) {
    const std::vector<unsigned> leaves = nodesOf(*grid, Walk::AllLeaves);
    const unsigned n = leaves[rng() % leaves.size()];
    if (grid->level(n) < 7) graded ? grid->SplitBalanced(n) : static_cast<void>(splitLeaf(*grid, n));
  }
  grid->updateRootFlags();
  randomChannels(*grid, seed, 20.0f, 10.0f);
  return grid;
}

void recursiveWalk(const SLGrid2D& grid, unsigned n, bool leavesOnly, std::vector<unsigned>& out) {
  if (!grid.hasChildren(n) || !leavesOnly) out.push_back(n);
  if (grid.hasChildren(n))
    for (unsigned c = 0; c < 4; ++c) recursiveWalk(grid, grid.child0(n) + c, leavesOnly, out);
}

template <typename F>
void forEveryTile(const SLGrid2D& grid, F&& f) {
  for (int j = -grid.gj; j < static_cast<int>(grid.nj) + grid.gj; ++j)
    for (int i = -grid.gi; i < static_cast<int>(grid.ni) + grid.gi; ++i) f(i, j);
}

TEST(TreeWalks, NeighboursAndWalksMatchPointLocation) {
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    const auto grid = randomTree(seed, seed <= 2);
    for (unsigned n : nodesOf(*grid, Walk::AllNodes))
      for (int d = 0; d < 4; ++d) ASSERT_EQ(grid->neighbour(n, static_cast<Direction>(d)), neighbourByPoint(*grid, n, d)) << n;
    for (int kind = 0; kind < 4; ++kind) {
      std::vector<unsigned> expected;
      const int g = kind % 2 == 0 ? 0 : 2;  // interior tiles only, or with the ghost border
      for (int j = -g; j < static_cast<int>(grid->nj) + g; ++j)
        for (int i = -g; i < static_cast<int>(grid->ni) + g; ++i) recursiveWalk(*grid, grid->rootIndex(i, j), kind < 2, expected);
      EXPECT_EQ(nodesOf(*grid, static_cast<Walk>(kind)), expected) << "walk kind " << kind;
    }
    // Per tile: the geometric walk, the walk carrying neighbours (in two child orders, whole and as
    // quadrants joined in that order) and the window walk (whole and by quadrants) visit the same
    // leaves with the same geometry, and carry what the lookups find.
    static constexpr unsigned char kOrders[2][4] = {{0, 1, 2, 3}, {1, 3, 0, 2}};
    forEveryTile(*grid, [&](int i, int j) {
      std::vector<float> plain, quarters;
      grid->forEachLeafInTile(i, j, SLGrid2D::kChildrenInOrder, [&](unsigned n, float cx, float cy, float e) {
        plain.insert(plain.end(), {static_cast<float>(n), cx, cy, e});
      });
      for (int q = 0; q < 4; ++q)
        grid->forEachLeafInTileQuadrant(i, j, q, [&](unsigned n, float cx, float cy, float e) {
          quarters.insert(quarters.end(), {static_cast<float>(n), cx, cy, e});
        });
      EXPECT_EQ(quarters, plain);
      for (const auto& order : kOrders) {
        std::vector<float> whole, joined;
        const auto record = [&](std::vector<float>& out) {
          return [&](unsigned n, float cx, float cy, float e, const unsigned around[4]) {
            out.insert(out.end(), {static_cast<float>(n), cx, cy, e});
            for (int d = 0; d < 4; ++d) ASSERT_EQ(around[d], grid->neighbour(n, static_cast<Direction>(d)));
          };
        };
        grid->forEachLeafInTileWithNeighbours(i, j, order, record(whole));
        for (int s = 0; s < 4; ++s) grid->forEachLeafInTileWithNeighbours(i, j, order[s], order, record(joined));
        EXPECT_EQ(joined, whole);
        if (order[0] == 0) {
          EXPECT_EQ(whole, plain);
        }
      }
      // Window entries: around every ancestor of the leaf, the node of that level at each offset.
      std::vector<float> windows, windowQuarters;
      const auto describe = [&](std::vector<float>& out) {
        return [&](unsigned n, float cx, float cy, float e, const LeafWindow& w) {
          out.insert(out.end(), {static_cast<float>(n), cx, cy, e});
          for (int a = w.level(); a >= 0; --a) {
            unsigned m = n;
            for (int l = w.level(); l > a; --l) m = grid->parent(m);
            float ax, ay, ae;
            leafCentre(*grid, m, &ax, &ay, &ae);
            for (int k = 0; k < 25; ++k) {
              bool onLevel = false;
              const unsigned entry = w.atLevel(a, k % 5 - 2, k / 5 - 2, onLevel);
              const unsigned expected = locateByPoint(*grid, ax + static_cast<float>(k % 5 - 2) * ae,
                                                      ay + static_cast<float>(k / 5 - 2) * ae, static_cast<unsigned>(a));
              ASSERT_EQ(entry, expected) << "leaf " << n << " level " << a << " offset " << k;
              ASSERT_EQ(onLevel, expected != NO_NODE && grid->level(expected) == static_cast<unsigned>(a));
              out.push_back(static_cast<float>(entry));
            }
          }
        };
      };
      forEachLeafWithWindow(*grid, i, j, describe(windows));
      for (int q = 0; q < 4; ++q) forEachLeafWithWindow(*grid, i, j, q, describe(windowQuarters));
      EXPECT_EQ(windowQuarters, windows);
    });
  }
}

bool sameStencil(const sampling::Stencil& a, const sampling::Stencil& b) {
  return std::equal(a.cell, a.cell + 4, b.cell) && a.mask == b.mask && a.level == b.level &&
         std::bit_cast<std::uint32_t>(a.sx) == std::bit_cast<std::uint32_t>(b.sx) &&
         std::bit_cast<std::uint32_t>(a.sy) == std::bit_cast<std::uint32_t>(b.sy);
}

// Stencils and face differences read from a leaf's window are those of the lookups that climb the
// tree: random offsets up to the largest the narrow band uses, and offsets on cell borders, where
// the leaf found depends on the exact arithmetic of the climb.
TEST(TreeWalks, StencilsAndDifferencesFromWindowsEqualTheClimbingLookups) {
  const float borders[] = {0.0f, -0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 1.4f, -1.4f, 0.25f, -0.75f, 1.5f, -1.5f};
  const auto climbing = [](const SLGrid2D& grid, unsigned leaf, float x, float y) {
    sampling::Stencil s;
    grid.LocateLeaf(leaf, x, y);
    sampling::FindStencil(grid, leaf, x, y, s);
    return s;
  };
  for (std::uint32_t seed : {3u, 4u}) {
    const auto grid = randomTree(seed, true);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> offset(-1.5f, 1.5f);
    int coarseFaces = 0, subdivided = 0;
    forEveryTile(*grid, [&](int i, int j) {
      forEachLeafWithWindow(*grid, i, j, [&](unsigned n, float, float, float, const LeafWindow& w) {
        for (int k = 0; k < 18; ++k) {
          const float lx = k < 6 ? offset(rng) : borders[k - 6], ly = k < 6 ? offset(rng) : borders[rng() % 12];
          sampling::Stencil near;
          sampling::FindStencilNear(*grid, w, lx, ly, near);
          ASSERT_TRUE(sameStencil(near, climbing(*grid, n, lx, ly))) << "leaf " << n << " offset " << lx << "," << ly;
          subdivided += near.mask != 0;
        }
        for (int d = 0; d < 4; ++d) {
          const Direction dir = static_cast<Direction>(d);
          ASSERT_EQ(std::bit_cast<std::uint32_t>(grid->FaceDifferenceNear(w, n, dir, grid->levelSet.data())),
                    std::bit_cast<std::uint32_t>(grid->FaceDifferenceTo(n, grid->neighbour(n, dir), dir, grid->levelSet.data())));
          const int ux = static_cast<int>(face_stencil::kUnitX[d]), uy = static_cast<int>(face_stencil::kUnitY[d]);
          bool onLevel;
          const unsigned m = w.at(ux, uy, onLevel);
          if (m == NO_NODE || onLevel) continue;
          sampling::Stencil across;
          sampling::FindStencilAcrossFace(*grid, w, ux, uy, m, across);
          ASSERT_TRUE(sameStencil(across, climbing(*grid, n, static_cast<float>(ux), static_cast<float>(uy))));
          ++coarseFaces;
        }
      });
    });
    EXPECT_GT(coarseFaces, 1000);
    EXPECT_GT(subdivided, 100);
  }
}

// From any node and any offset the point search ends in the leaf holding that place; points far
// outside are held at the ghost border.
TEST(TreeWalks, PointSearchFromAnyNodeReachesTheLeafThere) {
  const auto grid = randomTree(6, true);
  const std::vector<unsigned> nodes = nodesOf(*grid, Walk::InteriorNodes);
  std::mt19937 rng(6);
  std::uniform_real_distribution<float> off(-3.0f, 3.0f);
  for (int k = 0; k < 5000; ++k) {
    unsigned n = nodes[rng() % nodes.size()];
    float cx, cy, e, lx = off(rng), ly = off(rng);
    leafCentre(*grid, n, &cx, &cy, &e);
    const float px = cx + lx * e, py = cy + ly * e;
    if (px < -384.0f || py < -384.0f || px >= 4.5f * 256.0f || py >= 3.5f * 256.0f) continue;
    grid->LocateLeaf(n, lx, ly);
    ASSERT_FALSE(grid->hasChildren(n));
    leafCentre(*grid, n, &cx, &cy, &e);
    ASSERT_LE(std::fabs(px - cx), e * 0.5f + 1e-3f);
    ASSERT_LE(std::fabs(py - cy), e * 0.5f + 1e-3f);
    ASSERT_NEAR(lx, (px - cx) / e, 1e-3f);
  }
  for (float far : {-1e9f, 5000.0f, NAN, INFINITY}) {
    EXPECT_TRUE(std::isfinite(grid->SamplePoint(far, -far, nullptr)));
    EXPECT_TRUE(std::isfinite(grid->SampleInterpolated(far, far, nullptr, nullptr)));
  }
}

// Tile and level counts for image sizes, the untouched field, and a reset that gives every node group
// back except the root run.
TEST(TreeWalks, RootBlockFollowsTheImageSize) {
  struct SizeCase {
    std::uint32_t w, h, ni, nj, numLevels;
  };
  for (const SizeCase& c : {SizeCase{256, 256, 1, 1, 0}, SizeCase{257, 256, 2, 1, 0}, SizeCase{1448, 1448, 6, 6, 0},
                            SizeCase{2048, 2048, 8, 8, 1}, SizeCase{4000, 3000, 16, 12, 2}, SizeCase{8000, 6000, 32, 24, 3},
                            SizeCase{0, 0, 0, 0, 0}}) {
    auto grid = makeGrid(c.w, c.h);
    EXPECT_TRUE(grid->ni == c.ni && grid->nj == c.nj && grid->numLevels == c.numLevels) << c.w << "x" << c.h;
    const std::vector<unsigned> roots = nodesOf(*grid, Walk::AllNodes);
    EXPECT_EQ(roots.size(), (c.ni + 4) * (c.nj + 4));
    for (unsigned n : roots) ASSERT_TRUE(grid->levelSet[n] == 100.0f && grid->regional[n] == 100.0f && grid->region[n] == 1);
  }
  auto grid = makeGrid(700, 500);
  randomGradedRefine(*grid, 5, 60, 7);
  grid->resetField();
  EXPECT_EQ(nodesOf(*grid, Walk::AllNodes).size(), 7u * 6u);
  EXPECT_EQ(treeProblem(*grid), "");
  EXPECT_EQ(grid->levelSet[grid->rootIndex(1, 1)], 100.0f);
}

}  // namespace
