// The weighted-entry form of the interpolant: on random trees with random channels it gives the
// value of the plain interpolant, and its label competition matches a reference built from the
// interpolant's linearity (a label's score is the interpolant of the regional channel masked to it;
// with one label in the stencil the margin is that score), and its outputs may alias the channels.
#include <gtest/gtest.h>

#include "support/tree_builders.h"

using namespace VELDRA_TRW;
using namespace veldra_test;

namespace {

// Random channels, and per label the regional channel where "region" has that label, else 0.
struct RandomChannels {
  std::vector<float> masked[3];

  explicit RandomChannels(SLGrid2D& grid, std::uint32_t seed) {
    randomChannels(grid, seed, 30.0f, 12.0f);
    for (auto& m : masked) m.assign(grid.nodes.capacity(), 0.0f);
    grid.walk(Walk::AllNodes, [&](unsigned n) { masked[grid.region[n]][n] = grid.regional[n]; });
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
