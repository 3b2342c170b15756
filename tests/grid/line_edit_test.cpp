// The line edit's paint passes over squares of the tree far outside the capsule: it must leave every
// leaf as painting each leaf of the box one by one does.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

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
    const bool paints = (d < 0.0f && (wrongSide || phi == 0.0f)) || (d >= 0.0f && d < near && wrongSide);
    if (label != VELDRA_TRW::REGION_BAND && paints) phi = painted;
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
    // The channels the paint writes, as bits.
    const auto channels = [&] {
      const std::size_t count = grid->nodes.capacity();
      std::vector<std::uint32_t> bits(2 * count);
      std::memcpy(bits.data(), grid->levelSet.data(), count * sizeof(float));
      std::memcpy(bits.data() + count, grid->regional.data(), count * sizeof(float));
      return std::make_pair(bits, std::vector<unsigned char>(grid->region.data(), grid->region.data() + count));
    };
    for (std::uint32_t edit = 0; edit < 12; ++edit) {
      const auto fill = [&] {
        randomChannels(*grid, seed * 100 + edit, 4.0f, 6.0f);
        grid->walk(Walk::AllNodes, [&](unsigned n) {
          if ((n * 2654435761u >> 29) == 0) grid->levelSet[n] = 0.0f;
        });
      };
      const float ax = x(rng), ay = y(rng), r = edit % 4 == 0 ? radius(rng) * 0.1f : radius(rng);
      const float bx = edit % 3 == 0 ? ax : x(rng), by = edit % 3 == 0 ? ay : y(rng);
      const GeometryLine shape(ax, ay, bx, by, r);
      const auto label = static_cast<unsigned char>(edit % 3);
      const VELDRA_TRW::TileBox box{0, 0, static_cast<int>(grid->ni), static_cast<int>(grid->nj)};
      fill();
      paintEveryLeaf(*grid, shape, label, box);
      const auto want = channels();
      fill();
      VELDRA_TRW::LineEditPaint(*grid, shape, label, box);
      ASSERT_TRUE(channels() == want) << "seed " << seed << " edit " << edit;
    }
  }
}

}  // namespace
