// The weighted-entry form of the interpolant: on random trees with random channels it gives the
// value of the plain interpolant, and its label competition matches a reference built from the
// interpolant's linearity (a label's score is the interpolant of the regional channel masked to it).
#include <gtest/gtest.h>

#include <random>

#include "support/tree_builders.h"

using namespace VELDRA_TRW;
using namespace veldra_test;

namespace {

struct RandomChannels {
  std::vector<float> masked[3];  // "regional level set" where "region" has label L, else 0

  explicit RandomChannels(SLGrid2D& grid, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> value(-30.0f, 30.0f), distance(0.0f, 12.0f);
    std::uniform_int_distribution<int> label(0, 2);
    for (auto& m : masked) m.assign(grid.nodes.capacity(), 0.0f);
    grid.walk(Walk::AllNodes, [&](unsigned n) {
      grid.levelSet[n] = value(rng);
      grid.regional[n] = distance(rng);
      grid.region[n] = static_cast<unsigned char>(label(rng));
      masked[grid.region[n]][n] = grid.regional[n];
    });
  }
};

TEST(RegionalInterpolant, MatchesThePlainInterpolantAndTheLabelReference) {
  int contested = 0;
  for (std::uint32_t seed = 1; seed <= 10; ++seed) {
    auto grid = makeGrid(600, 600);
    randomGradedRefine(*grid, seed, 150, 8);
    const RandomChannels channels(*grid, seed + 100);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-384.0f, 3.5f * 256.0f);
    for (int k = 0; k < 2000; ++k) {
      const float px = u(rng), py = u(rng);
      grid->useRegional = 0;
      const float plain = grid->SampleInterpolated(px, py, nullptr, nullptr);
      grid->useRegional = 1;
      float margin = -1.0f;
      unsigned char label = 99;
      const float regional = grid->SampleInterpolated(px, py, &margin, &label);
      ASSERT_NEAR(regional, plain, 1e-4f) << px << "," << py;

      unsigned n;
      float lx, ly;
      grid->PointToRoot(px, py, n, lx, ly);
      grid->LocateLeaf(n, lx, ly);
      float score[3];
      for (int l = 0; l < 3; ++l) score[l] = grid->InterpolateChannel(n, channels.masked[l].data(), lx, ly);
      int best = 0;
      for (int l = 1; l < 3; ++l)
        if (score[l] > score[best]) best = l;
      float second = 0.0f;
      for (int l = 0; l < 3; ++l)
        if (l != best) second = std::max(second, score[l]);
      if (score[best] - second < 1e-3f) continue;  // near-ties may go either way by rounding
      ++contested;
      ASSERT_EQ(label, best) << px << "," << py;
      ASSERT_NEAR(margin, score[best] - second, 1e-4f);
    }
  }
  EXPECT_GT(contested, 10000);
}

TEST(RegionalInterpolant, OneLabelGivesItsWeightedSumAsMargin) {
  auto grid = makeGrid(512, 512);
  randomGradedRefine(*grid, 4, 80, 7);
  fillField(*grid, grid->regional, [](float x, float y) { return 0.01f * x + 0.02f * y + 1.0f; });
  grid->walk(Walk::AllNodes, [&](unsigned n) { grid->region[n] = 2; });
  grid->useRegional = 1;
  std::mt19937 rng(4);
  std::uniform_real_distribution<float> u(0.0f, 511.0f);
  for (int k = 0; k < 500; ++k) {
    const float px = u(rng), py = u(rng);
    float margin = 0.0f;
    unsigned char label = 0;
    grid->SampleInterpolated(px, py, &margin, &label);
    EXPECT_EQ(label, 2);
    EXPECT_NEAR(margin, 0.01f * px + 0.02f * py + 1.0f, 1e-4f);
  }
}

// Refinement points the outputs at a child's own channel entries; reading and writing must not mix.
TEST(RegionalInterpolant, OutputsMayAliasTheRegionalChannels) {
  auto grid = makeGrid(512, 512);
  randomGradedRefine(*grid, 8, 60, 6);
  const RandomChannels channels(*grid, 8);
  grid->useRegional = 1;
  const unsigned leaf = grid->rootIndex(0, 0);
  unsigned n = leaf;
  float lx = 0.2f, ly = -0.3f;
  grid->LocateLeaf(n, lx, ly);
  float margin;
  unsigned char label;
  const float value = grid->InterpolateAt(n, lx, ly, &margin, &label);
  const float aliasedValue = grid->InterpolateAt(n, lx, ly, &grid->regional[n], &grid->region[n]);
  EXPECT_EQ(aliasedValue, value);
  EXPECT_EQ(grid->regional[n], margin);
  EXPECT_EQ(grid->region[n], label);
}

}  // namespace
