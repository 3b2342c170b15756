// The line edit's paint passes over squares of the tree far outside the capsule: it must leave every
// leaf as painting each leaf of the box one by one does.
#include <gtest/gtest.h>

#include "grid/line_edit_detail.h"
#include "grid/region_labels.h"
#include "support/tree.h"

namespace {

using namespace veldra_test;
using VELDRA_TRW::GeometryLine;

// The paint's rule for one leaf of edge c, applied to every leaf.
void paintEveryLeaf(SLGrid2D& grid, const GeometryLine& shape, unsigned char label, const VELDRA_TRW::TileBox& box) {
  for (const LeafGeom& l : leavesInTiles(grid, box.i0, box.j0, box.i1, box.j1)) {
    const float d = shape.Distance(l.cx, l.cy, 0.0f), near = 0.8f * l.edge;
    float& phi = grid.levelSet[l.node];
    const float painted = label == VELDRA_TRW::REGION_INSIDE ? d : -d;
    const bool wrongSide = label == VELDRA_TRW::REGION_INSIDE ? phi > 0.0f : phi < 0.0f;
    if (label != VELDRA_TRW::REGION_BAND && ((d < 0.0f && (wrongSide || phi == 0.0f)) || (d >= 0.0f && d < near && wrongSide)))
      phi = painted;
    if (grid.useRegional != 0 && d < near && grid.region[l.node] != label) {
      grid.region[l.node] = label;
      grid.regional[l.node] = std::fabs(d);
    }
  }
}

// Capsules of every size, discs among them, over trees refined at random and along a circle (so that
// coarse leaves lie next to the capsules as well as pixels), values of both signs and zeros.
TEST(LineEditPaint, EqualsPaintingEveryLeaf) {
  for (const std::uint32_t seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
    auto grid = makeGrid(900, 700);
    randomGradedRefine(*grid, seed, 300, 6);
    refineAlong(*grid, [](float x, float y) { return std::hypot(x - 450.0f, y - 350.0f) - 200.0f; }, 4.0f);
    grid->useRegional = seed % 2;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> x(-50.0f, 950.0f), y(-50.0f, 750.0f), radius(0.0f, 350.0f);
    for (int edit = 0; edit < 12; ++edit) {
      randomChannels(*grid, seed * 100 + static_cast<std::uint32_t>(edit), 4.0f, 6.0f);
      grid->walk(Walk::AllNodes, [&](unsigned n) {
        if (rng() % 8 == 0) grid->levelSet[n] = 0.0f;
      });
      const float ax = x(rng), ay = y(rng), r = edit % 4 == 0 ? radius(rng) * 0.1f : radius(rng);
      const float bx = edit % 3 == 0 ? ax : x(rng), by = edit % 3 == 0 ? ay : y(rng);
      const GeometryLine shape(ax, ay, bx, by, r);
      const auto label = static_cast<unsigned char>(edit % 3);
      const VELDRA_TRW::TileBox box{0, 0, static_cast<int>(grid->ni), static_cast<int>(grid->nj)};
      SLGrid2D& g = *grid;
      const std::vector<float> phi(g.levelSet.data(), g.levelSet.data() + g.nodes.capacity());
      const std::vector<float> rho(g.regional.data(), g.regional.data() + g.nodes.capacity());
      const std::vector<unsigned char> labels(g.region.data(), g.region.data() + g.nodes.capacity());
      paintEveryLeaf(g, shape, label, box);
      const std::vector<float> wantPhi(g.levelSet.data(), g.levelSet.data() + g.nodes.capacity());
      const std::vector<float> wantRho(g.regional.data(), g.regional.data() + g.nodes.capacity());
      const std::vector<unsigned char> wantLabels(g.region.data(), g.region.data() + g.nodes.capacity());
      std::copy(phi.begin(), phi.end(), g.levelSet.data());
      std::copy(rho.begin(), rho.end(), g.regional.data());
      std::copy(labels.begin(), labels.end(), g.region.data());
      VELDRA_TRW::LineEditPaint(g, shape, label, box);
      for (std::size_t n = 0; n < phi.size(); ++n) {
        ASSERT_TRUE(sameBits(wantPhi[n], g.levelSet[n])) << "seed " << seed << " edit " << edit << " node " << n;
        ASSERT_TRUE(sameBits(wantRho[n], g.regional[n])) << "seed " << seed << " edit " << edit << " node " << n;
        ASSERT_EQ(wantLabels[n], g.region[n]) << "seed " << seed << " edit " << edit << " node " << n;
      }
    }
  }
}

}  // namespace
