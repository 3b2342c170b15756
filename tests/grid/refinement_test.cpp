// Refinement passes: the trace line, the per-leaf decision against an independent reading of the
// rules, split and merge values, grading and leaf visits after every pass, the fixed point passes
// settle into (finest level set by the image size, coarse away from the front), the regional target,
// and the ghost border following the image border.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "grid/group_index_detail.h"
#include "grid/refinement_detail.h"
#include "support/front_fixtures.h"
#include "support/seeding_checks.h"
#include "support/selection_fields.h"

using namespace VELDRA_TRW;
using namespace veldra_test;

namespace {

std::string passTrace(SLGrid2D& grid, int i0, int j0, int i1, int j1) {
  testing::internal::CaptureStdout();
  grid.RefineGridForField(i0, j0, i1, j1);
  return testing::internal::GetCapturedStdout();
}

void passOverAll(SLGrid2D& grid) {
  grid.RefineGridForField(0, 0, static_cast<int>(grid.ni), static_cast<int>(grid.nj));
}

// Runs passes until the topology stops changing; checks the tree after every pass. Returns the
// number of passes that changed the tree.
int settle(SLGrid2D& grid, int maxPasses = 24) {
  std::vector<unsigned> last = leafSignature(grid);
  for (int pass = 0; pass < maxPasses; ++pass) {
    passOverAll(grid);
    std::string why;
    EXPECT_TRUE(grid.checkGrading()) << "pass " << pass;
    EXPECT_TRUE(leafVisitsExact(grid, &why)) << "pass " << pass << ": " << why;
    std::vector<unsigned> now = leafSignature(grid);
    if (now == last) return pass;
    last = std::move(now);
  }
  ADD_FAILURE() << "no fixed point after " << maxPasses << " passes";
  return maxPasses;
}

TEST(Refinement, EveryPassPrintsItsTraceLine) {
  auto grid = makeGrid(1000, 800);
  EXPECT_EQ(passTrace(*grid, 1, 2, 3, 4), "RefineGridForField: 1,2,3,4,  ni,nj=4,4\n");
  EXPECT_EQ(passTrace(*grid, 0, 0, 0, 0), "RefineGridForField: 0,0,0,0,  ni,nj=4,4\n");
}

// A field linear across x whose magnitude stays below 1.5 over a band 192 pixels wide: passes split
// the band down to the finest level the image size allows and leave the rest coarse.
struct BandCase {
  std::uint32_t w, h;
  unsigned finest;
};

TEST(Refinement, PassesSettleWithTheFinestLevelSetByTheImageSize) {
  for (const BandCase& c : {BandCase{1000, 800, 8}, BandCase{4000, 3000, 6}, BandCase{8000, 6000, 5}}) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    auto grid = makeGrid(c.w, c.h);
    const float X = static_cast<float>(c.w) * 0.37f + 0.3f;
    const auto phi = [X](float x, float) { return (x - X) / 64.0f; };
    fillField(*grid, grid->levelSet, phi);
    testing::internal::CaptureStdout();
    const int passes = settle(*grid);
    testing::internal::GetCapturedStdout();
    EXPECT_GE(passes, static_cast<int>(c.finest));
    unsigned deepest = 0;
    std::size_t finestLeaves = 0;
    grid->forEachLeafInTiles(0, 0, static_cast<int>(grid->ni), static_cast<int>(grid->nj),
                             [&](unsigned n, float cx, float cy, float e) {
                               const unsigned level = grid->level(n);
                               deepest = std::max(deepest, level);
                               // Split and merged values follow the linear field.
                               EXPECT_NEAR(grid->levelSet[n], phi(cx, cy), 1e-3f);
                               if (std::fabs(grid->levelSet[n]) < 1.5f) {
EXPECT_EQ(level, c.finest);
}
                               if (level == c.finest) ++finestLeaves;
                               // Away from the band the tree coarsens geometrically.
                               if (level > 0) {
EXPECT_LT(std::fabs(cx - X) - 96.0f, 8.0f * e) << cx << "," << cy;
}
                             });
    EXPECT_EQ(deepest, c.finest);
    // The band is about 192 pixels wide and the image's height tall.
    const float finestEdge = 256.0f / static_cast<float>(1u << c.finest);
    const float bandCells = 192.0f / finestEdge * static_cast<float>(c.h) / finestEdge;
    EXPECT_GT(static_cast<float>(finestLeaves), 0.9f * bandCells);
    EXPECT_LT(static_cast<float>(finestLeaves), 1.5f * bandCells);
  }
}

TEST(Refinement, FrontLeafIsSplitOneLevelPerPassDownToTheFinest) {
  auto grid = makeGrid(1000, 800);
  const float px = 530.0f, py = 410.0f;
  refineWhere(*grid, [&](float x, float y, float e) { return std::fabs(x - px) <= e / 2 && std::fabs(y - py) <= e / 2; }, 3);
  grid->updateRootFlags();
  fillField(*grid, grid->levelSet, [&](float x, float) { return (x - px - 0.25f) / 64.0f; });
  ASSERT_EQ(grid->level(locateByPoint(*grid, px, py, 255)), 3u);
  testing::internal::CaptureStdout();
  for (unsigned pass = 1; pass <= 7; ++pass) {
    passOverAll(*grid);
    EXPECT_EQ(grid->level(locateByPoint(*grid, px, py, 255)), std::min(3u + pass, 8u)) << "pass " << pass;
  }
  testing::internal::GetCapturedStdout();
}

TEST(Refinement, MarksFollowTheRulesLeafByLeaf) {
  for (std::uint32_t seed = 0; seed < 5; ++seed) {
    auto grid = makeGrid(900, 700);
    randomGradedRefine(*grid, seed, 150, 7);
    // Rounded distances: some leaves carry exactly 0, which counts as a sign change.
    const Disc disc{420.0f + 10.0f * static_cast<float>(seed), 330.0f, 150.0f};
    fillField(*grid, grid->levelSet, [&](float x, float y) { return std::round(disc(x, y) * 0.5f); });
    grid->ClearRefineMarks();
    refinement::markLeaves(*grid, 0, 0, static_cast<int>(grid->ni), static_cast<int>(grid->nj));
    int merges = 0, splits = 0, frontKept = 0;
    grid->walk(Walk::InteriorLeaves, [&](unsigned n) {
      const float phi = grid->levelSet[n];
      const unsigned level = grid->level(n);
      const unsigned desired = std::fabs(phi) < 1.5f ? 8u : 0u;
      bool signChange = false;
      for (int d = 0; d < 4; ++d) {
        const unsigned m = neighbourByPoint(*grid, n, d);
        if (m != NO_NODE && phi * grid->levelSet[m] <= 0.0f) signChange = true;
      }
      const TreeFlags f = grid->flags(n);
      if (desired > level) {
        EXPECT_TRUE(f.has(TreeFlags::SPLIT_MARK));
        EXPECT_FALSE(f.has(TreeFlags::MERGE_MARK));
        ++splits;
      } else {
        EXPECT_EQ(f.has(TreeFlags::MERGE_MARK), level > desired && !signChange) << "level " << level << " phi " << phi;
        merges += f.has(TreeFlags::MERGE_MARK);
        frontKept += level > desired && signChange;
      }
    });
    EXPECT_GT(merges, 0);
    EXPECT_GT(splits, 0);
    EXPECT_GT(frontKept, 0);
  }
}

TEST(Refinement, NodeMergesOnlyWithAllChildrenMarkedAndNoNeighbourTwoLevelsFiner) {
  auto grid = makeGrid(1024, 1024);
  refineWhere(*grid, [](float x, float y, float) { return x >= 256 && x < 512 && y >= 256 && y < 512; }, 2);
  // Level 3 just east of the tile's south-east quarter, in tile (2, 1).
  refineWhere(*grid, [](float x, float y, float e) { return std::fabs(x - 515) <= e / 2 && std::fabs(y - 400) <= e / 2; }, 3);
  grid->updateRootFlags();
  fillField(*grid, grid->levelSet, [](float, float) { return 10.0f; });
  const unsigned tile = grid->rootIndex(1, 1);
  const unsigned c = grid->child0(tile);
  for (unsigned k = 0; k < 4; ++k) ASSERT_TRUE(grid->hasChildren(c + k));
  grid->ClearRefineMarks();
  refinement::markLeaves(*grid, 0, 0, 4, 4);
  grid->forEachLeafInTiles(1, 1, 2, 2, [&](unsigned n, float, float, float) {
    EXPECT_TRUE(grid->flags(n).has(TreeFlags::MERGE_MARK));
  });
  testing::internal::CaptureStdout();
  passOverAll(*grid);
  testing::internal::GetCapturedStdout();
  // Quarters 1 and 3 touch (across an edge or a corner) tile (2, 1)'s quarter with grandchildren.
  EXPECT_FALSE(grid->hasChildren(c + 0));
  EXPECT_FALSE(grid->hasChildren(c + 2));
  EXPECT_TRUE(grid->hasChildren(c + 1));
  EXPECT_TRUE(grid->hasChildren(c + 3));
  EXPECT_EQ(grid->levelSet[c + 0], 10.0f);
  EXPECT_TRUE(LevelRaster(*grid).graded());
}

TEST(Refinement, SplitValuesInterpolateTheFieldAtTheChildCentres) {
  auto grid = makeGrid(900, 700);
  randomGradedRefine(*grid, 9, 120, 6);
  const auto phi = [](float x, float y) { return 0.3f * x - 0.7f * y + 5.0f; };
  const auto reg = [](float x, float y) { return 0.2f * x + 0.1f * y; };
  fillField(*grid, grid->levelSet, phi);
  fillField(*grid, grid->regional, reg);
  grid->walk(Walk::AllNodes, [&](unsigned n) { grid->region[n] = 1; });
  int checked = 0;
  for (bool regional : {false, true}) {
    grid->useRegional = regional ? 1 : 0;
    grid->forEachLeafInTiles(0, 0, 4, 3, [&](unsigned n, float cx, float cy, float e) {
      const unsigned g = grid->nodes.allocateGroup();
      grid->SplitValues(n, g);
      EXPECT_EQ(group_index::load(grid->temp[n]), g);
      for (unsigned k = 0; k < 4; ++k) {
        const float x = cx + ((k & 1) ? 0.25f : -0.25f) * e, y = cy + ((k & 2) ? 0.25f : -0.25f) * e;
        EXPECT_NEAR(grid->levelSet[g + k], phi(x, y), 2e-3f);
        if (regional) {
          EXPECT_NEAR(grid->regional[g + k], reg(x, y), 2e-3f);
          EXPECT_EQ(grid->region[g + k], 1);
        } else {
          EXPECT_EQ(grid->regional[g + k], 100.0f);
          EXPECT_EQ(grid->region[g + k], 3);
        }
      }
      grid->nodes.releaseGroupUnlocked(g);
      ++checked;
    });
  }
  EXPECT_GT(checked, 200);
}

struct MergeCase {
  float phi[4], regional[4];
  unsigned char labels[4];
  float wantRegional;
  unsigned char wantLabel;
};

TEST(Refinement, MergedValuesAreTheMeanAndTheWinningLabel) {
  const MergeCase cases[] = {
      // Equal weights: the label seen first wins, the margin is 0.
      {{1, 2, 3, 4}, {8, 4, 4, 1}, {0, 1, 1, 2}, 0.0f, 0},
      {{1, 2, 3, 4}, {4, 8, 4, 1}, {1, 0, 1, 2}, 0.0f, 1},
      // Label 0 outweighs label 2: 4 - 0.5.
      {{-1, -2, -3, -4}, {1, 1, 8, 8}, {2, 2, 0, 0}, 3.5f, 0},
      // One label: the mean regional value, second stays 0.
      {{0, 0, 0, 0}, {2, 4, 6, 8}, {1, 1, 1, 1}, 5.0f, 1},
      // Three labels, the best second in order: 3 - 2.5.
      {{5, 5, 5, 5}, {6, 12, 2, 4}, {2, 0, 1, 2}, 0.5f, 0},
  };
  for (const MergeCase& m : cases) {
    auto grid = makeGrid(300, 300);
    grid->useRegional = 1;
    const unsigned n = grid->rootIndex(0, 0);
    const unsigned c = splitLeaf(*grid, n);
    for (unsigned k = 0; k < 4; ++k) {
      grid->levelSet[c + k] = m.phi[k];
      grid->regional[c + k] = m.regional[k];
      grid->region[c + k] = m.labels[k];
    }
    grid->MergeValues(n);
    EXPECT_EQ(grid->levelSet[n], (m.phi[1] + m.phi[0] + m.phi[2] + m.phi[3]) * 0.25f);
    EXPECT_FLOAT_EQ(grid->regional[n], m.wantRegional);
    EXPECT_EQ(grid->region[n], m.wantLabel);
    grid->useRegional = 0;
    grid->regional[n] = -9.0f;
    grid->MergeValues(n);
    EXPECT_EQ(grid->regional[n], -9.0f);  // untouched without the regional level set
  }
}

TEST(Refinement, RegionalTargetRefinesNearRegionBordersOneLevelLess) {
  auto grid = makeGrid(1000, 800);
  grid->useRegional = 1;
  const float X = 470.3f;
  fillField(*grid, grid->levelSet, [](float, float) { return 50.0f; });
  fillField(*grid, grid->regional, [&](float x, float) { return (x - X) / 64.0f; });
  grid->walk(Walk::AllNodes, [&](unsigned n) { grid->region[n] = 1; });
  testing::internal::CaptureStdout();
  settle(*grid);
  testing::internal::GetCapturedStdout();
  unsigned deepest = 0;
  grid->forEachLeafInTiles(0, 0, 4, 4, [&](unsigned n, float cx, float, float e) {
    deepest = std::max(deepest, grid->level(n));
    // |regional| < 2 wants level 7 (numLevels 0, q = 1, Q = 2).
    if (std::fabs(grid->regional[n]) < 1.9f) {
EXPECT_EQ(grid->level(n), 7u) << cx;
}
    if (grid->level(n) > 0) {
EXPECT_LT(std::fabs(cx - X) - 128.0f, 8.0f * e);
}
  });
  EXPECT_EQ(deepest, 7u);
}

TEST(Refinement, GhostBorderFollowsTheImageBorder) {
  auto grid = makeGrid(1000, 800);
  // The band |phi| < 1.5 reaches across the top image edge into the ghost rows.
  fillField(*grid, grid->levelSet, [](float, float y) { return (y - 40.3f) / 64.0f; });
  testing::internal::CaptureStdout();
  settle(*grid);
  testing::internal::GetCapturedStdout();
  std::string why;
  const LevelRaster raster(*grid);
  EXPECT_TRUE(raster.graded(&why)) << why;
  // Along the top edge the ghost leaves match the interior leaves below them.
  for (int x = 0; x < 1000; x += 3) EXPECT_EQ(raster.at(x, -1), raster.at(x, 0)) << x;
  EXPECT_EQ(raster.at(500, 0), 8);
}

TEST(Refinement, PassOverAnEmptyBoxStillCoarsensTheGhostBorder) {
  auto grid = makeGrid(1000, 800);
  refineWhere(*grid, [](float x, float y, float e) { return std::fabs(x + 500) <= e / 2 && std::fabs(y - 300) <= e / 2; }, 3);
  grid->updateRootFlags();
  const std::size_t roots = static_cast<std::size_t>(grid->si) * grid->sj;
  ASSERT_GT(countNodes(*grid), roots);
  // Nothing inside the image was refined.
  grid->forEachLeafInTiles(0, 0, 4, 4, [&](unsigned n, float, float, float) { ASSERT_EQ(grid->level(n), 0u); });
  for (int pass = 0; pass < 4; ++pass) {
    EXPECT_EQ(passTrace(*grid, 0, 0, 0, 0), "RefineGridForField: 0,0,0,0,  ni,nj=4,4\n");
    EXPECT_TRUE(LevelRaster(*grid).graded());
  }
  EXPECT_EQ(countNodes(*grid), roots);
}

}  // namespace
