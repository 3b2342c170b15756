// One step of the front and the narrow band's reinitialisation, against their formulas. Fronts sit on
// single-pixel patches or graded trees where the interpolant is exact for linear fields, so expected
// values follow from the formulas in double precision: the speed (inflation, edge-snap term, its
// clamp), advection by reading the field upstream, the Laplacian term, the ring and rectangle limits;
// and the reinitialisation step of linear fields with its sign-keeping merge.
#include <gtest/gtest.h>

#include <functional>

#include "support/tree.h"

namespace {

using namespace veldra_test;

// Edge vectors for a host rectangle, each component with its own row stride.
struct SnapField {
  int x, y, w, h, strideX, strideY;
  std::vector<float> sx, sy;
  SnapField(int bx, int by, int bw, int bh, std::uint32_t seed, float scale)
      : x(bx), y(by), w(bw), h(bh), strideX(bw + 3), strideY(bw + 7), sx(static_cast<std::size_t>(strideX) * bh), sy(static_cast<std::size_t>(strideY) * bh) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> v(-scale, scale);
    for (float& f : sx) f = v(rng);
    for (float& f : sy) f = v(rng);
  }
  bool holds(const LeafGeom& l) const { return l.cx >= x && l.cy >= y && l.cx < x + w && l.cy < y + h; }
  float at(const std::vector<float>& s, int stride, const LeafGeom& l) const {
    return s[static_cast<std::size_t>((static_cast<int>(l.cy) - y) * stride + static_cast<int>(l.cx) - x)];
  }
};

struct Brush {
  float x, y, r, R;
  double distance(const LeafGeom& l) const { return std::sqrt(double(l.cx - x) * (l.cx - x) + double(l.cy - y) * (l.cy - y)); }
  bool rings(const LeafGeom& l) const { return float(distance(l)) >= r && float(distance(l)) <= R; }
  double wIn(const LeafGeom& l) const { return 1.0 - std::pow((distance(l) - r) / (R - r), 2.0); }
  double wOut(const LeafGeom& l) const { return 1.0 - std::pow((R - distance(l)) / (R - r), 2.0); }
};

// In the ring a leaf's value becomes phi + 0.95 F for a field of unit slope, F = w_in inflation +
// w_out E 2^numLevels (s . u), u = -grad phi, limited to +/-0.9, E = 20 (edge snap / 100)^(log 0.2 /
// log 0.5); with inflation and edge snap 0 only the Laplacian term K w_in (sum of neighbours - 4
// own) acts (K = smoothing / 1000). Leaves off the ring or off the host rectangle keep their bits.
TEST(EvolveFront, ValuesFollowTheSpeedFormula) {
  struct Case {
    std::uint32_t size;
    Brush b;
    float inflation, edgeSnap, smoothing;
    std::function<float(float, float)> field;
    bool halfBox;
  };
  const auto tilted = [](float x, float y) { return 0.8f * (x - 310.0f) + 0.6f * (y - 262.0f); };
  const auto bowl = [](float x, float y) { return ((x - 240) * (x - 240) + (y - 255) * (y - 255)) / 4 - 30; };
  const Case cases[] = {{512, {300.5f, 260.5f, 5.0f, 40.0f}, 1.0f, 0.0f, 0.0f, tilted, true},
                        {512, {300.5f, 260.5f, 5.0f, 40.0f}, 1.0f, 50.0f, 0.0f, tilted, false},
                        {2100, {300.5f, 260.5f, 5.0f, 40.0f}, 1.0f, 50.0f, 0.0f, tilted, false},
                        {512, {250.5f, 250.5f, 4.0f, 30.0f}, 0.0f, 0.0f, 100.0f, bowl, false},
                        {512, {250.5f, 250.5f, 4.0f, 30.0f}, 0.0f, 0.0f, -60.0f, bowl, false}};
  for (const Case& c : cases) {
    auto grid = makeGrid(c.size, c.size);
    refineWhere(*grid, [&](float cx, float cy, float e) { return std::hypot(cx - c.b.x, cy - c.b.y) < c.b.R + 4 + e; }, 8);
    fillField(*grid, grid->levelSet, c.field);
    grid->RefreshBoundary(grid->levelSet.data());
    const SnapField snap(static_cast<int>(c.b.x - c.b.R) - 6, static_cast<int>(c.b.y - c.b.R) - 5, 91, c.halfBox ? 45 : 93, 7, 0.4f);
    const std::vector<LeafGeom> leaves = leavesInTiles(*grid, 0, 0, 3, 3);
    const std::vector<float> before = valuesAt(grid->levelSet, leaves);
    grid->EvolveFront(true, 0, c.b.x, c.b.y, c.b.r, c.b.R, c.inflation, c.edgeSnap, c.smoothing, snap.x, snap.y, snap.w, snap.h,
                      snap.sx.data(), snap.strideX, snap.sy.data(), snap.strideY);
    const double gain = 20.0 * std::pow(c.edgeSnap / 100.0, std::log(0.2) / std::log(0.5)) * std::pow(2.0, grid->numLevels);
    int evolved = 0, clamped = 0;
    for (std::size_t k = 0; k < leaves.size(); ++k) {
      const LeafGeom& l = leaves[k];
      const float after = grid->levelSet[l.node];
      if (!c.b.rings(l) || !snap.holds(l)) {
        ASSERT_TRUE(sameBits(after, before[k])) << l.cx << "," << l.cy;
        continue;
      }
      ++evolved;
      double expected = before[k];
      if (c.smoothing != 0.0f) {
        double laplacian = -4.0 * before[k];
        for (int d = 0; d < 4; ++d) laplacian += c.field(l.cx + kStepX[d], l.cy + kStepY[d]);
        expected += c.smoothing / 1000.0 * c.b.wIn(l) * laplacian;
      } else {
        const double speed = c.b.wIn(l) * c.inflation - c.b.wOut(l) * gain * (0.8 * snap.at(snap.sx, snap.strideX, l) + 0.6 * snap.at(snap.sy, snap.strideY, l));
        clamped += std::fabs(speed) > 0.9;
        expected += 0.95 * std::clamp(speed, -0.9, 0.9);
      }
      ASSERT_NEAR(after, expected, c.smoothing != 0.0f ? 2e-5 * (1.0 + std::fabs(before[k])) : 2e-4) << "case " << (&c - cases) << " at " << l.cx << ", " << l.cy;
    }
    EXPECT_GT(evolved, 1000);
    EXPECT_TRUE(c.edgeSnap == 0.0f || clamped > 100);
  }
}

// The reinitialisation step of a linear field of slope m: the foot lies L = min(2 e m, 1.2) edges
// upstream, so "temp" = phi + sgn e L (1 - m) (a distance field stays put); the merge keeps it where it
// has phi's sign and takes 0.9 phi elsewhere (zero stays zero). The regional distance merges alike;
// across a straight label border the two border leaves sample across it and get 0.9 * 0.5.
TEST(UpdateNarrowBand, LinearFieldsMoveByTheStepAndNoValueChangesSign) {
  int shrunk = 0;
  for (float slope : {1.0f, 0.5f, 2.0f})
    for (std::uint32_t seed = 1; seed <= 2; ++seed) {
      auto grid = makeGrid(1000, 700);
      randomGradedRefine(*grid, seed, 400, 8);
      const float angle = 0.7f * static_cast<float>(seed), a = slope * std::cos(angle), b = slope * std::sin(angle);
      randomChannels(*grid, seed, 0.0f, 9.0f);  // regional distances and labels at random
      fillField(*grid, grid->levelSet, [&](float x, float y) { return a * (x - 500.0f) + b * (y - 350.0f); });
      grid->useRegional = seed % 2;
      const std::vector<LeafGeom> leaves = leavesInTiles(*grid, 0, 0, 4, 3);
      const std::vector<float> before = valuesAt(grid->levelSet, leaves), rho = valuesAt(grid->regional, leaves);
      grid->UpdateNarrowBand(0, 0, 4, 3);
      for (std::size_t k = 0; k < leaves.size(); ++k) {
        const LeafGeom& l = leaves[k];
        if (l.cx >= 1000.0f || l.cy >= 700.0f) continue;
        const float phi = before[k], temp = grid->temp[l.node];
        const float expectedTemp = phi + (phi >= 0.0f ? 1.0f : -1.0f) * l.edge * std::min(2.0f * l.edge * slope, 1.2f) * (1.0f - slope);
        ASSERT_NEAR(temp, expectedTemp, 2e-3f + 2e-6f * std::fabs(phi)) << l.cx << "," << l.cy << " edge " << l.edge;
        ASSERT_EQ(grid->levelSet[l.node], phi * temp > 0.0f ? temp : 0.9f * phi);
        const float temp2 = grid->temp2[l.node];
        ASSERT_EQ(grid->regional[l.node], !grid->useRegional ? rho[k] : temp2 > 0.0f ? temp2 : 0.9f * rho[k]);
        shrunk += phi * temp <= 0.0f;
      }
    }
  EXPECT_GT(shrunk, 20);
  auto grid = makeGrid(512, 512);
  refineWhere(*grid, [](float cx, float, float e) { return std::fabs(cx - 300) < 12 + e; }, 8);
  fillField(*grid, grid->levelSet, [](float x, float) { return x - 300.0f; });
  fillField(*grid, grid->regional, [](float x, float) { return std::fabs(x - 300.0f); });
  fillField(*grid, grid->region, [](float x, float) { return x < 300.0f ? 0 : 1; });
  grid->useRegional = 1;
  grid->UpdateNarrowBand(5, 5, -5, -5);  // an empty box: nothing moves
  grid->UpdateNarrowBand(-50, -50, 50, 50);
  for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, 2, 2)) {
    const float d = std::fabs(l.cx - 300.0f);
    if (d > 8.0f || l.cy < 16.0f || l.cy > 496.0f) continue;
    ASSERT_NEAR(grid->regional[l.node], d == 0.5f ? 0.9f * 0.5f : d, 1e-4f) << l.cx;
    ASSERT_NEAR(grid->levelSet[l.node], l.cx - 300.0f, 1e-4f);
  }
}

// Before a redistancing of the same box the narrow band passes over leaves whose values the
// redistancing discards: every bit must be what the two calls leave. Fronts of tiny values, a flat
// field of denormals and values of 2^-25 (whose products underflow before the step or after), exact
// zeros, a front running over the image border, image
// sizes on and off the tile grid, with and without the regional level set.
TEST(UpdateNarrowBand, BeforeRedistancingIsTheTwoCallsInTurn) {
  struct Case { std::uint32_t width, height; int i0, j0, i1, j1; };
  // Widths and heights where leaves of several levels border a coarser leaf centred beyond the image.
  for (const Case& c : {Case{1000, 700, -1, -1, 5, 4}, Case{1024, 768, 1, 0, 4, 3}, Case{856, 811, 0, 0, 4, 4}})
    for (std::uint32_t seed = 1; seed <= 3; ++seed) {
      std::unique_ptr<SLGrid2D> grids[2];
      for (auto& grid : grids) {
        grid = makeGrid(c.width, c.height);
        randomGradedRefine(*grid, seed, 800, grid->maxLevel);
        randomChannels(*grid, seed, 0.0f, 9.0f);
        std::mt19937 rng(seed);
        fillField(*grid, grid->levelSet, [&](float x, float y) {
          const float d = std::round(std::hypot(x - 600.0f, y - 350.0f) - 450.0f) * 0.5f;
          if (x < 300.0f && c.width == 1000) return std::copysign(rng() % 2 ? 0x1p-149f : 0x1p-25f, d);  // flat, nearly zero
          return rng() % 6 != 0 ? d : std::ldexp(rng() % 2 ? 1.0f : -1.0f, -20 - static_cast<int>(rng() % 130));
        });
        grid->walk(Walk::AllLeaves, [&](unsigned n) { grid->flags(n).assign(TreeFlags::FRONT_MARK, rng() % 3 == 0); });  // stale marks
        grid->useRegional = seed == 3;
      }
      grids[0]->UpdateNarrowBandAndRedistance(c.i0, c.j0, c.i1, c.j1);
      grids[1]->UpdateNarrowBand(c.i0, c.j0, c.i1, c.j1);
      grids[1]->Redistance(c.i0, c.j0, c.i1, c.j1);
      ASSERT_TRUE(treeBits(*grids[0]) == treeBits(*grids[1])) << c.width << " seed " << seed;
    }
}

}  // namespace
