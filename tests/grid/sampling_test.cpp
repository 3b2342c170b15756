// The interpolant on random graded trees: it reproduces linear fields on every stencil shape, its
// regional form gives the same value and the label competition of a reference built from the
// interpolant's linearity, the corner weights of split cells are the worked ones (and the table of
// them is the rules'), one-edge differences are exact for linear fields across levels, and the field
// dump holds the value of the leaf at every pixel.
#include <gtest/gtest.h>

#include <bit>
#include <set>

#include "grid/sampling_corners.h"
#include "support/harness.h"
#include "support/tree.h"

namespace {

using namespace veldra_test;
using namespace VELDRA_TRW;
using namespace VELDRA_TRW::sampling;

std::unique_ptr<SLGrid2D> randomTree(std::uint32_t seed) {
  auto grid = makeGrid(700, 520);
  randomGradedRefine(*grid, seed, 120, 8);
  return grid;
}

TEST(Interpolant, ReproducesLinearFieldsOnEveryStencilShape) {
  std::set<unsigned> masks;
  int coarse = 0;
  for (std::uint32_t seed = 1; seed <= 10; ++seed) {
    auto grid = randomTree(seed);
    std::mt19937 rng(seed * 7u);
    std::uniform_real_distribution<float> coef(-2.0f, 2.0f), ux(-384.0f, 4.5f * 256.0f), uy(-384.0f, 3.5f * 256.0f);
    const float a = 50.0f * coef(rng), b = coef(rng), c = coef(rng);
    const auto f = [&](float x, float y) { return a + b * x + c * y; };
    const float tol = 4e-6f * (std::fabs(a) + 1000.0f * (std::fabs(b) + std::fabs(c)));
    fillField(*grid, grid->levelSet, f);
    fillField(*grid, grid->regional, [](float, float) { return 7.0f; });  // the regional weights add up to 1 too
    for (int k = 0; k < 3000; ++k) {
      float px = ux(rng), py = uy(rng);
      if (k % 3 == 0) px = std::floor(px), py = std::floor(py);
      unsigned n;
      float lx, ly, cx, cy, e;
      grid->PointToRoot(px, py, n, lx, ly);
      grid->LocateLeaf(n, lx, ly);
      leafCentre(*grid, n, &cx, &cy, &e);
      ASSERT_TRUE(!grid->hasChildren(n) && std::fabs(px - cx) <= e * 0.5f && std::fabs(py - cy) <= e * 0.5f) << px << "," << py;
      Stencil s;
      FindStencil(*grid, n, lx, ly, s);
      masks.insert(s.mask);
      coarse += grid->level(s.cell[0]) != grid->level(n) || grid->level(s.cell[3]) != grid->level(n);
      ASSERT_EQ(grid->SamplePoint(px, py, nullptr), grid->levelSet[n]);
      ASSERT_NEAR(grid->SampleInterpolated(px, py, nullptr, nullptr), f(px, py), tol) << px << "," << py;
      grid->useRegional = 1;
      float margin = -1.0f;
      unsigned char label = 9;
      ASSERT_NEAR(grid->SampleInterpolated(px, py, &margin, &label), f(px, py), tol) << px << "," << py;
      ASSERT_TRUE(label == 1 && std::fabs(margin - 7.0f) < 1e-5f);
      grid->useRegional = 0;
    }
    // Without the regional level set the outputs are left alone.
    float margin = -42.0f;
    unsigned char label = 77;
    grid->SampleInterpolated(300.0f, 200.0f, &margin, &label);
    EXPECT_TRUE(margin == -42.0f && label == 77);
  }
  // Every subdivision mask but "all four split" (the point would lie in a leaf of the stencil).
  EXPECT_EQ(masks.size(), 15u);
  EXPECT_EQ(masks.count(15u), 0u);
  EXPECT_GT(coarse, 100);
}

// A label's score is the interpolant of the regional channel masked to that label; the winner is the
// label, the margin its lead over the runner-up. Outputs may alias the node's own regional entries.
TEST(Interpolant, RegionalFormMatchesTheLabelReference) {
  int contested = 0;
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    auto grid = makeGrid(600, 600);
    randomGradedRefine(*grid, seed, 150, 8);
    randomChannels(*grid, seed + 100, 30.0f, 12.0f);
    std::vector<float> masked[3];
    for (auto& m : masked) m.assign(grid->nodes.capacity(), 0.0f);
    grid->walk(Walk::AllNodes, [&](unsigned n) { masked[grid->region[n]][n] = grid->regional[n]; });
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-384.0f, 3.5f * 256.0f);
    for (int k = 0; k < 2000; ++k) {
      const float px = u(rng), py = u(rng);
      grid->useRegional = 0;
      const float plain = grid->SampleInterpolated(px, py, nullptr, nullptr);
      grid->useRegional = 1;
      float margin = -1.0f;
      unsigned char label = 99;
      ASSERT_NEAR(grid->SampleInterpolated(px, py, &margin, &label), plain, 1e-4f) << px << "," << py;
      unsigned n;
      float lx, ly;
      grid->PointToRoot(px, py, n, lx, ly);
      grid->LocateLeaf(n, lx, ly);
      float score[3];
      for (int l = 0; l < 3; ++l) score[l] = grid->InterpolateChannel(n, masked[l].data(), lx, ly);
      const int best = static_cast<int>(std::max_element(score, score + 3) - score);
      const float second = std::max(score[(best + 1) % 3], score[(best + 2) % 3]);
      if (score[best] - second < 1e-3f) continue;  // near-ties may go either way by rounding
      ++contested;
      ASSERT_EQ(label, best) << px << "," << py;
      ASSERT_NEAR(margin, score[best] - second, 1e-4f);
      if (k % 100 == 0) {
        const float aliased = grid->InterpolateAt(n, lx, ly, &grid->regional[n], &grid->region[n]);
        ASSERT_TRUE(aliased == grid->InterpolateAt(n, lx, ly, nullptr, nullptr) && grid->regional[n] == margin && grid->region[n] == label);
        randomChannels(*grid, seed + 100, 30.0f, 12.0f);  // undo the aliased write
      }
    }
  }
  EXPECT_GT(contested, 10000);
}

// A 2 x 2 block of level-2 cells B, X, Y, D in tile (1, 1), some of them split once more; random
// values on every node, so each corner checks its exact weights.
struct Block {
  std::unique_ptr<SLGrid2D> grid = makeGrid(1024, 1024);
  unsigned cell[4] = {};
  std::vector<float> values;

  explicit Block(unsigned splitMask) {
    const unsigned g1 = splitLeaf(*grid, grid->rootIndex(1, 1));
    for (unsigned k = 0; k < 4; ++k) splitLeaf(*grid, g1 + k);
    const auto levelTwo = [&](unsigned a, unsigned b) { return grid->child0(g1 + (a >> 1) + 2 * (b >> 1)) + (a & 1) + 2 * (b & 1); };
    const unsigned cells[4] = {levelTwo(1, 1), levelTwo(2, 1), levelTwo(1, 2), levelTwo(2, 2)};
    for (int c = 0; c < 4; ++c) {
      cell[c] = cells[c];
      if ((splitMask >> c) & 1u) splitLeaf(*grid, cell[c]);
    }
    gradeTree(*grid);
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-50.0f, 50.0f);
    values.resize(grid->nodes.capacity());
    for (float& v : values) v = u(rng);
  }
  float at(int c, int child = -1) const { return values[child < 0 ? cell[c] : grid->child0(cell[c]) + static_cast<unsigned>(child)]; }
};

TEST(Interpolant, SplitCellsGiveTheWorkedCornerWeights) {
  struct Term {
    float weight;
    int cell, child;  // child -1: the cell itself
  };
  struct Case {
    unsigned split;
    int from;
    float lx, ly;
    int ix, iy;  // the corner, as grid positions 0, 1/4, 3/4, 1
    std::vector<Term> terms;
  };
  const float third = 1.0f / 3, ninth = 1.0f / 9;
  const Case cases[] = {
      {1u << CELL_Y, CELL_B, 0.25f, 0.25f, 1, 0, {{0.75f, CELL_B, -1}, {0.25f, CELL_X, -1}}},
      {1u << CELL_B, CELL_X, -0.25f, 0.25f, 1, 0, {{0.5f, CELL_B, 1}, {0.5f, CELL_B, 3}}},
      {1u << CELL_B, CELL_X, -0.25f, 0.25f, 1, 1, {{1.0f, CELL_B, 3}}},
      {14u, CELL_B, 0.25f, 0.25f, 1, 0, {{2 * third, CELL_B, -1}, {third / 2, CELL_X, 0}, {third / 2, CELL_X, 2}}},
      {14u, CELL_B, 0.25f, 0.25f, 1, 1,
       {{4 * ninth, CELL_B, -1}, {2 * ninth, CELL_X, 2}, {2 * ninth, CELL_Y, 1}, {ninth / 2, CELL_X, 0}, {ninth / 2, CELL_Y, 0}}},
      {3u, CELL_Y, 0.25f, -0.25f, 1, 3, {{0.75f, CELL_Y, -1}, {0.25f, CELL_D, -1}}},
  };
  for (const Case& c : cases) {
    const Block b(c.split);
    Stencil s;
    FindStencil(*b.grid, b.cell[c.from], c.lx, c.ly, s);
    ASSERT_TRUE(std::equal(s.cell, s.cell + 4, b.cell));
    Terms t;
    CornerTerms(s, c.ix, c.iy, t);
    float expected = 0.0f;
    for (const Term& term : c.terms) expected += term.weight * b.at(term.cell, term.child);
    EXPECT_NEAR(t.evaluate(b.values.data()), expected, 2e-5f) << "split " << c.split << " corner " << c.ix << "," << c.iy;
  }
  // The table of corner terms is the rules run on the nodes, node for node and weight for weight.
  for (unsigned mask = 1; mask < 16; ++mask) {
    const Block b(mask);
    Stencil s;
    FindStencil(*b.grid, b.cell[CELL_B], 0.25f, 0.25f, s);
    ASSERT_EQ(s.mask, mask);
    for (int k = 0; k < 16; ++k) {
      Terms table, rules;
      CornerTerms(s, k % 4, k / 4, table);
      CornerTermsByRules(s, k % 4, k / 4, rules);
      ASSERT_EQ(table.count, rules.count);
      for (int i = 0; i < rules.count; ++i)
        ASSERT_TRUE(table.node[i] == rules.node[i] && std::bit_cast<std::uint32_t>(table.weight[i]) == std::bit_cast<std::uint32_t>(rules.weight[i]));
    }
  }
}

// A linear field has the difference -(a dx + b dy) * edge towards every neighbour, whatever its
// level, on any channel; the gradient from them is exact too.
TEST(FaceDifference, ExactForLinearFieldsAcrossLevels) {
  int finer = 0, coarser = 0;
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    auto grid = makeGrid(768, 768);
    randomGradedRefine(*grid, seed, 500, 8);
    const float a = 0.37f, b = -0.61f;
    fillField(*grid, grid->levelSet, [&](float x, float y) { return a * x + b * y + 5.0f; });
    fillField(*grid, grid->temp2, [&](float x, float y) { return 2.0f * (a * x + b * y); });
    for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, 3, 3)) {
      for (int d = 0; d < 4; ++d) {
        const unsigned m = grid->neighbour(l.node, static_cast<Direction>(d));
        finer += grid->hasChildren(m);
        coarser += grid->level(m) < grid->level(l.node);
        const float expected = -(a * kStepX[d] + b * kStepY[d]) * l.edge;
        ASSERT_NEAR(grid->FaceDifference(l.node, static_cast<Direction>(d), grid->levelSet.data()), expected, 2e-3f) << l.cx << "," << l.cy;
        ASSERT_NEAR(grid->FaceDifference(l.node, static_cast<Direction>(d), grid->temp2.data()), 2.0f * expected, 4e-3f);
      }
      float gx, gy;
      grid->NodeGradient(l.node, gx, gy);
      ASSERT_TRUE(std::fabs(gx - 2.0f * a * l.edge) < 4e-3f && std::fabs(gy - 2.0f * b * l.edge) < 4e-3f);
    }
  }
  EXPECT_TRUE(finer > 100 && coarser > 100);
}

// "field.pbm": a PF header, then per pixel (-value, 0, 0) for negative values and (0, value, 0)
// otherwise, the value of the leaf the point sampler finds there.
TEST(FieldDump, HoldsTheLeafValueOfEveryPixel) {
  auto grid = makeGrid(300, 530);
  randomGradedRefine(*grid, 21, 200, 8);
  randomChannels(*grid, 21, 40.0f, 1.0f);
  const ScratchDir dir;
  std::string file;
  {
    const WorkingDirectory cwd(dir.path());
    ASSERT_TRUE(grid->saveField());
    file = readFile("field.pbm");
  }
  const std::string header = "PF\n300\n530\n-1.0000\n";
  ASSERT_EQ(file.compare(0, header.size(), header), 0);
  ASSERT_EQ(file.size(), header.size() + 300u * 530u * 12u);
  for (int p = 0; p < 300 * 530; ++p) {
    float rgb[3];
    std::memcpy(rgb, file.data() + header.size() + static_cast<std::size_t>(p) * 12, sizeof rgb);
    const float v = grid->SamplePoint(static_cast<float>(p % 300), static_cast<float>(p / 300), nullptr);
    ASSERT_TRUE(rgb[0] == (v < 0.0f ? -v : 0.0f) && rgb[1] == (v < 0.0f ? 0.0f : v) && rgb[2] == 0.0f) << p;
  }
}

}  // namespace
