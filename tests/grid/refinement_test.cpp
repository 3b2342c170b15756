// Refinement passes: the per-leaf decision against an independent reading of the rules, split and
// merge values, grading and leaf visits after every pass, the fixed point passes settle into (finest
// level set by the image size, coarse away from the front), the regional target, and the ghost border
// following the image border.
#include <gtest/gtest.h>

#include "grid/group_index_detail.h"
#include "grid/refinement_detail.h"
#include "support/front_fixtures.h"
#include "support/harness.h"
#include "support/seeding_checks.h"
#include "support/selection_fields.h"

using namespace VELDRA_TRW;
using namespace veldra_test;

namespace {

void passOverAll(SLGrid2D& grid) {
  capturedStdout([&] { grid.RefineGridForField(0, 0, static_cast<int>(grid.ni), static_cast<int>(grid.nj)); });
}

// Runs passes until the topology stops changing, checking the tree after every pass; returns the
// number of passes that changed the tree.
int settle(SLGrid2D& grid, int maxPasses = 24) {
  std::vector<unsigned> last = leafSignature(grid);
  std::string why;
  for (int pass = 0; pass < maxPasses; ++pass) {
    passOverAll(grid);
    EXPECT_TRUE(grid.checkGrading()) << "pass " << pass;
    EXPECT_TRUE(leafVisitsExact(grid, &why)) << "pass " << pass << ": " << why;
    if (leafSignature(grid) == last) return pass;
    last = leafSignature(grid);
  }
  ADD_FAILURE() << "no fixed point after " << maxPasses << " passes";
  return maxPasses;
}

// Leaves of a single point's neighbourhood refined to `level` around (px, py).
void refineAround(SLGrid2D& grid, float px, float py, unsigned level) {
  refineWhere(grid, [&](float x, float y, float e) { return std::fabs(x - px) <= e / 2 && std::fabs(y - py) <= e / 2; }, level);
  grid.updateRootFlags();
}

// A field linear across x whose magnitude stays below 1.5 over a band 192 pixels wide: passes split
// the band down to the finest level the image size allows and leave the rest coarse.
TEST(Refinement, PassesSettleWithTheFinestLevelSetByTheImageSize) {
  struct BandCase {
    std::uint32_t w, h;
    unsigned finest;
  };
  for (const BandCase& c : {BandCase{1000, 800, 8}, BandCase{4000, 3000, 6}, BandCase{8000, 6000, 5}}) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    auto grid = makeGrid(c.w, c.h);
    const float X = static_cast<float>(c.w) * 0.37f + 0.3f;
    const auto phi = [X](float x, float) { return (x - X) / 64.0f; };
    fillField(*grid, grid->levelSet, phi);
    EXPECT_GE(settle(*grid), static_cast<int>(c.finest));
    unsigned deepest = 0;
    std::size_t finestLeaves = 0;
    for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, static_cast<int>(grid->ni), static_cast<int>(grid->nj))) {
      const unsigned level = grid->level(l.node);
      deepest = std::max(deepest, level);
      finestLeaves += level == c.finest;
      EXPECT_NEAR(grid->levelSet[l.node], phi(l.cx, l.cy), 1e-3f);  // split and merged values stay linear
      EXPECT_TRUE(std::fabs(grid->levelSet[l.node]) >= 1.5f || level == c.finest) << l.cx;
      // Away from the band the tree coarsens geometrically.
      EXPECT_TRUE(level == 0 || std::fabs(l.cx - X) - 96.0f < 8.0f * l.edge) << l.cx << "," << l.cy;
    }
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
  refineAround(*grid, 530.0f, 410.0f, 3);
  fillField(*grid, grid->levelSet, [&](float x, float) { return (x - 530.25f) / 64.0f; });
  for (unsigned pass = 0; pass <= 7; ++pass) {
    EXPECT_EQ(grid->level(locateByPoint(*grid, 530.0f, 410.0f, 255)), std::min(3u + pass, 8u)) << "pass " << pass;
    passOverAll(*grid);
  }
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
      const unsigned level = grid->level(n), desired = std::fabs(phi) < 1.5f ? 8u : 0u;
      bool signChange = false;
      for (int d = 0; d < 4; ++d) {
        const unsigned m = neighbourByPoint(*grid, n, d);
        signChange = signChange || (m != NO_NODE && phi * grid->levelSet[m] <= 0.0f);
      }
      const TreeFlags f = grid->flags(n);
      // A leaf may also be marked for a split by its neighbours' grading.
      EXPECT_TRUE(f.has(TreeFlags::SPLIT_MARK) || desired <= level);
      EXPECT_EQ(f.has(TreeFlags::MERGE_MARK), level > desired && !signChange) << "level " << level << " phi " << phi;
      splits += desired > level;
      merges += f.has(TreeFlags::MERGE_MARK);
      frontKept += level > desired && signChange;
    });
    EXPECT_GT(merges, 0);
    EXPECT_GT(splits, 0);
    EXPECT_GT(frontKept, 0);
  }
}

TEST(Refinement, NodeMergesOnlyWithAllChildrenMarkedAndNoNeighbourTwoLevelsFiner) {
  auto grid = makeGrid(1024, 1024);
  refineWhere(*grid, [](float x, float y, float) { return x >= 256 && x < 512 && y >= 256 && y < 512; }, 2);
  refineAround(*grid, 515.0f, 400.0f, 3);  // level 3 just east of the tile's south-east quarter
  fillField(*grid, grid->levelSet, [](float, float) { return 10.0f; });
  const unsigned c = grid->child0(grid->rootIndex(1, 1));
  for (unsigned k = 0; k < 4; ++k) ASSERT_TRUE(grid->hasChildren(c + k));
  grid->ClearRefineMarks();
  refinement::markLeaves(*grid, 0, 0, 4, 4);
  for (const LeafGeom& l : leavesInTiles(*grid, 1, 1, 2, 2)) EXPECT_TRUE(grid->flags(l.node).has(TreeFlags::MERGE_MARK));
  passOverAll(*grid);
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
  fillField(*grid, grid->region, [](float, float) { return 1; });
  int checked = 0;
  for (bool regional : {false, true}) {
    grid->useRegional = regional ? 1 : 0;
    for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, 4, 3)) {
      const unsigned g = grid->nodes.allocateGroup();
      grid->SplitValues(l.node, g);
      EXPECT_EQ(group_index::load(grid->temp[l.node]), g);
      for (unsigned k = 0; k < 4; ++k) {
        const float x = l.cx + ((k & 1) ? 0.25f : -0.25f) * l.edge, y = l.cy + ((k & 2) ? 0.25f : -0.25f) * l.edge;
        EXPECT_NEAR(grid->levelSet[g + k], phi(x, y), 2e-3f);
        EXPECT_NEAR(grid->regional[g + k], regional ? reg(x, y) : 100.0f, 2e-3f);
        EXPECT_EQ(grid->region[g + k], regional ? 1 : 3);
      }
      grid->nodes.releaseGroupUnlocked(g);
      ++checked;
    }
  }
  EXPECT_GT(checked, 200);
}

TEST(Refinement, MergedValuesAreTheMeanAndTheWinningLabel) {
  struct MergeCase {
    float phi[4], regional[4];
    unsigned char labels[4];
    float wantRegional;
    unsigned char wantLabel;
  };
  const MergeCase cases[] = {
      {{1, 2, 3, 4}, {8, 4, 4, 1}, {0, 1, 1, 2}, 0.0f, 0},      // equal weights: the label seen first, margin 0
      {{1, 2, 3, 4}, {4, 8, 4, 1}, {1, 0, 1, 2}, 0.0f, 1},
      {{-1, -2, -3, -4}, {1, 1, 8, 8}, {2, 2, 0, 0}, 3.5f, 0},  // label 0 outweighs label 2: 4 - 0.5
      {{0, 0, 0, 0}, {2, 4, 6, 8}, {1, 1, 1, 1}, 5.0f, 1},      // one label: the mean, second stays 0
      {{5, 5, 5, 5}, {6, 12, 2, 4}, {2, 0, 1, 2}, 0.5f, 0},     // three labels, the best second: 3 - 2.5
  };
  for (const MergeCase& m : cases) {
    auto grid = makeGrid(300, 300);
    grid->useRegional = 1;
    const unsigned n = grid->rootIndex(0, 0), c = splitLeaf(*grid, n);
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
  fillField(*grid, grid->region, [](float, float) { return 1; });
  settle(*grid);
  unsigned deepest = 0;
  for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, 4, 4)) {
    deepest = std::max(deepest, grid->level(l.node));
    // |regional| < 2 wants level 7 (numLevels 0, q = 1, Q = 2).
    EXPECT_TRUE(std::fabs(grid->regional[l.node]) >= 1.9f || grid->level(l.node) == 7u) << l.cx;
    EXPECT_TRUE(grid->level(l.node) == 0 || std::fabs(l.cx - X) - 128.0f < 8.0f * l.edge) << l.cx;
  }
  EXPECT_EQ(deepest, 7u);
}

TEST(Refinement, GhostBorderFollowsTheImageBorder) {
  auto grid = makeGrid(1000, 800);
  // The band |phi| < 1.5 reaches across the top image edge into the ghost rows.
  fillField(*grid, grid->levelSet, [](float, float y) { return (y - 40.3f) / 64.0f; });
  settle(*grid);
  std::string why;
  const LevelRaster raster(*grid);
  EXPECT_TRUE(raster.graded(&why)) << why;
  // Along the top edge the ghost leaves match the interior leaves below them.
  for (int x = 0; x < 1000; x += 3) EXPECT_EQ(raster.at(x, -1), raster.at(x, 0)) << x;
  EXPECT_EQ(raster.at(500, 0), 8);
}

TEST(Refinement, PassOverAnEmptyBoxStillCoarsensTheGhostBorder) {
  auto grid = makeGrid(1000, 800);
  refineAround(*grid, -500.0f, 300.0f, 3);
  const std::size_t roots = static_cast<std::size_t>(grid->si) * grid->sj;
  ASSERT_GT(countNodes(*grid), roots);
  for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, 4, 4)) ASSERT_EQ(grid->level(l.node), 0u);  // image untouched
  for (int pass = 0; pass < 4; ++pass) {
    EXPECT_EQ(capturedStdout([&] { grid->RefineGridForField(0, 0, 0, 0); }), "RefineGridForField: 0,0,0,0,  ni,nj=4,4\n");
    EXPECT_TRUE(LevelRaster(*grid).graded());
  }
  EXPECT_EQ(countNodes(*grid), roots);
}

}  // namespace
