// Graded splitting against its guarantees, on random sequences of splits: the leaf is split with its
// values, every leaf around its parent (edges and corners) is split first so no leaf touches one two
// levels finer (checked on an independent pixel raster), the recording variant leaves each split
// node's first child in "temp", marking for a split reaches exactly the nodes a split would, and
// values survive the pools moving while they grow.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "grid/group_index_detail.h"
#include "support/front_fixtures.h"
#include "support/seeding_checks.h"

using namespace VELDRA_TRW;
using namespace veldra_test;

namespace {

std::set<unsigned> nodesWithChildren(const SLGrid2D& grid) {
  std::set<unsigned> out;
  grid.walk(Walk::AllNodes, [&](unsigned n) {
    if (grid.hasChildren(n)) out.insert(n);
  });
  return out;
}

// A random leaf of the whole block (ghosts included), found through a random point.
unsigned randomLeaf(const SLGrid2D& grid, std::mt19937& rng) {
  const float t = grid.tileSizeF;
  std::uniform_real_distribution<float> ux(-2.0f * t, (static_cast<float>(grid.ni) + 2.0f) * t - 0.01f);
  std::uniform_real_distribution<float> uy(-2.0f * t, (static_cast<float>(grid.nj) + 2.0f) * t - 0.01f);
  const float x = ux(rng), y = uy(rng);
  return locateByPoint(grid, x, y, 255);
}

// Lowest level among the leaves touching the node's cell from outside (edges and corners).
int lowestLevelAround(const SLGrid2D& grid, const LevelRaster& raster, unsigned n) {
  float cx, cy, e;
  leafCentre(grid, n, &cx, &cy, &e);
  const int x0 = static_cast<int>(cx - e / 2) - 1, y0 = static_cast<int>(cy - e / 2) - 1;
  const int x1 = static_cast<int>(cx + e / 2), y1 = static_cast<int>(cy + e / 2);
  int lowest = 255;
  const auto visit = [&](int x, int y) {
    if (x < raster.originX || y < raster.originY || x >= raster.originX + raster.width ||
        y >= raster.originY + raster.height)
      return;
    lowest = std::min(lowest, static_cast<int>(raster.at(x, y)));
  };
  for (int x = x0; x <= x1; ++x) {
    visit(x, y0);
    visit(x, y1);
  }
  for (int y = y0; y <= y1; ++y) {
    visit(x0, y);
    visit(x1, y);
  }
  return lowest;
}

void runRandomSplits(std::uint32_t seed, bool recording, bool regional) {
  auto grid = makeGrid(600, 500);
  grid->useRegional = regional ? 1 : 0;
  std::mt19937 rng(seed);
  for (int step = 0; step < 60; ++step) {
    unsigned n = randomLeaf(*grid, rng);
    if (grid->level(n) >= grid->maxLevel) continue;
    // Distinct values everywhere, so that a copy from the wrong node shows.
    randomChannels(*grid, rng(), 50.0f, 50.0f);
    fillField(*grid, grid->temp, [](float, float) { return -7.0f; });
    const std::set<unsigned> before = nodesWithChildren(*grid);
    const unsigned p = grid->parent(n);
    grid->SplitBalanced(n, recording);
    ASSERT_TRUE(grid->hasChildren(n));
    const std::set<unsigned> after = nodesWithChildren(*grid);
    for (unsigned s : after) {
      if (before.count(s)) continue;
      const unsigned c = grid->child0(s);
      for (unsigned k = 0; k < 4; ++k) {
        ASSERT_EQ(grid->levelSet[c + k], grid->levelSet[s]);
        ASSERT_EQ(grid->level(c + k), grid->level(s) + 1);
        if (regional) {
          ASSERT_EQ(grid->regional[c + k], grid->regional[s]);
          ASSERT_EQ(grid->region[c + k], grid->region[s]);
        }
      }
      ASSERT_TRUE(recording ? group_index::load(grid->temp[s]) == c : grid->temp[s] == -7.0f);
    }
    grid->updateRootFlags();
    const LevelRaster raster(*grid);
    std::string why;
    ASSERT_TRUE(raster.graded(&why)) << "seed " << seed << " step " << step << ": " << why;
    if (p != NO_NODE) {
      ASSERT_GE(lowestLevelAround(*grid, raster, p), static_cast<int>(grid->level(p)) + 1);
    }
    ASSERT_TRUE(grid->checkGrading());
    ASSERT_TRUE(leafVisitsExact(*grid, &why)) << why;
    // Drive some leaves all the way down, as seeding does along edges.
    if (step % 3 == 0) {
      unsigned leaf = grid->child0(n);
      while (grid->level(leaf) < grid->maxLevel) {
        grid->SplitBalanced(leaf, recording);
        leaf = grid->child0(leaf) + static_cast<unsigned>(rng() % 4);
      }
    }
  }
  grid->updateRootFlags();
  std::string why;
  EXPECT_TRUE(LevelRaster(*grid).graded(&why)) << why;
}

TEST(SplitBalanced, RandomSplitSequencesStayGradedAcrossEdgesAndCorners) {
  for (std::uint32_t seed : {1u, 2u, 3u}) runRandomSplits(seed, true, false);
  runRandomSplits(11, false, false);
  runRandomSplits(12, true, true);
}

TEST(SplitBalanced, MarkingForASplitReachesExactlyTheNodesASplitSplits) {
  for (std::uint32_t seed = 0; seed < 6; ++seed) {
    auto grid = makeGrid(700, 600);
    randomGradedRefine(*grid, seed, 80, 7);
    std::mt19937 rng(seed + 100);
    for (int step = 0; step < 12; ++step) {
      const unsigned n = randomLeaf(*grid, rng);
      if (grid->level(n) >= grid->maxLevel) continue;
      grid->ClearRefineMarks();
      grid->MarkSplit(n);
      std::set<unsigned> marked;
      grid->walk(Walk::AllNodes, [&](unsigned m) {
        if (grid->flags(m).has(TreeFlags::SPLIT_MARK)) marked.insert(m);
      });
      const std::set<unsigned> before = nodesWithChildren(*grid);
      grid->SplitBalanced(n, false);
      std::set<unsigned> split;
      for (unsigned m : nodesWithChildren(*grid))
        if (!before.count(m)) split.insert(m);
      ASSERT_EQ(marked, split) << "seed " << seed << " step " << step;
      grid->ClearRefineMarks();
      grid->updateRootFlags();
    }
  }
}

TEST(SplitBalanced, ValuesSurviveThePoolsGrowingDuringSplits) {
  // Two tiles split down to single pixels need more nodes than the first commit holds, so the
  // allocator grows (and may move every pool) in the middle of splits.
  auto grid = makeGrid(512, 256);
  grid->levelSet[grid->rootIndex(0, 0)] = -3.5f;
  grid->levelSet[grid->rootIndex(1, 0)] = 7.25f;
  const unsigned startCapacity = grid->nodes.capacity();
  for (unsigned target = 1; target <= grid->maxLevel; ++target) {
    std::vector<unsigned> leaves;
    grid->walk(Walk::InteriorLeaves, [&](unsigned n) {
      if (grid->level(n) < target) leaves.push_back(n);
    });
    for (unsigned n : leaves)
      if (!grid->hasChildren(n)) grid->SplitBalanced(n, true);
  }
  EXPECT_GT(grid->nodes.capacity(), startCapacity);
  std::size_t leaves = 0;
  grid->forEachLeafInTiles(0, 0, 2, 1, [&](unsigned n, float cx, float, float) {
    ++leaves;
    ASSERT_EQ(grid->level(n), 8u);
    ASSERT_EQ(grid->levelSet[n], cx < 256.0f ? -3.5f : 7.25f);
  });
  EXPECT_EQ(leaves, 2u * 256u * 256u);
  std::string why;
  EXPECT_TRUE(leafVisitsExact(*grid, &why)) << why;
}

}  // namespace
