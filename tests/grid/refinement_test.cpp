// Refinement and graded splitting. Passes, which clear, collect and refresh only in the root tiles
// where marks were set and leave quiet ghost tiles alone, against a plain pass over the whole tree on
// random sequences of seeding, field shifts, box passes and marks set between passes; merge values;
// the fixed point passes settle into, split values on it linear as the field; and random
// graded splits, which must keep the tree graded and split exactly what marking for them marks.
#include <gtest/gtest.h>

#include <set>

#include "common/index_bounds.h"
#include "grid/group_index_detail.h"
#include "grid/refinement_detail.h"
#include "support/harness.h"
#include "support/host.h"
#include "support/tree.h"

namespace {

using namespace veldra_test;
using namespace VELDRA_TRW;

// One pass with every step over the whole tree: clear all marks, mark the box, then the plain
// whole-tree ApplyRefinement, refresh ROOT bits.
void wholeTreePass(SLGrid2D& g, int i0, int j0, int i1, int j1) {
  std::printf("RefineGridForField: %i,%i,%i,%i,  ni,nj=%i,%i\n", i0, j0, i1, j1, static_cast<int>(g.ni), static_cast<int>(g.nj));
  if (!g.hasBlock()) return;
  g.ClearRefineMarks();
  using VELDRA_COMMON::clampToCount;
  i0 = clampToCount(i0, g.ni), i1 = clampToCount(i1, g.ni), j0 = clampToCount(j0, g.nj), j1 = clampToCount(j1, g.nj);
  if (j0 < j1) refinement::markLeaves(g, i0, j0, i1, j1);
  g.ApplyRefinement();
  g.updateRootFlags();
}

// Topology, flags, channels and scratch channels, bit for bit.
std::vector<std::uint32_t> allBits(const SLGrid2D& g) {
  std::vector<std::uint32_t> out = treeBits(g);
  g.walk(Walk::AllNodes, [&](unsigned n) {
    std::uint32_t t[2];
    std::memcpy(t, &g.temp[n], 4);
    std::memcpy(t + 1, &g.temp2[n], 4);
    out.insert(out.end(), {t[0], t[1], g.regionTmp[n], g.parent(n)});
  });
  return out;
}

TEST(Refinement, PassesInMarkedTilesMatchWholeTreePasses) {
  int passes = 0, merges = 0, splits = 0;
  for (std::uint32_t seed = 1; seed <= 12 && !HasFailure(); ++seed) {
    std::mt19937 rng(seed);
    SLGrid2D fast, plain;
    SLGrid2D* both[2] = {&fast, &plain};
    int w = 0, h = 0;
    for (int step = 0; step < 70 && !HasFailure(); ++step) {
      const unsigned op = step == 0 ? 0 : rng() % 18;
      if (op == 0) {
        w = std::uniform_int_distribution<int>(200, 1400)(rng), h = std::uniform_int_distribution<int>(200, 1100)(rng);
        for (SLGrid2D* g : both) g->setImageSize(static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h));
      }
      if (op <= 1) {
        const Mask mask = noiseMask(w, h, rng(), std::uniform_real_distribution<float>(60.0f, 400.0f)(rng));
        for (SLGrid2D* g : both) g->InitFromMask(0, 0, w, h, mask.bytes.data(), w);
      } else if (op == 2) {  // moves the front, so that passes split and merge
        const float by = std::uniform_real_distribution<float>(-60.0f, 60.0f)(rng);
        for (SLGrid2D* g : both) g->walk(Walk::AllNodes, [&](unsigned n) { g->levelSet[n] += by; });
      } else if (op == 3 && !fast.useRegional) {
        const float scale = std::uniform_real_distribution<float>(0.005f, 0.05f)(rng);
        for (SLGrid2D* g : both) {
          g->useRegional = 1;
          fillField(*g, g->regional, [&](float x, float y) { return std::fabs(std::sin(x * scale) * 30.0f + y * 0.01f); });
          fillField(*g, g->region, [&](float x, float y) { return static_cast<unsigned char>(static_cast<int>(x + y) / 97 % 3); });
        }
      } else if (op <= 5) {  // a mark set outside a pass, in the image or in a ghost tile; now and then a clear
        const std::vector<unsigned> leaves = nodesOf(fast, Walk::AllLeaves);
        const unsigned n = leaves[rng() % leaves.size()];
        for (SLGrid2D* g : both) {
          if (g->level(n) < g->maxLevel) g->MarkSplit(n);
          if (op == 5) g->ClearRefineMarks();
        }
      } else {
        // Whole passes, and boxes mostly inside the tiles, now and then empty, reversed or beyond the image.
        const int ni = static_cast<int>(fast.ni), nj = static_cast<int>(fast.nj);
        int i0 = 0, j0 = 0, i1 = ni, j1 = nj;
        if (op >= 9) {
          i0 = std::uniform_int_distribution<int>(-1, ni + 1)(rng), j0 = std::uniform_int_distribution<int>(-1, nj + 1)(rng);
          i1 = std::uniform_int_distribution<int>(i0 - 1, i0 + 3)(rng), j1 = std::uniform_int_distribution<int>(j0 - 1, j0 + 3)(rng);
        }
        const std::size_t before = nodesOf(fast, Walk::AllNodes).size();
        EXPECT_EQ(capturedStdout([&] { fast.RefineGridForField(i0, j0, i1, j1); }),
                  capturedStdout([&] { wholeTreePass(plain, i0, j0, i1, j1); }));
        ASSERT_TRUE(allBits(fast) == allBits(plain)) << "seed " << seed << " step " << step << " box " << i0 << "," << j0 << "," << i1 << "," << j1;
        ASSERT_EQ(treeProblem(fast), "");
        const std::size_t after = nodesOf(fast, Walk::AllNodes).size();
        ++passes, merges += after < before, splits += after > before;
      }
    }
  }
  // The sequences must change the tree both ways, or the comparison proves little.
  EXPECT_TRUE(passes > 300 && merges > 50 && splits > 20) << passes << " " << merges << " " << splits;
}

// A merge takes the mean of its children in their order (+x child first) and the label of the largest
// sum of regional values, with its lead over the runner-up as the regional value.
TEST(Refinement, MergeValues) {
  struct MergeCase {
    float regional[4], wantRegional;
    unsigned char labels[4], wantLabel;
  };
  const MergeCase cases[] = {
      {{8, 4, 4, 1}, 0.0f, {0, 1, 1, 2}, 0},  // equal sums: the label seen first, lead 0
      {{1, 1, 8, 8}, 3.5f, {2, 2, 0, 0}, 0},  // label 0 outweighs label 2: (16 - 2) / 4
      {{2, 4, 6, 8}, 5.0f, {1, 1, 1, 1}, 1},  // one label: the mean
      {{6, 12, 2, 4}, 0.5f, {2, 0, 1, 2}, 0},
  };
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(-50.0f, 50.0f);
  auto small = makeGrid(300, 300);
  small->useRegional = 1;
  const unsigned n = small->rootIndex(0, 0), c = splitLeaf(*small, n);
  for (int k = 0; k < 64; ++k) {
    const MergeCase& m = cases[k % 4];
    float v[4];
    for (unsigned i = 0; i < 4; ++i) {
      small->levelSet[c + i] = v[i] = u(rng);  // values whose sum depends on its order
      small->regional[c + i] = m.regional[i];
      small->region[c + i] = m.labels[i];
    }
    small->MergeValues(n);
    ASSERT_TRUE(sameBits(small->levelSet[n], (v[1] + v[0] + v[2] + v[3]) * 0.25f));
    ASSERT_FLOAT_EQ(small->regional[n], m.wantRegional);
    ASSERT_EQ(small->region[n], m.wantLabel);
  }
}

// A field linear across x whose magnitude stays below 1.5 over a band 192 pixels wide: passes split
// the band down to the finest level the image size allows (fewer levels for larger images), keep
// values linear, and coarsen geometrically away from it. A band across the top edge reaches into the
// ghost rows, whose leaves then follow the image's.
TEST(Refinement, PassesSettleWithTheFinestLevelSetByTheImageSize) {
  struct BandCase {
    std::uint32_t w, h;
    unsigned finest;
    bool acrossTop;
  };
  for (const BandCase& c : {BandCase{1000, 800, 8, false}, BandCase{4000, 3000, 6, false}, BandCase{8000, 6000, 5, false},
                            BandCase{1000, 800, 8, true}}) {
    auto grid = makeGrid(c.w, c.h);
    const float X = c.acrossTop ? 40.3f : static_cast<float>(c.w) * 0.37f + 0.3f;
    const auto phi = [&](float x, float y) { return ((c.acrossTop ? y : x) - X) / 64.0f; };
    fillField(*grid, grid->levelSet, phi);
    std::vector<std::uint32_t> last;
    int pass = 0;
    for (; pass < 24 && allBits(*grid) != last; ++pass) {
      last = allBits(*grid);
      capturedStdout([&] { grid->RefineGridForField(0, 0, static_cast<int>(grid->ni), static_cast<int>(grid->nj)); });
      ASSERT_EQ(treeProblem(*grid), "") << "pass " << pass;
    }
    EXPECT_GE(pass, static_cast<int>(c.finest));
    EXPECT_LT(pass, 24) << "no fixed point";
    std::size_t finestLeaves = 0;
    for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, static_cast<int>(grid->ni), static_cast<int>(grid->nj))) {
      const unsigned level = grid->level(l.node);
      const float across = c.acrossTop ? l.cy : l.cx;
      finestLeaves += level == c.finest;
      ASSERT_LE(level, c.finest);
      ASSERT_NEAR(grid->levelSet[l.node], phi(l.cx, l.cy), 1e-3f);
      ASSERT_TRUE(std::fabs(grid->levelSet[l.node]) >= 1.5f || level == c.finest) << l.cx << "," << l.cy;
      ASSERT_TRUE(level == 0 || std::fabs(across - X) - 96.0f < 8.0f * l.edge) << l.cx << "," << l.cy;
    }
    if (c.acrossTop) {
      for (float x = 0.5f; x < 1000.0f; x += 3.0f)
        ASSERT_EQ(grid->level(locateByPoint(*grid, x, -0.5f)), grid->level(locateByPoint(*grid, x, 0.5f))) << x;
      continue;
    }
    const float edge = 256.0f / static_cast<float>(1u << c.finest), bandCells = 192.0f / edge * static_cast<float>(c.h) / edge;
    EXPECT_TRUE(finestLeaves > 0.9f * bandCells && finestLeaves < 1.5f * bandCells) << finestLeaves;
  }
}

// Random graded splits anywhere in the block: the leaf is split with its values (the recording
// variant notes each split node's first child in "temp"), the tree stays graded, and marking for a
// split marks exactly the nodes the split then splits.
TEST(SplitBalanced, KeepsTheTreeGradedAndSplitsWhatMarkingMarks) {
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    auto grid = makeGrid(600, 500);
    grid->useRegional = seed % 2;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> ux(-510.0f, 1270.0f), uy(-510.0f, 1020.0f);
    for (int step = 0; step < 40; ++step) {
      const unsigned n = locateByPoint(*grid, ux(rng), uy(rng));
      if (grid->level(n) >= grid->maxLevel) continue;
      randomChannels(*grid, rng(), 50.0f, 50.0f);
      fillField(*grid, grid->temp, [](float, float) { return -7.0f; });
      const std::vector<unsigned> nodes = nodesOf(*grid, Walk::AllNodes);
      const std::set<unsigned> before(nodes.begin(), nodes.end());
      grid->ClearRefineMarks();
      grid->MarkSplit(n);
      std::set<unsigned> marked;
      for (unsigned m : before)
        if (grid->flags(m).has(TreeFlags::SPLIT_MARK)) marked.insert(m);
      grid->ClearRefineMarks();
      const bool recording = step % 2 == 0;
      grid->SplitBalanced(n, recording);
      grid->updateRootFlags();
      std::set<unsigned> split;
      for (unsigned s : before) {
        if (!grid->hasChildren(s) || before.count(grid->child0(s))) continue;
        split.insert(s);
        for (unsigned c = grid->child0(s); c < grid->child0(s) + 4; ++c)
          ASSERT_TRUE(grid->levelSet[c] == grid->levelSet[s] &&
                      (!grid->useRegional || (grid->regional[c] == grid->regional[s] && grid->region[c] == grid->region[s])));
        ASSERT_TRUE(recording ? group_index::load(grid->temp[s]) == grid->child0(s) : grid->temp[s] == -7.0f);
      }
      ASSERT_EQ(marked, split) << "seed " << seed << " step " << step;
      ASSERT_EQ(treeProblem(*grid), "") << "seed " << seed << " step " << step;
    }
  }
}

}  // namespace
