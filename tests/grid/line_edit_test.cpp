// The line edit: its capsule distance against a reference found by another method, its tile box
// against the truncation rule, its paint leaf by leaf against the painting rules at every leaf's
// centre, and its refinement against a plain walk over every leaf of the box.
#include <gtest/gtest.h>

#include "grid/geometry.h"
#include "grid/line_edit_detail.h"
#include "support/tree.h"

namespace {

using namespace veldra_test;
using VELDRA_TRW::GeometryLine;
using VELDRA_TRW::SegmentTileBox;
using VELDRA_TRW::TileBox;

// Distance to the segment minus r by golden-section search along it (the distance is convex there);
// the tile box in double: truncation toward zero of x / 256 - 0.5, padded by trunc(r / 256) + 2.
TEST(LineEdit, CapsuleDistanceAndTileBoxMatchReferences) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> coord(-300.0f, 300.0f), rad(0.0f, 60.0f), wide(-400.0f, 3400.0f), big(0.0f, 1300.0f);
  auto grid = makeGrid(3000, 2000);  // 12 x 8 tiles
  for (int k = 0; k < 20000; ++k) {
    const float ax = coord(rng), ay = coord(rng), bx = k % 8 == 0 ? ax : coord(rng), by = k % 8 == 0 ? ay : coord(rng);
    const float r = rad(rng), px = coord(rng), py = coord(rng);
    const auto dist = [&](double t) { return std::hypot(px - (ax + t * (bx - ax)), py - (ay + t * (by - ay))); };
    double lo = 0.0, hi = 1.0;
    for (int it = 0; it < 100; ++it) {
      const double m1 = hi - 0.618 * (hi - lo), m2 = lo + 0.618 * (hi - lo);
      if (dist(m1) < dist(m2)) hi = m2;
      else lo = m1;
    }
    const double expected = std::min({dist(0.0), dist(1.0), dist(0.5 * (lo + hi))}) - r;
    ASSERT_NEAR(GeometryLine(ax, ay, bx, by, r).Distance(px, py, 0.0f), expected, 2e-3 + 1e-5 * std::fabs(expected)) << k;
    const float sx = wide(rng), sy = wide(rng), ex = wide(rng), ey = wide(rng), radius = big(rng);
    const auto t = [](double v) { return static_cast<long long>(std::trunc(v / 256.0 - 0.5)); };
    const long long pad = static_cast<long long>(std::trunc(radius / 256.0)) + 2;
    const auto c = [](long long v, long long n) { return static_cast<int>(std::clamp(v, 0LL, n)); };
    const TileBox f = SegmentTileBox(*grid, sx, sy, ex, ey, radius);
    ASSERT_TRUE(f.i0 == c(std::min(t(sx), t(ex)) - pad, 12) && f.i1 == c(std::max(t(sx), t(ex)) + 1 + pad, 12) &&
                f.j0 == c(std::min(t(sy), t(ey)) - pad, 8) && f.j1 == c(std::max(t(sy), t(ey)) + 1 + pad, 8)) << k;
  }
  EXPECT_EQ(SegmentTileBox(*grid, 0.0f, 0.0f, 0.0f, 0.0f, 1e30f).i1, 12);  // huge or undefined radii stay defined
  EXPECT_EQ(SegmentTileBox(*grid, 0.0f, 0.0f, 0.0f, 0.0f, std::nanf("")).i0, 0);
}

// With d the capsule's distance at a leaf's centre and c its edge: label 0 (add) writes d where d < 0
// over phi >= 0, or 0 <= d < 0.8 c over phi > 0; label 1 (subtract) writes -d likewise with the signs
// swapped; with the regional level set, every label relabels leaves with d < 0.8 c carrying another
// label, with distance |d|. Only tiles of the box are painted.
TEST(LineEdit, PaintFollowsTheRulesAtEveryLeaf) {
  for (int regional = 0; regional < 2; ++regional)
    for (unsigned char label = 0; label < 3; ++label) {
      auto grid = makeGrid(1100, 900);
      randomGradedRefine(*grid, 100 + label, 1500, 8);
      grid->useRegional = static_cast<std::uint8_t>(regional);
      randomChannels(*grid, label + 10u * static_cast<unsigned>(regional), 12.0f, 5.0f);
      const auto leaves = allLeafGeoms(*grid);
      const auto phi = valuesAt(grid->levelSet, leaves), rho = valuesAt(grid->regional, leaves);
      const auto labels = valuesAt(grid->region, leaves);
      const GeometryLine shape(300.0f, 420.0f, 620.0f, 350.0f, 37.5f);
      VELDRA_TRW::LineEditPaint(*grid, shape, label, TileBox{0, 0, 3, 2});  // smaller than the shape's box
      int inside = 0;
      for (std::size_t k = 0; k < leaves.size(); ++k) {
        const LeafGeom& l = leaves[k];
        const float d = shape.Distance(l.cx, l.cy, 0.0f), c = l.edge;
        float p = phi[k], r = rho[k];
        unsigned char lab = labels[k];
        if (l.cx >= 0.0f && l.cy >= 0.0f && l.cx < 3 * 256.0f && l.cy < 2 * 256.0f) {
          const bool near = d >= 0.0f && d < 0.8f * c;
          if (label == 0 && ((d < 0.0f && phi[k] >= 0.0f) || (near && phi[k] > 0.0f))) p = d;
          if (label == 1 && ((d < 0.0f && phi[k] <= 0.0f) || (near && phi[k] < 0.0f))) p = -d;
          if (regional && d < 0.8f * c && lab != label) lab = label, r = std::fabs(d);
          inside += d < 0.0f;
        }
        ASSERT_TRUE(grid->levelSet[l.node] == p && grid->region[l.node] == lab && grid->regional[l.node] == r)
            << "label " << int(label) << " at " << l.cx << "," << l.cy;
      }
      EXPECT_GT(inside, 10);
    }
}

// Leaves of the box within half a diagonal plus 25.6 pixels of the outline are split (gradedly) down
// to the finest level, except where they are settled: far inside for an add, far outside for a
// subtract, always for a band edit. The library skips far squares and tiles; the plain walk visits
// every leaf, and both must make the same splits in the same order: on grids seeded from a disc,
// random capsules and discs near and across its edge, each label.
TEST(LineEdit, RefinementMatchesAWalkOverEveryLeaf) {
  const auto seeded = [] {
    auto grid = makeGrid(1024, 768);
    std::vector<unsigned char> mask(1024 * 768);
    for (int p = 0; p < 1024 * 768; ++p) mask[p] = std::hypot(p % 1024 + 0.5 - 500.0, p / 1024 + 0.5 - 380.0) < 260.0 ? 255 : 0;
    grid->InitFromMask(0, 0, 1024, 768, mask.data(), 1024);
    return grid;
  };
  std::mt19937 rng(13);
  std::uniform_real_distribution<float> angle(0.0f, 6.2831853f), offset(-120.0f, 120.0f), radius(1.0f, 150.0f);
  int splits = 0;
  for (int k = 0; k < 12; ++k) {
    auto fast = seeded(), plain = seeded();
    const float a = angle(rng), rr = 260.0f + offset(rng), ax = 500.0f + rr * std::cos(a), ay = 380.0f + rr * std::sin(a);
    const float bx = k % 3 == 0 ? ax : ax + offset(rng), by = k % 3 == 0 ? ay : ay + offset(rng), r = radius(rng);
    const GeometryLine shape(ax, ay, bx, by, r);
    const unsigned char label = static_cast<unsigned char>(k % 3);
    const TileBox box = SegmentTileBox(*fast, ax, ay, bx, by, r);
    const unsigned freeBefore = fast->nodes.freeCount;
    VELDRA_TRW::LineEditRefine(*fast, shape, label, box);
    for (int j = box.j0; j < box.j1; ++j)
      for (int i = box.i0; i < box.i1; ++i)
        plain->forEachLeafInTile(i, j, SLGrid2D::kChildrenInOrder, [&](unsigned n, float cx, float cy, float) {
          const float c = static_cast<float>(plain->tileSize >> plain->level(n));
          const bool settled = label == 0 ? plain->levelSet[n] < -c : (label == 1 ? plain->levelSet[n] > c : true);
          if (std::fabs(shape.Distance(cx, cy, 0.0f)) < c * 0.5f * 1.414f + 25.6f && plain->level(n) < plain->maxLevel && !settled)
            plain->SplitBalanced(n);
        });
    ASSERT_EQ(nodesOf(*fast, Walk::AllNodes), nodesOf(*plain, Walk::AllNodes)) << "shape " << k;
    ASSERT_EQ(treeProblem(*fast), "");
    splits += static_cast<int>(freeBefore - fast->nodes.freeCount);
  }
  EXPECT_GT(splits, 1000);
}

}  // namespace
