// The line edit's phases checked leaf by leaf against the painting rules evaluated at every leaf's
// centre, its refinement against the outline criterion, and the band edit without regions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "grid/line_edit_detail.h"
#include "support/front_fixtures.h"
#include "support/seeding_checks.h"

namespace {

using namespace veldra_test;
using VELDRA_TRW::GeometryLine;
using VELDRA_TRW::SegmentTileBox;
using VELDRA_TRW::TileBox;
using VELDRA_TRW::Walk;

TEST(SegmentTileBox, GrowsByTwoTilesBeyondTheRadiusAndIgnoresDirection) {
  auto grid = makeGrid(3000, 2000);  // 12 x 8 tiles
  std::mt19937 rng(2);
  std::uniform_real_distribution<float> x(-400.0f, 3400.0f), y(-400.0f, 2400.0f), r(0.0f, 1300.0f);
  for (int k = 0; k < 5000; ++k) {
    const float ax = x(rng), ay = y(rng), bx = x(rng), by = y(rng), rad = r(rng);
    const TileBox f = SegmentTileBox(*grid, ax, ay, bx, by, rad), g = SegmentTileBox(*grid, bx, by, ax, ay, rad);
    EXPECT_TRUE(f.i0 == g.i0 && f.i1 == g.i1 && f.j0 == g.j0 && f.j1 == g.j1);
    // Reference in double: truncation toward zero of the tile coordinate, then the pad.
    const auto t = [](double v) { return static_cast<long long>(std::trunc(v / 256.0 - 0.5)); };
    const long long pad = static_cast<long long>(std::trunc(rad / 256.0)) + 2;
    const auto clampTo = [](long long v, long long n) { return static_cast<int>(std::min(std::max(v, 0LL), n)); };
    EXPECT_TRUE(f.i0 == clampTo(std::min(t(ax), t(bx)) - pad, 12) && f.i1 == clampTo(std::max(t(ax), t(bx)) + 1 + pad, 12) &&
                f.j0 == clampTo(std::min(t(ay), t(by)) - pad, 8) && f.j1 == clampTo(std::max(t(ay), t(by)) + 1 + pad, 8))
        << ax << "," << ay << " - " << bx << "," << by << " r " << rad;
  }
  // Huge or undefined radii stay defined.
  EXPECT_EQ(SegmentTileBox(*grid, 0.0f, 0.0f, 0.0f, 0.0f, 1e30f).i1, 12);
  EXPECT_EQ(SegmentTileBox(*grid, 0.0f, 0.0f, 0.0f, 0.0f, std::nanf("")).i0, 0);
}

// Expected leaf after painting, from the rules.
struct Painted {
  float phi;
  unsigned char label;
  float regional;
};

// d: the shape's distance at the leaf's centre, c: the leaf's edge.
Painted paintRule(float d, float c, unsigned char label, bool regional, Painted old) {
  Painted p = old;
  const bool near = d >= 0.0f && d < 0.8f * c;
  if (label == 0 && ((d < 0.0f && old.phi >= 0.0f) || (near && old.phi > 0.0f))) p.phi = d;
  if (label == 1 && ((d < 0.0f && old.phi <= 0.0f) || (near && old.phi < 0.0f))) p.phi = -d;
  if (regional && d < 0.8f * c && old.label != label) p.label = label, p.regional = std::fabs(d);
  return p;
}

TEST(LineEditPaint, EveryLeafFollowsThePaintingRules) {
  for (int regional = 0; regional < 2; ++regional)
    for (unsigned char label = 0; label < 3; ++label) {
      auto grid = makeGrid(1100, 900);
      randomGradedRefine(*grid, 100 + label, 1500, 8);
      grid->useRegional = static_cast<std::uint8_t>(regional);
      randomChannels(*grid, label + 10u * static_cast<unsigned>(regional), 12.0f, 5.0f);
      const auto leaves = allLeafGeoms(*grid);
      const auto phi = snapshot(grid->levelSet, leaves), rho = snapshot(grid->regional, leaves);
      const auto labels = snapshot(grid->region, leaves);
      const GeometryLine shape(300.0f, 420.0f, 620.0f, 350.0f, 37.5f);
      VELDRA_TRW::LineEditPaint(*grid, shape, label, TileBox{0, 0, 3, 2});  // smaller than the shape's box
      int inside = 0;
      for (std::size_t k = 0; k < leaves.size(); ++k) {
        const LeafGeom& l = leaves[k];
        const bool inBox = l.cx >= 0.0f && l.cy >= 0.0f && l.cx < 3 * 256.0f && l.cy < 2 * 256.0f;
        const float d = shape.Distance(l.cx, l.cy, 0.0f);
        const Painted old{phi[k], labels[k], rho[k]}, want = inBox ? paintRule(d, l.edge, label, regional != 0, old) : old;
        inside += inBox && d < 0.0f;
        ASSERT_TRUE(grid->levelSet[l.node] == want.phi && grid->region[l.node] == want.label && grid->regional[l.node] == want.regional)
            << "label " << int(label) << " at " << l.cx << "," << l.cy;
      }
      EXPECT_GT(inside, 10);
    }
}

// ---- refinement along the outline (needs graded splitting) ----

// Leaves near the outline (within half a diagonal plus 25.6 pixels) end at the finest level. The
// splits leave the ROOT bit on the root tiles only, as the line edit relies on (it does not walk the
// whole tree to refresh it).
TEST(LineEditRefine, OutlineEndsAtTheFinestLevelAndTheTreeStaysGraded) {
  auto grid = makeGrid(1024, 768);
  const GeometryLine shape(400.0f, 300.0f, 430.0f, 500.0f, 12.0f);
  VELDRA_TRW::LineEditRefine(*grid, shape, 0, SegmentTileBox(*grid, 400.0f, 300.0f, 430.0f, 500.0f, 12.0f));
  int roots = 0;
  grid->walk(VELDRA_TRW::Walk::AllNodes, [&](unsigned n) {
    const bool root = grid->parent(n) == VELDRA_TRW::NO_NODE;
    EXPECT_EQ(grid->flags(n).has(VELDRA_TRW::TreeFlags::ROOT), root) << "node " << n;
    roots += root;
  });
  EXPECT_EQ(roots, (4 + 4) * (3 + 4));  // interior and ghost tiles
  int finest = 0;
  for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, 4, 3)) {
    if (std::fabs(shape.Distance(l.cx, l.cy, 0.0f)) >= l.edge * 0.5f * 1.414f + 25.6f) continue;
    EXPECT_EQ(grid->level(l.node), grid->maxLevel) << l.cx << "," << l.cy;
    ++finest;
  }
  EXPECT_GT(finest, 1000);
  EXPECT_EQ(treeDefect(*grid), "");
}

// A square the refinement skips (a whole tile, or a square of 16 to 128 pixels inside one) must hold
// no point within the margin of the outline: checked on every half pixel of random squares on the
// tree's own grid, near random capsules and discs (some reaching off the image), against the margin the
// walk uses for that size and against a small one for which crossing segments matter.
TEST(LineEditRefine, SkippedSquaresHoldNoPointNearTheOutline) {
  auto grid = makeGrid(1024, 768);
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> pos(-300.0f, 1300.0f), radius(0.5f, 400.0f), thin(0.5f, 40.0f);
  int skipped = 0, kept = 0;
  for (int k = 0; k < 500; ++k) {
    const float edge = static_cast<float>(16 << (k % 5));
    const bool walkMargin = k % 2 == 0;
    const float margin = walkMargin ? edge * 0.5f * 1.414f + 25.6f + 1.0f : 10.0f;
    const float ax = pos(rng), ay = pos(rng);
    const bool disc = k % 3 == 0;
    const GeometryLine shape(ax, ay, disc ? ax : pos(rng), disc ? ay : pos(rng), walkMargin ? radius(rng) : thin(rng));
    // Near the shape's start half of the time.
    const auto snap = [&](float v) { return std::floor(v / edge) * edge; };
    const float x0 = snap(k % 4 < 2 ? ax + pos(rng) * 0.2f - 130.0f : pos(rng));
    const float y0 = snap(k % 4 < 2 ? ay + pos(rng) * 0.2f - 130.0f : pos(rng));
    const bool far = edge == 256.0f ? VELDRA_TRW::TileFarFromOutline(*grid, shape, static_cast<int>(x0 / edge),
                                                                     static_cast<int>(y0 / edge), margin)
                                    : VELDRA_TRW::SquareFarFromOutline(shape, x0, y0, edge, margin);
    if (!far) {
      ++kept;
      continue;
    }
    ++skipped;
    float closest = 1e30f;
    for (float y = y0; y <= y0 + edge; y += 0.5f)
      for (float x = x0; x <= x0 + edge; x += 0.5f) closest = std::min(closest, std::fabs(shape.Distance(x, y, 0.0f)));
    ASSERT_GE(closest, margin) << "square " << k << " at " << x0 << "," << y0 << " edge " << edge;
  }
  EXPECT_GT(skipped, 150);
  EXPECT_GT(kept, 100);
}

// The refinement against a plain walk over every leaf of every tile of the box: on grids seeded from a
// disc, random capsules and discs near and across its edge, for each label, must make the same splits
// in the same order (same node sequence and indices).
TEST(LineEditRefine, MatchesAWalkOverEveryLeaf) {
  const auto seeded = [] {
    auto grid = makeGrid(1024, 768);
    std::vector<unsigned char> mask(1024 * 768);
    for (int y = 0; y < 768; ++y)
      for (int x = 0; x < 1024; ++x) mask[y * 1024 + x] = std::hypot(x + 0.5 - 500.0, y + 0.5 - 380.0) < 260.0 ? 255 : 0;
    grid->InitFromMask(0, 0, 1024, 768, mask.data(), 1024);
    return grid;
  };
  const auto plainRefine = [](SLGrid2D& grid, const GeometryLine& shape, unsigned char label, const TileBox& box) {
    const float reach = 25.6f;
    for (int j = box.j0; j < box.j1; ++j)
      for (int i = box.i0; i < box.i1; ++i)
        grid.forEachLeafInTile(i, j, SLGrid2D::kChildrenInOrder, [&](unsigned n, float cx, float cy, float) {
          const float c = static_cast<float>(grid.tileSize >> grid.level(n));
          const float d = shape.Distance(cx, cy, 0.0f);
          const bool settled = label == 0 ? grid.levelSet[n] < -c : (label == 1 ? grid.levelSet[n] > c : true);
          if (std::fabs(d) < c * 0.5f * 1.414f + reach && grid.level(n) < grid.maxLevel && !settled) grid.SplitBalanced(n);
        });
  };
  std::mt19937 rng(13);
  std::uniform_real_distribution<float> angle(0.0f, 6.2831853f), offset(-120.0f, 120.0f), radius(1.0f, 150.0f);
  int splits = 0;
  for (int k = 0; k < 12; ++k) {
    auto fast = seeded(), plain = seeded();
    const float a = angle(rng), rr = 260.0f + offset(rng);
    const float ax = 500.0f + rr * std::cos(a), ay = 380.0f + rr * std::sin(a);
    const bool disc = k % 3 == 0;
    const float bx = disc ? ax : ax + offset(rng), by = disc ? ay : ay + offset(rng), r = radius(rng);
    const GeometryLine shape(ax, ay, bx, by, r);
    const unsigned char label = static_cast<unsigned char>(k % 3);
    const TileBox box = SegmentTileBox(*fast, ax, ay, bx, by, r);
    const unsigned freeBefore = fast->nodes.freeCount;
    VELDRA_TRW::LineEditRefine(*fast, shape, label, box);
    plainRefine(*plain, shape, label, box);
    std::vector<unsigned> a1, a2;
    fast->walk(Walk::AllNodes, [&](unsigned n) { a1.push_back(n); });
    plain->walk(Walk::AllNodes, [&](unsigned n) { a2.push_back(n); });
    ASSERT_EQ(a1, a2) << "shape " << k;
    splits += static_cast<int>(freeBefore - fast->nodes.freeCount);
  }
  EXPECT_GT(splits, 1000);
}

TEST(LineEditRefine, SettledLeavesAreNotSplit) {
  const GeometryLine shape(400.0f, 300.0f, 400.0f, 300.0f, 20.0f);
  struct Case {
    unsigned char label;
    float phi;
    int useRegional;
    unsigned char region;
    float regional;
  };
  // Deep inside for an add, far outside for a subtract, any band paint without regions, and regions
  // already carrying the label at a distance of more than a tile.
  const Case cases[] = {{0, -1000.0f, 0, 1, 0.0f}, {1, 1000.0f, 0, 1, 0.0f}, {2, 0.0f, 0, 1, 0.0f},
                        {2, 0.0f, 1, 2, 300.0f}, {0, 5.0f, 1, 0, 300.0f}};
  for (const Case& k : cases) {
    auto grid = makeGrid(1024, 768);
    grid->useRegional = static_cast<std::uint8_t>(k.useRegional);
    fillField(*grid, grid->levelSet, [&](float, float) { return k.phi; });
    fillField(*grid, grid->region, [&](float, float) { return k.region; });
    fillField(*grid, grid->regional, [&](float, float) { return k.regional; });
    const unsigned freeBefore = grid->nodes.freeCount;
    VELDRA_TRW::LineEditRefine(*grid, shape, k.label, SegmentTileBox(*grid, 400.0f, 300.0f, 400.0f, 300.0f, 20.0f));
    EXPECT_EQ(grid->nodes.freeCount, freeBefore) << "label " << int(k.label);
  }
}

// ---- the whole edit on a real grid (adding and subtracting: the exported line tests) ----

TEST(LineEdit, BandPaintWithoutRegionsOnlyRunsTheFollowUp) {
  // The same grid twice: one gets the band line edit, the other only the follow-up of the edit over
  // the same tile box. Without the regional level set the two must agree bit for bit.
  auto edited = makeGrid(1024, 768), plain = makeGrid(1024, 768);
  const float a[2] = {300.0f, 300.0f}, b[2] = {600.0f, 320.0f};
  const unsigned freeBefore = edited->nodes.freeCount;
  edited->LineEdit(2, a, b, 8.0f);
  const TileBox box = SegmentTileBox(*plain, a[0], a[1], b[0], b[1], 8.0f);
  plain->RefreshBoundary(plain->levelSet.data());
  plain->UpdateNarrowBand(box.i0, box.j0, box.i1, box.j1);
  plain->Redistance(box.i0, box.j0, box.i1, box.j1);
  plain->RefineGridForField(box.i0, box.j0, box.i1, box.j1);
  EXPECT_EQ(edited->nodes.freeCount, freeBefore);
  const std::vector<unsigned> leaves = allLeaves(*edited);
  ASSERT_EQ(leaves, allLeaves(*plain));
  for (unsigned n : leaves) {
    EXPECT_EQ(edited->levelSet[n], plain->levelSet[n]);
    EXPECT_GT(edited->levelSet[n], 0.0f);
  }
}

}  // namespace
