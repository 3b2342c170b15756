// Redistancing by fast sweeping on the quadtree: accuracy against exact signed distances on uniform
// single-pixel patches and across level changes, the worked cases of the solver, and its invariants
// (boundary leaves keep their values, no value changes sign, unreached leaves stay at the far value).
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "grid/redistancing_detail.h"
#include "support/front_fixtures.h"

namespace {

using namespace veldra_test;
using VELDRA_TRW::SLGrid2D;
using VELDRA_TRW::TreeFlags;
using Sdf = std::function<float(float, float)>;
namespace rd = VELDRA_TRW::redistancing;

constexpr float kFar = SLGrid2D::kFarValue;

// Leaves closer than this to the image border read ghost values (copies of the border, not
// distances), so accuracy is measured inside it.
constexpr float kBorderMargin = 32.0f;

bool awayFromBorder(const LeafGeom& l, const SLGrid2D& grid) {
  return l.cx > kBorderMargin && l.cy > kBorderMargin && l.cx < static_cast<float>(grid.imageWidth) - kBorderMargin &&
         l.cy < static_cast<float>(grid.imageHeight) - kBorderMargin;
}

struct Measured {
  float maxError = 0.0f, worstRatio = 0.0f;  // largest error, largest error / allowed error
  int compared = 0;
};

// Tree refined to single pixels within refineBand of the front (coarser further out), exact distance
// on every node, border refreshed as an edit leaves it; then Redistance over the image's tiles.
// `allowed(exact, edge)` bounds the error of each leaf within `near` pixels of the front.
Measured redistanceAgainstExact(const Sdf& sdf, float refineBand, float near, const Sdf& allowed) {
  auto grid = makeGrid(512, 512);
  refineAlong(*grid, sdf, refineBand);
  fillField(*grid, grid->levelSet, sdf);
  grid->RefreshBoundary(grid->levelSet.data());
  grid->Redistance(0, 0, 2, 2);
  Measured m;
  for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, 2, 2)) {
    const float exact = sdf(l.cx, l.cy);
    if (std::fabs(exact) > near || !awayFromBorder(l, *grid)) continue;
    const float err = std::fabs(grid->levelSet[l.node] - exact);
    m.maxError = std::max(m.maxError, err);
    m.worstRatio = std::max(m.worstRatio, err / allowed(exact, l.edge));
    ++m.compared;
  }
  return m;
}

const Sdf kStraight = [](float x, float) { return x - 300.3f; };
const Sdf kTilted = [](float x, float y) { return 0.8f * (x - 280.0f) + 0.6f * (y - 250.0f); };
constexpr float kCircleRadius = 60.0f;
const Sdf kCircle = [](float x, float y) { return std::hypot(x - 256.3f, y - 250.7f) - kCircleRadius; };

// Single-pixel leaves in a strip around the vertical line x = 300, the field a constant +/-v by side.
std::unique_ptr<SLGrid2D> stepField(float v, const std::function<bool(float, float)>& inside) {
  auto grid = makeGrid(512, 512);
  refineWhere(*grid, [](float cx, float cy, float e) { return std::fabs(cx - 300) < 24 + e && std::fabs(cy - 300) < 24 + e; }, 8);
  fillField(*grid, grid->levelSet, [&](float x, float y) { return inside(x, y) ? -v : v; });
  return grid;
}

unsigned leafAt(const SLGrid2D& grid, float x, float y) { return locateByPoint(grid, x, y, 8); }

}  // namespace

// Accuracy against the exact distance within `near` pixels of the front, with single pixels within
// `band` of it. Every update (one-sided along an axis, two-sided on a uniform stencil, the plane through
// three samples across levels) reproduces a linear function, so straight fronts come back to rounding.
// Further out only a one-sided candidate from a coarser neighbour is not exact for a plane: it assumes
// the neighbour's centre one edge away where it lies 1.5 edges away, so it undershoots by at most half
// an edge. A circle is not a plane: the plane through a leaf and its two upwind samples misses the level
// curve of radius rho by about h^2 / (2 rho) per step of h, so after d / h steps the error is about
// d h / (2 rho); the bound allows twice that.
TEST(Redistance, AccuracyAgainstExactDistances) {
  const auto rounding = [](float, float) { return 1e-3f; };
  const auto halfEdge = [](float, float edge) { return 0.5f * edge; };
  const auto circle = [](float exact, float edge) { return std::fabs(exact) * edge / (kCircleRadius + exact) + 1e-3f; };
  struct Case {
    const char* name;
    Sdf sdf;
    float band, near;
    Sdf allowed;
  };
  const Case cases[] = {{"straight", kStraight, 12, 10, rounding}, {"straight", kStraight, 2, 10, rounding},
                        {"tilted", kTilted, 12, 10, rounding},     {"tilted", kTilted, 2, 10, rounding},
                        {"straight", kStraight, 2, 60, halfEdge},  {"tilted", kTilted, 2, 60, halfEdge},
                        {"circle", kCircle, 12, 10, circle},       {"circle", kCircle, 2, 10, circle}};
  for (const Case& c : cases) {
    const Measured m = redistanceAgainstExact(c.sdf, c.band, c.near, c.allowed);
    EXPECT_GT(m.compared, 1000) << c.name;
    EXPECT_LE(m.worstRatio, 1.0f) << c.name << " band " << c.band << " near " << c.near << ": largest error " << m.maxError;
  }
}

// Front leaves keep their values (here the +/-3 an initialisation writes); on the positive side the
// next leaves end one, two and three pixels further: 4, 5, 6 (and -4, -5, -6 inside).
TEST(Redistance, VerticalFrontWorkedValues) {
  auto grid = stepField(3.0f, [](float x, float) { return x < 300.0f; });
  grid->Redistance(0, 0, 2, 2);
  for (float y = 290.5f; y < 310.0f; y += 1.0f) {
    for (float k : {0.0f, 1.0f, 2.0f, 3.0f}) {
      EXPECT_EQ(grid->levelSet[leafAt(*grid, 300.5f + k, y)], 3.0f + k);
      EXPECT_EQ(grid->levelSet[leafAt(*grid, 299.5f - k, y)], -3.0f - k);
      EXPECT_EQ(grid->flags(leafAt(*grid, 300.5f + k, y)).has(TreeFlags::FRONT_MARK), k == 0.0f);
    }
  }
}

// At the inner corner of an L-shaped front both upwind neighbours hold 3: u = 3 + h / sqrt(2).
TEST(Redistance, EqualUpwindValuesGiveTheDiagonalUpdate) {
  EXPECT_FLOAT_EQ(rd::uniformCandidate(3.0f, 3.0f, 1.0f, 1.0f), 3.0f + 1.0f / std::sqrt(2.0f));
  EXPECT_FLOAT_EQ(rd::uniformCandidate(-2.0f, -2.0f, 4.0f, -1.0f), -2.0f - 4.0f / std::sqrt(2.0f));
  EXPECT_TRUE(std::isnan(rd::uniformCandidate(0.0f, 1.5f, 1.0f, 1.0f)));  // |a - b| > h: no candidate

  auto grid = stepField(3.0f, [](float x, float y) { return x < 300.0f || y < 300.0f; });
  grid->Redistance(0, 0, 2, 2);
  const float corner = grid->levelSet[leafAt(*grid, 301.5f, 301.5f)];
  EXPECT_EQ(corner, rd::uniformCandidate(3.0f, 3.0f, 1.0f, 1.0f));
  // Next along the row: a = corner value, b = 3 from the front below.
  EXPECT_EQ(grid->levelSet[leafAt(*grid, 302.5f, 301.5f)], rd::uniformCandidate(corner, 3.0f, 1.0f, 1.0f));
}

// A value of exactly 0 marks the edges on all four sides and stays 0; its neighbours keep theirs.
TEST(Redistance, ZeroValueMarksAllItsEdges) {
  auto grid = stepField(5.0f, [](float, float) { return false; });
  const unsigned zero = leafAt(*grid, 300.5f, 300.5f);
  grid->levelSet[zero] = 0.0f;
  grid->Redistance(0, 0, 2, 2);
  EXPECT_EQ(grid->levelSet[zero], 0.0f);
  int marked = 0;
  for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, 2, 2)) {
    const float d = std::fabs(l.cx - 300.5f) + std::fabs(l.cy - 300.5f);
    const bool front = grid->flags(l.node).has(TreeFlags::FRONT_MARK);
    EXPECT_EQ(front, d <= 1.0f) << l.cx << ", " << l.cy;
    marked += front;
    EXPECT_TRUE(front ? grid->levelSet[l.node] == (d == 0.0f ? 0.0f : 5.0f) : grid->levelSet[l.node] > 5.0f);
  }
  EXPECT_EQ(marked, 5);
}

// Without a sign change in reach every leaf ends at the far value with its sign (its neighbours outside
// the range hold the far value too, as after an earlier redistancing); leaves outside are not touched.
TEST(Redistance, NoSignChangeEndsAtTheFarValue) {
  for (float sign : {1.0f, -1.0f}) {
    auto grid = makeGrid(1280, 512);
    randomGradedRefine(*grid, 7, 300, 8);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> value(0.0f, 50.0f);
    grid->walk(VELDRA_TRW::Walk::AllNodes, [&](unsigned n) { grid->levelSet[n] = sign * value(rng); });
    for (const LeafGeom& l : allLeafGeoms(*grid))
      if (l.cx < 0 || l.cy < 0 || l.cx > 512 || l.cy > 512) grid->levelSet[l.node] = sign * kFar;
    // The far right column of tiles holds the other sign, two tiles away from the range.
    for (const LeafGeom& l : leavesInTiles(*grid, 4, 0, 5, 2)) grid->levelSet[l.node] = -sign;
    // Ghost tiles are rewritten by the closing boundary refresh; the image's other tiles are kept.
    const auto outside = leavesInTiles(*grid, 2, 0, 5, 2);
    const auto before = snapshot(grid->levelSet, outside);
    grid->Redistance(0, 0, 2, 2);
    for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, 2, 2)) ASSERT_EQ(grid->levelSet[l.node], sign * kFar);
    for (std::size_t k = 0; k < outside.size(); ++k) ASSERT_EQ(grid->levelSet[outside[k].node], before[k]);
  }
}

// Random graded trees with noisy fields, with and without the regional channels: marks are exactly the
// leaves on either side of a sign change (or label change) across an edge whose +x/+y leaf is in the
// range, marked leaves keep their values, and no value changes sign.
TEST(Redistance, MarksBoundaryKeepsAndSignInvariants) {
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    auto grid = makeGrid(768, 768);
    randomGradedRefine(*grid, seed, 400, 8);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-4.0f, 4.0f);
    std::uniform_int_distribution<int> labels(0, 2);
    fillField(*grid, grid->levelSet, [&](float x, float y) { return std::hypot(x - 384, y - 384) / 8.0f - 20.0f + noise(rng); });
    fillField(*grid, grid->regional, [&](float, float) { return std::fabs(noise(rng)); });
    grid->walk(VELDRA_TRW::Walk::AllNodes, [&](unsigned n) { grid->region[n] = static_cast<unsigned char>(labels(rng)); });
    grid->useRegional = (seed % 2 == 0) ? 1 : 0;
    const int i0 = 1, j0 = 0, i1 = 3, j1 = 2;
    const auto leaves = allLeafGeoms(*grid);
    std::set<unsigned> inRange, front, label;
    for (const LeafGeom& l : leavesInTiles(*grid, i0, j0, i1, j1)) inRange.insert(l.node);
    // Reference marks: for each leaf in the range, its edge-adjacent leaves on the -x and -y sides,
    // found by point location along the edge.
    for (const LeafGeom& l : leaves) {
      if (!inRange.count(l.node)) continue;
      for (int side = 0; side < 2; ++side) {
        for (float t = -0.5f + 0.25f; t < 0.5f; t += 0.5f) {
          const float px = side == 0 ? l.cx - l.edge * 0.5f - 0.25f : l.cx + t * l.edge;
          const float py = side == 0 ? l.cy + t * l.edge : l.cy - l.edge * 0.5f - 0.25f;
          const unsigned o = locateByPoint(*grid, px, py, 8);
          if (o == NO_NODE) continue;
          if (grid->levelSet[l.node] * grid->levelSet[o] <= 0.0f) front.insert({l.node, o});
          if (grid->useRegional && grid->region[l.node] != grid->region[o]) label.insert({l.node, o});
        }
      }
    }
    const auto phiBefore = snapshot(grid->levelSet, leaves);
    const auto rhoBefore = snapshot(grid->regional, leaves);
    grid->Redistance(i0, j0, i1, j1);
    int fronts = 0;
    for (std::size_t k = 0; k < leaves.size(); ++k) {
      const LeafGeom& l = leaves[k];
      if (!inRange.count(l.node)) continue;
      const TreeFlags f = grid->flags(l.node);
      ASSERT_EQ(f.has(TreeFlags::FRONT_MARK), front.count(l.node) > 0) << "seed " << seed;
      ASSERT_EQ(f.has(TreeFlags::REGION_MARK), label.count(l.node) > 0) << "seed " << seed;
      const float after = grid->levelSet[l.node];
      ASSERT_EQ(after >= 0.0f, phiBefore[k] >= 0.0f) << "seed " << seed;
      // A swept value is a distance built on the boundary values: never further out than the far value.
      ASSERT_TRUE(f.has(TreeFlags::FRONT_MARK) ? after == phiBefore[k] : std::fabs(after) <= kFar);
      fronts += f.has(TreeFlags::FRONT_MARK);
      // A front leaf keeps its regional value only when it also borders a label change.
      if (grid->useRegional && f.has(TreeFlags::FRONT_MARK)) {
        ASSERT_EQ(grid->regional[l.node], f.has(TreeFlags::REGION_MARK) ? rhoBefore[k] : kFar);
      } else if (grid->useRegional && !f.has(TreeFlags::REGION_MARK)) {
        ASSERT_GE(grid->regional[l.node], 0.0f);
      }
      ASSERT_EQ(grid->temp[l.node], l.cx);
      ASSERT_EQ(grid->temp2[l.node], l.cy);
    }
    EXPECT_GT(fronts, 10) << "seed " << seed;
  }
}

// Regional distance to a straight label border on single pixels: exact, and on the border the marked
// leaves keep their values.
TEST(Redistance, RegionalDistanceToAStraightBorder) {
  auto grid = makeGrid(512, 512);
  refineAlong(*grid, kStraight, 12.0f);
  fillField(*grid, grid->levelSet, [](float, float) { return 50.0f; });
  fillField(*grid, grid->regional, [](float x, float) { return std::fabs(x - 300.0f); });
  fillField(*grid, grid->region, [](float x, float) { return x < 300.0f ? 0 : 1; });
  grid->useRegional = 1;
  grid->RefreshBoundary(grid->regional.data());
  grid->RefreshBoundary(grid->region.data());
  grid->Redistance(0, 0, 2, 2);
  float worst = 0.0f;
  for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, 2, 2)) {
    if (!awayFromBorder(l, *grid) || std::fabs(l.cx - 300.0f) > 10.0f) continue;
    worst = std::max(worst, std::fabs(grid->regional[l.node] - std::fabs(l.cx - 300.0f)));
    EXPECT_EQ(grid->flags(l.node).has(TreeFlags::REGION_MARK), std::fabs(l.cx - 300.0f) == 0.5f);
  }
  EXPECT_LE(worst, 1e-4f);
}

// A subdivided upwind neighbour whose facing children carry different labels contributes half the
// difference of their values, signed by the label of the child with the smaller value; one leaf update
// of the first sweep then takes -0.5 + 0.75 h. (Inside a whole Redistance the unclamped two-sided
// candidates drive the label-border leaves further, so the pair is checked on a single update.)
TEST(Redistance, MixedLabelPairContributesHalfTheDifference) {
  auto grid = makeGrid(512, 512);
  // Leaf n of edge 2 at (301, 301); its -x neighbour w split into single pixels.
  refineWhere(*grid, [](float cx, float cy, float e) { return std::fabs(cx - 300) < 16 + e && std::fabs(cy - 300) < 16 + e; }, 7);
  const unsigned w = leafAt(*grid, 299.0f, 301.0f);
  ASSERT_EQ(grid->level(w), 7u);
  splitLeaf(*grid, w);
  gradeTree(*grid);
  const unsigned n = locateByPoint(*grid, 301.0f, 301.0f, 7);
  ASSERT_FALSE(grid->hasChildren(n));
  ASSERT_EQ(grid->neighbour(n, VELDRA_TRW::DIR_MINUS_X), w);
  fillField(*grid, grid->region, [](float, float) { return 1; });
  fillField(*grid, grid->regional, [](float, float) { return kFar; });
  fillField(*grid, grid->levelSet, [](float, float) { return 50.0f; });
  fillField(*grid, grid->temp, [](float x, float) { return x; });
  fillField(*grid, grid->temp2, [](float, float y) { return y; });
  const unsigned c1 = grid->child0(w) + 1, c3 = grid->child0(w) + 3;
  grid->region[c1] = 0;
  grid->regional[c1] = 0.5f;
  grid->regional[c3] = 1.5f;
  grid->regional[n] = 5.0f;
  rd::loadSweep(*grid, rd::kSweeps[0]);
  const rd::Sample pair = rd::takeSample(*grid, grid->sweep, n, 0, true);
  EXPECT_TRUE(pair.subdivided);
  EXPECT_TRUE(pair.regionalUsable);
  EXPECT_EQ(pair.signedRegional, -0.5f);
  EXPECT_EQ(pair.x, 299.5f);
  EXPECT_EQ(pair.y, 301.0f);
  const rd::Sample below = rd::takeSample(*grid, grid->sweep, n, 1, true);
  EXPECT_FALSE(below.regionalUsable);
  rd::updateRegional(grid->sweep, n, 2.0f, pair, below);
  EXPECT_EQ(grid->regional[n], 1.0f);
  // Same labels: the mean; the label then matches n and the sample counts positive.
  grid->region[c1] = 1;
  EXPECT_EQ(rd::takeSample(*grid, grid->sweep, n, 0, true).signedRegional, 1.0f);
  // Labels differ and the other child holds the smaller value: its label (1, as n's) signs it positive.
  grid->region[c1] = 0;
  grid->regional[c3] = 0.25f;
  EXPECT_EQ(rd::takeSample(*grid, grid->sweep, n, 0, true).signedRegional, 0.125f);
}

// The general two-sided candidate against planes of unit slope through random sample positions.
// The leaves of a box in the order a sweep plan walks them: tiles by the plan's outer and inner
// directions, children in its order.
std::vector<unsigned> planOrder(const SLGrid2D& grid, const rd::SweepPlan& plan, int i0, int j0, int i1, int j1) {
  std::vector<unsigned> order;
  rd::forEachTileOfPlan(plan, i0, j0, i1, j1, [&](int i, int j) {
    grid.forEachLeafInTileWithNeighbours(i, j, plan.childOrder,
                                         [&](unsigned n, float, float, float, const unsigned*) { order.push_back(n); });
  });
  return order;
}

// Redistancing replays the first and third sweeps' leaf lists backwards for the second and fourth:
// their plans must visit exactly the reversed orders, and each must reach every leaf of the box.
TEST(Redistance, SecondAndFourthSweepsVisitTheFirstAndThirdReversed) {
  auto grid = makeGrid(1000, 700);
  randomGradedRefine(*grid, 9, 300, grid->maxLevel);
  const int i0 = -1, j0 = 0, i1 = 4, j1 = 3;
  std::vector<unsigned> orders[4];
  for (int p = 0; p < 4; ++p) orders[p] = planOrder(*grid, rd::kSweeps[p], i0, j0, i1, j1);
  EXPECT_GT(orders[0].size(), 1000u);
  EXPECT_EQ(std::set<unsigned>(orders[0].begin(), orders[0].end()), std::set<unsigned>(orders[2].begin(), orders[2].end()));
  EXPECT_EQ(orders[1], std::vector<unsigned>(orders[0].rbegin(), orders[0].rend()));
  EXPECT_EQ(orders[3], std::vector<unsigned>(orders[2].rbegin(), orders[2].rend()));
}

// Plain sequential redistancing, written from the method's definition: one walk in row-major tile
// order prepares each leaf (centre, marks cleared) and marks both sides of every sign or label change
// across its -x and -y edges; then the four sweeps, each walking the tree in its plan's order and
// looking the upwind neighbours up.
void referenceRedistance(SLGrid2D& grid, int i0, int j0, int i1, int j1) {
  const bool regional = grid.useRegional != 0;
  const auto mark = [&](unsigned a, unsigned b) {
    if (grid.levelSet[a] * grid.levelSet[b] <= 0.0f) {
      grid.flags(a).set(TreeFlags::FRONT_MARK);
      grid.flags(b).set(TreeFlags::FRONT_MARK);
    }
    if (regional && grid.region[a] != grid.region[b]) {
      grid.flags(a).set(TreeFlags::REGION_MARK);
      grid.flags(b).set(TreeFlags::REGION_MARK);
    }
  };
  for (int j = j0; j < j1; ++j)
    for (int i = i0; i < i1; ++i)
      grid.forEachLeafInTileWithNeighbours(i, j, [&](unsigned n, float cx, float cy, float, const unsigned around[4]) {
        grid.temp[n] = cx;
        grid.temp2[n] = cy;
        grid.flags(n).clear(TreeFlags::FRONT_MARK);
        grid.flags(n).clear(TreeFlags::REGION_MARK);
        const unsigned back[2] = {around[VELDRA_TRW::DIR_MINUS_X], around[VELDRA_TRW::DIR_MINUS_Y]};
        const unsigned facing[2][2] = {{1, 3}, {2, 3}};
        for (int side = 0; side < 2; ++side) {
          if (back[side] == VELDRA_TRW::NO_NODE) continue;
          if (!grid.hasChildren(back[side])) {
            mark(n, back[side]);
          } else {
            mark(n, grid.child0(back[side]) + facing[side][0]);
            mark(n, grid.child0(back[side]) + facing[side][1]);
          }
        }
      });
  for (int p = 0; p < 4; ++p) {
    rd::loadSweep(grid, rd::kSweeps[p]);
    for (unsigned n : planOrder(grid, rd::kSweeps[p], i0, j0, i1, j1)) {
      const TreeFlags f = grid.flags(n);
      if (p == 0 && !f.has(TreeFlags::FRONT_MARK)) grid.levelSet[n] = grid.levelSet[n] >= 0.0f ? kFar : -kFar;
      if (p == 0 && regional && !f.has(TreeFlags::REGION_MARK)) grid.regional[n] = kFar;
      if (f.has(TreeFlags::FRONT_MARK)) continue;
      const float h = grid.tileSizeF / static_cast<float>(1u << grid.level(n));
      const rd::Sample s1 = rd::takeSample(grid, grid.sweep, n, 0, regional);
      const rd::Sample s2 = rd::takeSample(grid, grid.sweep, n, 1, regional);
      rd::updateLevelSet(grid.sweep, n, h, s1, s2);
      if (regional) rd::updateRegional(grid.sweep, n, h, s1, s2);
    }
  }
  grid.RefreshBoundary(grid.levelSet.data());
  grid.RefreshBoundary(grid.regional.data());
  grid.RefreshBoundary(grid.region.data());
}

// Brush-sized boxes list their leaves on several threads and replay the lists; whole-image boxes of
// large images walk. Both must be the plain sequential method, value for value and mark for mark.
TEST(Redistance, ListedAndWalkingSweepsAreThePlainMethod) {
  struct Case {
    std::uint32_t width, height;
    int i0, j0, i1, j1;
  };
  // 4 x 3 tiles of a small image (listed), and every tile of a 16 x 14-tile block (walked).
  const Case cases[] = {{1000, 700, -1, 0, 3, 3}, {3000, 2600, -2, -2, 14, 12}};
  for (const Case& c : cases)
    for (std::uint32_t seed = 1; seed <= 2; ++seed) {
      std::unique_ptr<SLGrid2D> grids[2];
      for (auto& grid : grids) {
        grid = makeGrid(c.width, c.height);
        randomGradedRefine(*grid, seed, 600, grid->maxLevel);
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> noise(-3.0f, 3.0f);
        std::uniform_int_distribution<int> labels(0, 2);
        fillField(*grid, grid->levelSet,
                  [&](float x, float y) { return std::hypot(x - 500, y - 350) / 4.0f - 40.0f + noise(rng); });
        fillField(*grid, grid->regional, [&](float, float) { return std::fabs(noise(rng)); });
        grid->walk(VELDRA_TRW::Walk::AllNodes,
                   [&](unsigned n) { grid->region[n] = static_cast<unsigned char>(labels(rng)); });
        grid->useRegional = seed == 2 ? 1 : 0;
      }
      grids[0]->Redistance(c.i0, c.j0, c.i1, c.j1);
      referenceRedistance(*grids[1], c.i0, c.j0, c.i1, c.j1);
      int compared = 0;
      grids[0]->walk(VELDRA_TRW::Walk::AllNodes, [&](unsigned n) {
        ASSERT_EQ(grids[0]->levelSet[n], grids[1]->levelSet[n]) << "node " << n << ", seed " << seed;
        ASSERT_EQ(grids[0]->regional[n], grids[1]->regional[n]) << "node " << n << ", seed " << seed;
        ASSERT_EQ(grids[0]->flags(n).has(TreeFlags::FRONT_MARK), grids[1]->flags(n).has(TreeFlags::FRONT_MARK));
        ASSERT_EQ(grids[0]->flags(n).has(TreeFlags::REGION_MARK), grids[1]->flags(n).has(TreeFlags::REGION_MARK));
        ++compared;
      });
      EXPECT_GT(compared, 2000);
    }
}

TEST(RedistanceCandidates, GeneralCandidateReproducesUnitSlopePlanes) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> pos(-3.0f, 3.0f), angle(0.0f, 6.2831853f), offset(-20.0f, 20.0f);
  int formed = 0, rejected = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    const float d1x = pos(rng), d1y = pos(rng), d2x = pos(rng), d2y = pos(rng);
    const float th = angle(rng), gx = std::cos(th), gy = std::sin(th), c = offset(rng);
    const float a = gx * d1x + gy * d1y + c, b = gx * d2x + gy * d2y + c;
    // The node lies downstream of both samples (its value is larger): the larger root, sigma = +1.
    const bool downstream = c > a && c > b;
    const float u = rd::generalCandidate(a, b, d1x, d1y, d2x, d2y, 1.0f);
    // Independent wedge test in double precision.
    const bool firstFar = std::fabs(a) >= std::fabs(b);
    const double fx = firstFar ? d1x : d2x, fy = firstFar ? d1y : d2y, nx = firstFar ? d2x : d1x, ny = firstFar ? d2y : d1y;
    const double cross = fx * ny - fy * nx;
    const double across = cross * cross / (nx * nx + ny * ny);
    const double diff = static_cast<double>(a) - b;
    if (std::fabs(across - diff * diff) < 1e-3 * (1 + across)) continue;  // too close to call in float
    if (across <= diff * diff) {
      ASSERT_TRUE(std::isnan(u)) << "trial " << trial;
      ++rejected;
      continue;
    }
    const double det = static_cast<double>(d1x) * d2y - static_cast<double>(d1y) * d2x;
    if (!downstream || std::fabs(det) < 0.5) continue;
    ASSERT_FALSE(std::isnan(u));
    EXPECT_NEAR(u, c, 2e-3 * (1.0 + std::fabs(c))) << "trial " << trial;
    ++formed;
  }
  EXPECT_GT(formed, 1000);
  EXPECT_GT(rejected, 1000);
  // Parallel displacements: no candidate.
  EXPECT_TRUE(std::isnan(rd::generalCandidate(1.0f, 2.0f, 1.0f, 0.0f, 2.0f, 0.0f, 1.0f)));
}
