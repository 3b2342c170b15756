// Seeding from a host mask, on masks of many kinds (discs, noise blobs, empty, full, single pixels,
// lines, speckle of bytes around the class threshold, 128 beside 0 and 255). The refinement stage
// against an independent list of edge and seam pixels, the value stage against the leaf sizes, and
// seeding over an old selection, which keeps its signs outside the rectangle.
#include <gtest/gtest.h>

#include "grid/mask_seeding_detail.h"
#include "support/host.h"
#include "support/tree.h"

namespace {

using namespace veldra_test;
using namespace VELDRA_TRW;

struct Rect {
  int x, y, w, h;
  bool contains(int px, int py) const { return px >= x && py >= y && px < x + w && py < y + h; }
};
seeding::MaskView viewOf(const Mask& m, const Rect& r) { return {m.bytes.data(), r.x, r.y, r.w, r.h, m.width}; }
bool negative(unsigned char m) { return m > 128; }
float fl(int v) { return static_cast<float>(v); }

std::vector<std::pair<std::string, Mask>> maskBattery(int w, int h, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Mask pixels(w, h), lines(w, h), speckle(w, h), grey(w, h);
  for (int k = 0; k < 40; ++k) pixels.at(static_cast<int>(rng() % unsigned(w)), static_cast<int>(rng() % unsigned(h))) = 255;
  for (int x = 0; x < w; ++x) lines.at(x, h / 3) = 255;
  for (int y = 0; y < h; ++y) lines.at(w / 4, y) = 255;
  for (int k = 0; k < std::min(w, h); ++k) lines.at(k, k) = 255;
  const unsigned char near[4] = {127, 128, 129, 255};  // the class is the byte's top bit
  for (unsigned char& b : speckle.bytes)
    if (rng() % 100 < 3) b = near[rng() % 4];
  // 128 beside 255 (no split, yet the other sign) and beside 0 (a split though both are positive).
  const Mask blob = discMask(w, h, fl(w) / 6.0f, fl(h) / 2.0f, fl(h) / 5.0f, 128);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) grey.at(x, y) = blob.at(x, y) ? 128 : x < w / 3 ? 255 : (x < 2 * w / 3 ? 128 : 0);
  return {{"disc", discMask(w, h, 0.45f * fl(w), 0.55f * fl(h), 0.3f * fl(h))}, {"noise", noiseMask(w, h, seed, 90.0f)},
          {"empty", Mask(w, h, 0)}, {"full", Mask(w, h, 255)}, {"single pixels", pixels}, {"lines", lines},
          {"speckle", speckle}, {"128 beside 0 and 255", grey}};
}

// Pixels of the rectangle that must end as single-pixel leaves: a class change (at 128) to a
// 4-neighbour inside the rectangle, or, on its border, a class that disagrees with the old sign there.
std::vector<char> pixelsToRefine(const Mask& m, const Rect& r, const std::function<bool(int, int)>& oldPositive) {
  std::vector<char> out(static_cast<std::size_t>(r.w) * r.h, 0);
  for (int y = 0; y < r.h; ++y)
    for (int x = 0; x < r.w; ++x) {
      const bool c = m.at(x, y) >= 128;
      bool edge = (x == 0 || y == 0 || x == r.w - 1 || y == r.h - 1) && c == oldPositive(x + r.x, y + r.y);
      for (int k = 0; k < 4; ++k) {
        const int nx = x + static_cast<int>(kStepX[k]), ny = y + static_cast<int>(kStepY[k]);
        edge = edge || (nx >= 0 && ny >= 0 && nx < r.w && ny < r.h && (m.at(nx, ny) >= 128) != c);
      }
      out[static_cast<std::size_t>(y) * r.w + x] = edge;
    }
  return out;
}

// Every pixel to refine is a single-pixel leaf of its own; returns their number.
int refinedPixelsAreSingle(const SLGrid2D& grid, const Rect& r, const std::vector<char>& refine) {
  int count = 0;
  for (int p = 0; p < r.w * r.h; ++p) {
    if (!refine[static_cast<std::size_t>(p)]) continue;
    ++count;
    const int x = r.x + p % r.w, y = r.y + p / r.w;
    EXPECT_EQ(grid.level(locateByPoint(grid, fl(x) + 0.5f, fl(y) + 0.5f)), 8u) << x << "," << y;
    if (grid.level(locateByPoint(grid, fl(x) + 0.5f, fl(y) + 0.5f)) != 8u) return count;
  }
  return count;
}

// The refinement stage: every edge and seam pixel a single-pixel leaf, and single-pixel leaves only
// within 3 pixels of one. The value stage: inside the rectangle every leaf gets its size + 2, signed
// by its centre pixel's class (labels and regional distances alike when in use); nothing else changes.
TEST(MaskSeeding, StagesRefineEdgePixelsAndWriteSignedLeafSizes) {
  for (const Rect& r : {Rect{0, 0, 700, 500}, Rect{37, 21, 600, 430}, Rect{200, 130, 300, 200}}) {
    for (auto& [name, mask] : maskBattery(r.w, r.h, 7u + static_cast<std::uint32_t>(r.x))) {
      SCOPED_TRACE(name + " in rect at " + std::to_string(r.x));
      auto grid = makeGrid(700, 500);
      const std::vector<char> refine = pixelsToRefine(mask, r, [](int, int) { return true; });
      seeding::refineAlongEdges(*grid, viewOf(mask, r));
      grid->updateRootFlags();
      EXPECT_EQ(refinedPixelsAreSingle(*grid, r, refine) > 0, name != "empty");
      EXPECT_EQ(treeProblem(*grid), "");
      for (const LeafGeom& l : allLeafGeoms(*grid)) {
        if (grid->level(l.node) < 8) continue;
        bool near = false;
        for (int k = 0; k < 49; ++k) {
          const int x = static_cast<int>(std::floor(l.cx)) + k % 7 - 3, y = static_cast<int>(std::floor(l.cy)) + k / 7 - 3;
          near = near || (r.contains(x, y) && refine[static_cast<std::size_t>(y - r.y) * r.w + (x - r.x)]);
        }
        ASSERT_TRUE(near) << "single-pixel leaf at " << l.cx << "," << l.cy;
      }
      grid->useRegional = r.x == 200;
      fillField(*grid, grid->levelSet, [](float, float) { return 77.0f; });
      fillField(*grid, grid->regional, [](float, float) { return 55.0f; });
      fillField(*grid, grid->region, [](float, float) { return 9; });
      seeding::writeSizeValues(*grid, viewOf(mask, r), seeding::tileSpanOf(*grid, viewOf(mask, r)));
      for (const LeafGeom& l : allLeafGeoms(*grid)) {
        const bool in = r.contains(static_cast<int>(std::floor(l.cx)), static_cast<int>(std::floor(l.cy))) && l.cx >= 0 && l.cy >= 0;
        const unsigned char m = in ? mask.at(int(l.cx) - r.x, int(l.cy) - r.y) : 0;
        const float d = l.edge + 2.0f;
        ASSERT_EQ(grid->levelSet[l.node], !in ? 77.0f : negative(m) ? -d : d);
        ASSERT_EQ(grid->regional[l.node], in && grid->useRegional ? d : 55.0f);
        ASSERT_EQ(grid->region[l.node], in && grid->useRegional ? (m > 128 ? 0 : (m < 128 ? 1 : 2)) : 9);
      }
    }
  }
}

// A rectangle seeded over an old selection: outside it the old signs stay, its border pixels that
// disagree with the old selection are single-pixel leaves.
TEST(MaskSeeding, RectangleOverAnOldSelectionKeepsTheOldSignsOutside) {
  auto grid = makeGrid(800, 600);
  const Mask old = discMask(800, 600, 400.0f, 300.0f, 180.0f);
  grid->InitFromMask(0, 0, 800, 600, old.bytes.data(), 800);
  const Rect r{330, 280, 250, 190};  // part of tile (1, 1), half over the disc
  const Mask fresh = noiseMask(r.w, r.h, 5, 40.0f);
  const auto signs = [&] {
    std::vector<char> s(800 * 600);
    for (int p = 0; p < 800 * 600; ++p) s[p] = r.contains(p % 800, p / 800) || grid->SamplePoint(fl(p % 800), fl(p / 800), nullptr) < 0.0f;
    return s;
  };
  const std::vector<char> before = signs();
  grid->InitFromMask(r.x, r.y, r.w, r.h, fresh.bytes.data(), fresh.width);
  EXPECT_EQ(treeProblem(*grid), "");
  EXPECT_TRUE(signs() == before);
  EXPECT_GT(refinedPixelsAreSingle(*grid, r, pixelsToRefine(fresh, r, [&](int x, int y) { return !negative(old.at(x, y)); })), 0);
}

}  // namespace
