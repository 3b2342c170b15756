// The worked corner values of the subdivided interpolant, one case per configuration and corner, on
// a 2 x 2 block of level-2 cells B, X, Y, D in which some cells are split once more. Channel values
// are random, so each case checks the exact weights of its corner.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "grid/sampling_corners.h"
#include "support/tree_builders.h"

using namespace VELDRA_TRW;
using namespace VELDRA_TRW::sampling;
using namespace veldra_test;

namespace {

constexpr float kTol = 2e-5f;

// The block at tile (1, 1) with the named cells split, every node holding a random value.
struct Block {
  std::unique_ptr<SLGrid2D> grid = makeGrid(1024, 1024);
  unsigned cell[4] = {};  // B, X, Y, D
  std::vector<float> values;

  explicit Block(const std::vector<int>& split) {
    const unsigned g1 = splitLeaf(*grid, grid->rootIndex(1, 1));
    for (unsigned k = 0; k < 4; ++k) splitLeaf(*grid, g1 + k);
    // Level-2 cell (a, b), 0..3 each, of the tile.
    const auto levelTwo = [&](unsigned a, unsigned b) { return grid->child0(g1 + (a >> 1) + 2 * (b >> 1)) + (a & 1) + 2 * (b & 1); };
    cell[CELL_B] = levelTwo(1, 1);
    cell[CELL_X] = levelTwo(2, 1);
    cell[CELL_Y] = levelTwo(1, 2);
    cell[CELL_D] = levelTwo(2, 2);
    for (int c : split) splitLeaf(*grid, cell[c]);
    gradeTree(*grid);
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-50.0f, 50.0f);
    values.assign(grid->nodes.capacity(), 0.0f);
    for (float& v : values) v = u(rng);
  }
  // Cell c's value, or its child k's.
  float at(int c, int k = -1) const { return values[k < 0 ? cell[c] : grid->child0(cell[c]) + static_cast<unsigned>(k)]; }

  // Corner (ix, iy) of the stencil seen from leaf `from` at offset (lx, ly), which must be the block.
  float corner(int from, float lx, float ly, int ix, int iy) const {
    Stencil s;
    FindStencil(*grid, cell[from], lx, ly, s);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(s.cell[c], cell[c]) << "stencil cell " << c;
    Terms t;
    CornerTerms(s, ix, iy, t);
    float weightSum = 0.0f;
    for (int i = 0; i < t.count; ++i) weightSum += t.weight[i];
    EXPECT_NEAR(weightSum, 1.0f, 1e-6f);
    return t.evaluate(values.data());
  }
};

struct Term {
  float weight;
  int cell, child;  // child -1: the cell itself
};

struct CornerCase {
  const char* name;
  std::vector<int> split;
  int from;
  float lx, ly;
  int ix, iy;
  std::vector<Term> expected;
  float px = NAN, py = NAN;  // where the interpolant from `from` lands on this corner, if checked
};

TEST(CornerCase, EveryConfigurationGivesItsWorkedWeights) {
  const float third = 1.0f / 3, sixth = 1.0f / 6, ninth = 1.0f / 9;
  const CornerCase cases[] = {
      {"none subdivided, lower side", {CELL_Y}, CELL_B, 0.25f, 0.25f, 1, 0, {{0.75f, CELL_B, -1}, {0.25f, CELL_X, -1}}, 0.25f, 0.0f},
      {"none subdivided, right side", {CELL_B}, CELL_X, -0.25f, 0.25f, 3, 1, {{0.75f, CELL_X, -1}, {0.25f, CELL_D, -1}}},
      {"B subdivided, lower side", {CELL_B}, CELL_X, -0.25f, 0.25f, 1, 0, {{0.5f, CELL_B, 1}, {0.5f, CELL_B, 3}}},
      {"B subdivided, inner child", {CELL_B}, CELL_X, -0.25f, 0.25f, 1, 1, {{1.0f, CELL_B, 3}}},
      {"X subdivided, lower side", {CELL_X}, CELL_B, 0.25f, 0.25f, 2, 0, {{0.5f, CELL_X, 0}, {0.5f, CELL_X, 2}}},
      {"XYD subdivided, lower side", {CELL_X, CELL_Y, CELL_D}, CELL_B, 0.25f, 0.25f, 1, 0,
       {{2 * third, CELL_B, -1}, {sixth, CELL_X, 0}, {sixth, CELL_X, 2}}, 0.25f, 0.0f},
      {"XYD subdivided, left side", {CELL_X, CELL_Y, CELL_D}, CELL_B, 0.25f, 0.25f, 0, 1,
       {{2 * third, CELL_B, -1}, {sixth, CELL_Y, 0}, {sixth, CELL_Y, 1}}, 0.0f, 0.25f},
      {"XYD subdivided, interior corner", {CELL_X, CELL_Y, CELL_D}, CELL_B, 0.25f, 0.25f, 1, 1,
       {{4 * ninth, CELL_B, -1}, {2 * ninth, CELL_X, 2}, {2 * ninth, CELL_Y, 1}, {ninth / 2, CELL_X, 0}, {ninth / 2, CELL_Y, 0}},
       0.25f, 0.25f},
      {"XYD subdivided, inner child of D", {CELL_X, CELL_Y, CELL_D}, CELL_B, 0.25f, 0.25f, 2, 2, {{1.0f, CELL_D, 0}}},
      {"BX subdivided, upper side", {CELL_B, CELL_X}, CELL_Y, 0.25f, -0.25f, 1, 3, {{0.75f, CELL_Y, -1}, {0.25f, CELL_D, -1}}},
  };
  for (const CornerCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Block b(c.split);
    float expected = 0.0f;
    for (const Term& t : c.expected) expected += t.weight * b.at(t.cell, t.child);
    EXPECT_NEAR(b.corner(c.from, c.lx, c.ly, c.ix, c.iy), expected, kTol);
    // The point is a corner of its sub-rectangle: the interpolant reaches the same value.
    if (!std::isnan(c.px)) {
      EXPECT_NEAR(b.grid->InterpolateChannel(b.cell[c.from], b.values.data(), c.px, c.py), expected, kTol);
    }
  }
}

// Between grid lines the interpolant is bilinear in its sub-rectangle's corners.
TEST(CornerCase, InterpolantIsBilinearInsideItsSubRectangle) {
  const Block b({CELL_X, CELL_Y, CELL_D});
  const float v00 = b.corner(CELL_B, 0.25f, 0.25f, 1, 1), v10 = b.corner(CELL_B, 0.25f, 0.25f, 2, 1);
  const float v01 = b.corner(CELL_B, 0.25f, 0.25f, 1, 2), v11 = b.corner(CELL_B, 0.25f, 0.25f, 2, 2);
  // (sx, sy) = (0.375, 0.4375) lies at (s, t) = (0.25, 0.375) of [1/4, 3/4]^2.
  const float s = 0.25f, t = 0.375f;
  const float expected = ((1 - s) * v00 + s * v10) * (1 - t) + ((1 - s) * v01 + s * v11) * t;
  EXPECT_NEAR(b.grid->InterpolateChannel(b.cell[CELL_B], b.values.data(), 0.375f, 0.4375f), expected, kTol);
}

// The table of corner terms against the rules run on the nodes: every split pattern, every corner,
// node for node and weight for weight.
TEST(CornerCase, TableGivesTheRulesTermsExactly) {
  for (unsigned mask = 1; mask < 16; ++mask) {
    std::vector<int> split;
    for (int c = 0; c < 4; ++c)
      if ((mask >> c) & 1u) split.push_back(c);
    const Block b(split);
    Stencil s;
    FindStencil(*b.grid, b.cell[CELL_B], 0.25f, 0.25f, s);
    ASSERT_EQ(s.mask, mask);
    for (int ix = 0; ix < 4; ++ix)
      for (int iy = 0; iy < 4; ++iy) {
        Terms table, rules;
        CornerTerms(s, ix, iy, table);
        CornerTermsByRules(s, ix, iy, rules);
        ASSERT_EQ(table.count, rules.count) << "mask " << mask << " corner " << ix << "," << iy;
        for (int i = 0; i < rules.count; ++i) {
          EXPECT_EQ(table.node[i], rules.node[i]);
          EXPECT_EQ(std::bit_cast<std::uint32_t>(table.weight[i]), std::bit_cast<std::uint32_t>(rules.weight[i]));
        }
      }
  }
}

}  // namespace
