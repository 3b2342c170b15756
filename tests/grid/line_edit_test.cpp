// The line edit's phases checked leaf by leaf against the painting rules evaluated at every leaf's
// centre, its refinement against the outline criterion, and the whole edit on a real grid.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "grid/line_edit_detail.h"
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
    EXPECT_EQ(f.i0, clampTo(std::min(t(ax), t(bx)) - pad, 12));
    EXPECT_EQ(f.i1, clampTo(std::max(t(ax), t(bx)) + 1 + pad, 12));
    EXPECT_EQ(f.j0, clampTo(std::min(t(ay), t(by)) - pad, 8));
    EXPECT_EQ(f.j1, clampTo(std::max(t(ay), t(by)) + 1 + pad, 8));
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

Painted paintRule(float d, float c, unsigned char label, bool regional, Painted old) {
  Painted p = old;
  if (label == 0) {
    if (d < 0.0f && old.phi >= 0.0f) p.phi = d;
    else if (d >= 0.0f && d < 0.8f * c && old.phi > 0.0f) p.phi = d;
  } else if (label == 1) {
    if (d < 0.0f && old.phi <= 0.0f) p.phi = -d;
    else if (d >= 0.0f && d < 0.8f * c && old.phi < 0.0f) p.phi = -d;
  }
  if (regional && d < 0.8f * c && old.label != label) {
    p.label = label;
    p.regional = std::fabs(d);
  }
  return p;
}

TEST(LineEditPaint, EveryLeafFollowsThePaintingRules) {
  for (int regional = 0; regional < 2; ++regional)
    for (unsigned char label = 0; label < 3; ++label) {
      auto grid = makeGrid(1100, 900);
      randomGradedRefine(*grid, 100 + label, 1500, 8);
      grid->useRegional = static_cast<std::uint8_t>(regional);
      randomChannels(*grid, label + 10u * static_cast<unsigned>(regional), 12.0f, 5.0f);
      std::vector<Painted> before(grid->nodes.capacity());
      grid->walk(Walk::AllNodes, [&](unsigned n) {
        before[n] = Painted{grid->levelSet[n], grid->region[n], grid->regional[n]};
      });
      const GeometryLine shape(300.0f, 420.0f, 620.0f, 350.0f, 37.5f);
      const TileBox box{0, 0, 3, 2};  // deliberately smaller than the shape's box: nothing beyond it
      VELDRA_TRW::LineEditPaint(*grid, shape, label, box);
      int inside = 0;
      grid->walk(Walk::AllLeaves, [&](unsigned n) {
        float cx, cy, e;
        leafCentre(*grid, n, &cx, &cy, &e);
        const bool inBox = cx >= 0.0f && cy >= 0.0f && cx < 3 * 256.0f && cy < 2 * 256.0f;
        const float d = shape.Distance(cx, cy, 0.0f);
        const Painted want = inBox ? paintRule(d, e, label, regional != 0, before[n]) : before[n];
        if (inBox && d < 0.0f) ++inside;
        ASSERT_TRUE(grid->levelSet[n] == want.phi && grid->region[n] == want.label && grid->regional[n] == want.regional)
            << "label " << int(label) << " at " << cx << "," << cy;
      });
      EXPECT_GT(inside, 10);
    }
}

// ---- refinement along the outline (needs graded splitting) ----

// True when the leaf is near the outline in the sense of the line edit's refinement.
bool nearOutline(const GeometryLine& shape, float cx, float cy, float c) {
  return std::fabs(shape.Distance(cx, cy, 0.0f)) < c * 0.5f * 1.414f + 25.6f;
}

TEST(LineEditRefine, OutlineEndsAtTheFinestLevelAndTheTreeStaysGraded) {
  auto grid = makeGrid(1024, 768);
  const GeometryLine shape(400.0f, 300.0f, 430.0f, 500.0f, 12.0f);
  const TileBox box = SegmentTileBox(*grid, 400.0f, 300.0f, 430.0f, 500.0f, 12.0f);
  VELDRA_TRW::LineEditRefine(*grid, shape, 0, box);
  grid->updateRootFlags();
  int finest = 0;
  grid->walk(Walk::InteriorLeaves, [&](unsigned n) {
    float cx, cy, e;
    leafCentre(*grid, n, &cx, &cy, &e);
    if (nearOutline(shape, cx, cy, e)) {
      EXPECT_EQ(grid->level(n), grid->maxLevel) << cx << "," << cy;
      ++finest;
    }
  });
  EXPECT_GT(finest, 1000);
  EXPECT_TRUE(grid->checkGrading());
  EXPECT_TRUE(leafVisitsExact(*grid));
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
    grid->walk(Walk::AllNodes, [&](unsigned n) {
      grid->levelSet[n] = k.phi;
      grid->region[n] = k.region;
      grid->regional[n] = k.regional;
    });
    const unsigned freeBefore = grid->nodes.freeCount;
    VELDRA_TRW::LineEditRefine(*grid, shape, k.label,
                               SegmentTileBox(*grid, 400.0f, 300.0f, 400.0f, 300.0f, 20.0f));
    EXPECT_EQ(grid->nodes.freeCount, freeBefore) << "label " << int(k.label);
  }
}

// ---- the whole edit on a real grid (needs sampling, narrow band, redistancing, refinement) ----

TEST(LineEdit, PaintsADiscIntoAnEmptySelection) {
  auto grid = makeGrid(1024, 768);
  const float p[2] = {500.0f, 400.0f};
  grid->LineEdit(0, p, p, 10.5f);
  EXPECT_TRUE(grid->checkGrading());
  for (int k = 0; k < 64; ++k) {
    const float a = static_cast<float>(k) * 0.09817477f;
    // Well inside, and well outside, the disc of radius 10.5.
    EXPECT_LT(grid->SampleInterpolated(500.0f + 7.0f * std::cos(a), 400.0f + 7.0f * std::sin(a), nullptr, nullptr),
              0.0f);
    EXPECT_GT(grid->SampleInterpolated(500.0f + 14.0f * std::cos(a), 400.0f + 14.0f * std::sin(a), nullptr,
                                       nullptr),
              0.0f);
  }
  EXPECT_GT(grid->SampleInterpolated(100.0f, 100.0f, nullptr, nullptr), 0.0f);
  // Subtracting the same disc again empties the selection there.
  grid->LineEdit(1, p, p, 12.5f);
  EXPECT_GT(grid->SampleInterpolated(500.0f, 400.0f, nullptr, nullptr), 0.0f);
}

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
