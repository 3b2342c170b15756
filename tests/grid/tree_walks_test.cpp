// The tree's lookups and walks against references that find nodes by point location: neighbours,
// the four walk kinds, walks that carry neighbours or whole windows down the tree (tile by tile and
// quadrant by quadrant), and stencils and differences read from those windows; the point search and
// the interpolant, which must reproduce linear fields on every stencil shape. Random trees, graded
// and not, with their ghost tiles and the block's outer edge.
#include <gtest/gtest.h>

#include <bit>
#include <set>

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
        const EdgeNeighbours edges = w.edges();
        for (int d = 0; d < 4; ++d) {
          const Direction dir = static_cast<Direction>(d);
          const unsigned m = edges.node[d];
          ASSERT_EQ(m, grid->neighbour(n, dir));
          ASSERT_EQ(std::bit_cast<std::uint32_t>(grid->FaceDifferenceNear(w, edges, n, dir, grid->levelSet.data())),
                    std::bit_cast<std::uint32_t>(grid->FaceDifferenceTo(n, m, dir, grid->levelSet.data())));
          const int ux = static_cast<int>(face_stencil::kUnitX[d]), uy = static_cast<int>(face_stencil::kUnitY[d]);
          if (m == NO_NODE || edges.onLevel[d]) continue;
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

TEST(Interpolant, ReproducesLinearFieldsOnEveryStencilShape) {
  std::set<unsigned> masks;
  int coarse = 0;
  for (std::uint32_t seed = 1; seed <= 10; ++seed) {
    auto grid = makeGrid(700, 520);
    randomGradedRefine(*grid, seed, 120, 8);
    std::mt19937 rng(seed * 7u);
    std::uniform_real_distribution<float> coef(-2.0f, 2.0f), ux(-384.0f, 4.5f * 256.0f), uy(-384.0f, 3.5f * 256.0f);
    const float a = 50.0f * coef(rng), b = coef(rng), c = coef(rng);
    const auto f = [&](float x, float y) { return a + b * x + c * y; };
    const float tol = 4e-6f * (std::fabs(a) + 1000.0f * (std::fabs(b) + std::fabs(c)));
    fillField(*grid, grid->levelSet, f);
    for (int k = 0; k < 3000; ++k) {
      float px = ux(rng), py = uy(rng);
      if (k % 3 == 0) px = std::floor(px), py = std::floor(py);
      unsigned n;
      float lx, ly, cx, cy, e;
      grid->PointToRoot(px, py, n, lx, ly);
      grid->LocateLeaf(n, lx, ly);
      leafCentre(*grid, n, &cx, &cy, &e);
      ASSERT_TRUE(!grid->hasChildren(n) && std::fabs(px - cx) <= e * 0.5f && std::fabs(py - cy) <= e * 0.5f) << px << "," << py;
      sampling::Stencil s;
      sampling::FindStencil(*grid, n, lx, ly, s);
      masks.insert(s.mask);
      coarse += grid->level(s.cell[0]) != grid->level(n) || grid->level(s.cell[3]) != grid->level(n);
      ASSERT_EQ(grid->SamplePoint(px, py, nullptr), grid->levelSet[n]);
      ASSERT_NEAR(grid->SampleInterpolated(px, py, nullptr, nullptr), f(px, py), tol) << px << "," << py;
    }
  }
  // Every subdivision mask but "all four split" (the point would lie in a leaf of the stencil).
  EXPECT_EQ(masks.size(), 15u);
  EXPECT_EQ(masks.count(15u), 0u);
  EXPECT_GT(coarse, 100);
}

}  // namespace
