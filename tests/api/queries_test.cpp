// The read-only queries. The mask renderer is compared byte for byte, guard bytes included, with a
// slow per-pixel reference that finds each pixel's leaf by its own descent; the matting mode query is
// checked on the edge cases of its thresholds.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <tuple>

#include "api/queries.h"
#include "support/harness.h"
#include "support/tree.h"

using namespace VELDRA_TRW;
using namespace VELDRA_CORE;
using namespace veldra_test;

namespace {

constexpr unsigned char kGuard = 0xA5;

// The leaf whose pixel block holds pixel (px, py): blocks are half open, [centre - e/2, centre + e/2).
unsigned PixelLeaf(const SLGrid2D& grid, int px, int py) {
  unsigned n = grid.rootIndex(px / 256, py / 256);
  float cx = (static_cast<float>(px / 256) + 0.5f) * 256.0f, cy = (static_cast<float>(py / 256) + 0.5f) * 256.0f;
  float e = 256.0f;
  while (grid.hasChildren(n)) {
    const bool right = static_cast<float>(px) >= cx, down = static_cast<float>(py) >= cy;
    n = grid.child0(n) + (right ? 1u : 0u) + (down ? 2u : 0u);
    cx += right ? e / 4 : -e / 4;
    cy += down ? e / 4 : -e / 4;
    e /= 2;
  }
  return n;
}

unsigned char LabelByte(unsigned char label) { return label == 0 ? 255 : (label == 2 ? 128 : 0); }

// Every pixel on its own: no tree walk, no block fill.
void ReferenceRender(const SLGrid2D& grid, int x, int y, int w, int h, unsigned char* mask, int stride,
                     float centerX, float centerY, int band, float radius) {
  const float threshold = std::ldexp(1.0f, static_cast<int>(grid.numLevelsPlus1));
  const int k = static_cast<int>(grid.useRegional ? grid.numLevelsPlus1 : grid.numLevels);
  const int fineLevel = std::max(8 - k - 1, 0);
  for (int py = y; py < y + h; ++py)
    for (int px = x; px < x + w; ++px) {
      const float dx = centerX - static_cast<float>(px), dy = centerY - static_cast<float>(py);
      if (dx * dx + dy * dy > radius * radius) continue;
      const unsigned leaf = PixelLeaf(grid, px, py);
      const int level = static_cast<int>(grid.level(leaf));
      unsigned char& out = mask[(py - y) * stride + (px - x)];
      if (level < fineLevel || (level < 6 && grid.regional[leaf] > threshold)) {
        out = grid.useRegional ? LabelByte(grid.region[leaf]) : (grid.levelSet[leaf] < 0.0f ? 255 : 0);
        continue;
      }
      float margin = 0.0f;
      unsigned char label = 1;
      const float v = grid.SampleInterpolated(static_cast<float>(px), static_cast<float>(py), &margin, &label);
      if (grid.useRegional)
        out = LabelByte(label);
      else
        out = v <= static_cast<float>(-(band / 2)) ? 255 : (v < static_cast<float>(band) ? 128 : 0);
    }
}

// A w x h rectangle inside a buffer with guard rows and columns on every side.
struct GuardedMask {
  static constexpr int kPad = 3;
  int w, h, stride;
  std::vector<unsigned char> bytes;
  GuardedMask(int width, int height, int extraStride)
      : w(width), h(height), stride(width + 2 * kPad + extraStride),
        bytes(static_cast<std::size_t>(stride) * (height + 2 * kPad) + 8, kGuard) {}
  unsigned char* origin() { return bytes.data() + kPad * stride + kPad; }
};

struct RenderCase {
  int x, y, w, h;
  float centerX, centerY, radius;
};

std::unique_ptr<SLGrid2D> DiscTree() {
  auto grid = makeGrid(700, 500);
  BuildSelection(*grid, Disc{330.0f, 260.0f, 120.0f}, 8);
  return grid;
}

std::unique_ptr<SLGrid2D> RandomTree(std::uint32_t seed) {
  auto grid = makeGrid(900, 700);
  randomGradedRefine(*grid, seed, 400, 8);
  randomChannels(*grid, seed, 12.0f, 3.0f);
  if (seed == 2)  // scattered NaN values, which the read-out must take as sampling does
    grid->walk(Walk::AllNodes, [&](unsigned n) { grid->levelSet[n] = n % 97 == 5 ? std::nanf("") : grid->levelSet[n]; });
  return grid;
}

// Two levels of shortcut; patches of fine leaves, random regional values either side of the shortcut's
// threshold and random labels.
std::unique_ptr<SLGrid2D> LargeImageTree() {
  auto grid = makeGrid(4000, 3000);
  EXPECT_EQ(grid->numLevels, 2u);
  refineWhere(*grid, [](float x, float y, float e) {
    return x > 1000.0f - e && x < 1600.0f + e && y > 700.0f - e && y < 1400.0f + e && int(x / e + 3 * y / e) % 5 != 0;
  }, 8);
  randomChannels(*grid, 3, 7.0f, 17.0f);
  return grid;
}

// Every byte, guards included, against the per-pixel reference: both level sets, bands 0 to 12,
// padded strides. The trees: a disc (rectangles of every kind, brush discs cutting coarse leaves at
// fractional and non-finite centres and radii), random graded trees with random channels, and an image
// large enough for two levels of shortcut (fine leaves far from a region border by their regional
// value are filled whole).
TEST(RenderSelection, MatchesThePerPixelReference) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<RenderCase> discCases = {
      {150, 130, 320, 260, 330.0f, 260.0f, 5000.0f}, {251, 255, 140, 90, 300.0f, 300.0f, 60.0f},
      {0, 0, 700, 500, 700.0f, 0.0f, 400.0f},        {400, 100, 120, 300, 10.0f, 10.0f, 2.0f},
      {200, 200, 50, 50, 225.0f, 225.0f, 0.0f},      {600, 400, 168, 112, 650.0f, 450.0f, 200.0f}};
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> cx(-100.0f, 800.0f), cy(-100.0f, 600.0f), radius(0.0f, 300.0f);
  for (int k = 0; k < 12; ++k) discCases.push_back({80, 40, 520, 420, cx(rng), cy(rng), radius(rng)});
  const float discs[][3] = {{nan, 260.0f, 50.0f}, {330.0f, nan, 50.0f},   {330.0f, 260.0f, nan},   {inf, 260.0f, inf},
                            {-inf, 260.0f, 90.0f}, {1e30f, -1e30f, 3e30f}, {330.5f, 260.5f, 0.5f}};
  for (const auto& d : discs) discCases.push_back({80, 40, 520, 420, d[0], d[1], d[2]});
  const std::vector<RenderCase> treeCases = {{37, 61, 801, 577, 450.0f, 350.0f, 330.0f},
                                             {511, 250, 3, 400, 512.0f, 400.0f, 100.0f}};
  const std::tuple<const char*, std::unique_ptr<SLGrid2D>, std::vector<RenderCase>> scenes[] = {
      {"disc", DiscTree(), discCases},
      {"random tree 1", RandomTree(1), treeCases},
      {"random tree 2", RandomTree(2), treeCases},
      {"large image", LargeImageTree(), std::vector<RenderCase>{{1100, 800, 400, 500, 1300.0f, 1000.0f, 400.0f}}}};
  for (const auto& [name, grid, cases] : scenes)
    for (int regional = 0; regional < 2; ++regional) {
      grid->useRegional = static_cast<std::uint8_t>(regional);
      for (const RenderCase& c : cases)
        for (int band : {0, 1, 5, 12}) {
          GuardedMask fast(c.w, c.h, band * 7), slow(c.w, c.h, band * 7);
          RenderSelection(*grid, c.x, c.y, c.w, c.h, fast.origin(), fast.stride, c.centerX, c.centerY, band, c.radius);
          ReferenceRender(*grid, c.x, c.y, c.w, c.h, slow.origin(), slow.stride, c.centerX, c.centerY, band, c.radius);
          ASSERT_TRUE(fast.bytes == slow.bytes) << name << " rect " << c.x << "," << c.y << " " << c.w << "x" << c.h
                                                << " disc " << c.centerX << "," << c.centerY << " r " << c.radius
                                                << " band " << band << " regional " << regional;
        }
    }
}

TEST(RenderSelection, ParallelTilesGiveTheSingleThreadedResult) {
  auto grid = makeGrid(2048, 2048);
  BuildSelection(*grid, NoisyBlob{1000.0f, 1000.0f, 380.0f}, 8);
  for (int regional = 0; regional < 2; ++regional) {
    grid->useRegional = static_cast<std::uint8_t>(regional);
    const auto render = [&] {
      GuardedMask m(1024, 1024, 5);
      RenderSelection(*grid, 480, 470, 1024, 1024, m.origin(), m.stride, 1000.0f, 1000.0f, 4, 700.0f);
      return m.bytes;
    };
    EXPECT_TRUE(render() == onOneThread(render));
  }
}

// ---- point queries ----

class PointQueries : public ::testing::Test {
 protected:
  SLMain engine;
  SLGrid2D* grid = nullptr;
  void SetUp() override {
    grid = makeGrid(600, 600).release();
    engine.grid = grid;
    engine.width = 600;
    engine.height = 600;
  }
  void constant(float value, float regional, unsigned char label) {
    fillField(*grid, grid->levelSet, [value](float, float) { return value; });
    fillField(*grid, grid->regional, [regional](float, float) { return regional; });
    grid->walk(Walk::AllNodes, [&](unsigned n) { grid->region[n] = label; });
  }
};

TEST_F(PointQueries, MattingMode) {
  // Without regions: within 10 of the front the band, else by the sign (a tile centre: the value itself).
  const std::pair<float, VELDRA::EDITMODE> cases[] = {
      {5.0f, VELDRA::EDITMODE_BAND},      {-9.5f, VELDRA::EDITMODE_BAND}, {0.0f, VELDRA::EDITMODE_BAND},
      {10.0f, VELDRA::EDITMODE_SUBTRACT}, {25.0f, VELDRA::EDITMODE_SUBTRACT},
      {-10.0f, VELDRA::EDITMODE_ADD},     {-25.0f, VELDRA::EDITMODE_ADD}};
  for (const auto& [value, mode] : cases) {
    constant(value, 50.0f, 1);
    EXPECT_EQ(MattingMode(engine, 128, 128), mode) << value;
  }
  // With regions: the label decides, and a thin margin means the band.
  grid->useRegional = 1;
  const std::tuple<float, unsigned char, VELDRA::EDITMODE> labelled[] = {
      {20.0f, 2, VELDRA::EDITMODE_BAND}, {20.0f, 0, VELDRA::EDITMODE_ADD}, {20.0f, 1, VELDRA::EDITMODE_SUBTRACT},
      {9.0f, 1, VELDRA::EDITMODE_BAND},  {20.0f, 7, VELDRA::EDITMODE_ADD}};
  for (const auto& [margin, label, mode] : labelled) {
    constant(-40.0f, margin, label);
    EXPECT_EQ(MattingMode(engine, 128, 128), mode) << margin << " label " << int(label);
  }
}

}  // namespace
