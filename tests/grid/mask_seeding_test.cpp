// Seeding from a host mask, on masks of many kinds (discs, noise blobs, empty, full, single pixels,
// lines, speckle of bytes around the class threshold, 128 beside 0 and 255). The refinement stage
// against an independent list of edge and seam pixels, the value stage against the leaf sizes, and
// the whole seeding: classes come back where a leaf's pixels agree, the field is a distance near the
// front, the old selection outside the rectangle keeps its signs, the read-out agrees with the mask
// where four pixels agree (before and after refinement), and tile lines make no difference.
#include <gtest/gtest.h>

#include "api/engine.h"
#include "grid/mask_seeding_detail.h"
#include "support/harness.h"
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

// Leaves wholly inside the rectangle whose pixels share one class carry that sign; their number.
int classesKept(const SLGrid2D& grid, const Mask& m, const Rect& r) {
  int checked = 0;
  for (const LeafGeom& l : allLeafGeoms(grid)) {
    const int x0 = int(l.cx - l.edge / 2), y0 = int(l.cy - l.edge / 2), s = int(l.edge);
    if (x0 < r.x || y0 < r.y || x0 + s > r.x + r.w || y0 + s > r.y + r.h) continue;
    bool uniform = true;
    for (int k = 0; k < s * s && uniform; ++k) uniform = negative(m.at(x0 + k % s - r.x, y0 + k / s - r.y)) == negative(m.at(x0 - r.x, y0 - r.y));
    if (!uniform) continue;
    ++checked;
    EXPECT_EQ(grid.levelSet[l.node] < 0.0f, negative(m.at(x0 - r.x, y0 - r.y))) << "leaf at (" << l.cx << ", " << l.cy << ")";
  }
  return checked;
}

// Seeding over the whole image and a rectangle of it: classes kept, a distance near the front (mean
// |grad phi| by central differences of the interpolated field where it lies 4 to 9 pixels from it), and
// a rectangle over an old selection: outside it the old signs stay, its border pixels that disagree
// with the old selection are single-pixel leaves.
TEST(MaskSeeding, KeepsClassesAndOldSignsAndGivesADistance) {
  for (const Rect& r : {Rect{0, 0, 700, 500}, Rect{37, 21, 600, 430}}) {
    for (auto& [name, mask] : maskBattery(r.w, r.h, 21u + static_cast<std::uint32_t>(r.x))) {
      SCOPED_TRACE(name + " in rect at " + std::to_string(r.x));
      auto grid = makeGrid(700, 500);
      grid->InitFromMask(r.x, r.y, r.w, r.h, mask.bytes.data(), mask.width);
      EXPECT_EQ(treeProblem(*grid), "");
      EXPECT_TRUE(classesKept(*grid, mask, r) > 0 || name == "empty");
      double sum = 0.0;
      int samples = 0;
      const auto at = [&](int px, int py) { return grid->SampleInterpolated(fl(px), fl(py), nullptr, nullptr); };
      for (int y = r.y + 2; y < r.y + r.h - 2; y += 2)
        for (int x = r.x + 2; x < r.x + r.w - 2; x += 2) {
          const float c = at(x, y), v[4] = {at(x - 1, y), at(x + 1, y), at(x, y - 1), at(x, y + 1)};
          bool band = std::fabs(c) >= 4.0f && std::fabs(c) <= 9.0f;
          for (float n : v) band = band && std::fabs(n) >= 3.0f && std::fabs(n) <= 10.0f && (n < 0) == (c < 0);
          if (band) sum += std::hypot(0.5 * (v[1] - v[0]), 0.5 * (v[3] - v[2])), ++samples;
        }
      // Speckle leaves few points 4 to 9 pixels from every front: its mean is not bounded.
      EXPECT_TRUE(samples <= 50 || name == "speckle" || std::fabs(sum / samples - 1.0) < 0.2) << sum / samples;
    }
  }
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
  EXPECT_GT(classesKept(*grid, fresh, r), 0);
  EXPECT_TRUE(signs() == before);
  EXPECT_GT(refinedPixelsAreSingle(*grid, r, pixelsToRefine(fresh, r, [&](int x, int y) { return !negative(old.at(x, y)); })), 0);
}

// Per pixel, whether its leaf and every leaf touching it hold pixels of one class only.
std::vector<char> settledPixels(const SLGrid2D& grid, const Mask& m) {
  const std::vector<LeafGeom> leaves = allLeafGeoms(grid);
  std::vector<int> leafOf(m.bytes.size(), -1);
  std::vector<char> uniform(leaves.size(), 1), settled(leaves.size(), 1), out(m.bytes.size());
  // Visits the pixels of every leaf's square grown by `grow` pixels, clipped to the image.
  const auto forPixels = [&](int grow, auto&& f) {
    for (std::size_t k = 0; k < leaves.size(); ++k) {
      const int x0 = int(leaves[k].cx - leaves[k].edge / 2) - grow, y0 = int(leaves[k].cy - leaves[k].edge / 2) - grow;
      const int s = int(leaves[k].edge) + 2 * grow;
      for (int y = std::max(0, y0); y < std::min(m.height, y0 + s); ++y)
        for (int x = std::max(0, x0); x < std::min(m.width, x0 + s); ++x) f(k, static_cast<std::size_t>(y) * m.width + x);
    }
  };
  forPixels(0, [&](std::size_t k, std::size_t p) {
    if (leafOf[p] < 0) leafOf[p] = static_cast<int>(k);
    if (negative(m.bytes[p]) != negative(m.bytes[static_cast<std::size_t>(std::max(0, int(leaves[k].cy - leaves[k].edge / 2))) * m.width +
                                                  static_cast<std::size_t>(std::max(0, int(leaves[k].cx - leaves[k].edge / 2)))]))
      uniform[k] = 0;
  });
  forPixels(1, [&](std::size_t k, std::size_t p) { settled[k] = settled[k] && uniform[static_cast<std::size_t>(leafOf[p])]; });
  for (std::size_t p = 0; p < out.size(); ++p) out[p] = settled[static_cast<std::size_t>(leafOf[p])];
  return out;
}

// The read-out samples pixel corners: a corner whose four pixels share a class, each settled (its leaf
// and the leaves touching it of one class), reads that class, after seeding and after refinement
// passes (0 passes means maxLevel passes, which coarsen away from the front only). A rectangle with an
// edge on a tile line reads back as the same rectangle seeded off the tile lines, moved back.
TEST(MaskSeeding, ReadOutAgreesWithTheMaskAndTileLinesMakeNoDifference) {
  const int W = 640, H = 480;
  ASSERT_TRUE(VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, W, H, false));
  for (auto& [name, mask] : maskBattery(W, H, 99)) {
    SCOPED_TRACE(name);
    VELDRA::Deselect();
    ASSERT_TRUE(VELDRA::InitSelection(0, 0, W, H, mask.bytes.data(), W));
    const std::vector<unsigned char> seeded = readSelection(W, H, 0);
    const std::vector<char> settled = settledPixels(*VELDRA_CORE::currentGrid(), mask);
    const std::string trace = capturedStdout([] { EXPECT_TRUE(VELDRA::RefineSelection(0)); });
    EXPECT_EQ(trace.size(), 8 * std::string("RefineGridForField: 0,0,3,2,  ni,nj=3,2\n").size());
    const std::vector<unsigned char> refined = readSelection(W, H, 0);
    int checked = 0, wrong = 0;
    for (int y = 1; y < H; ++y)
      for (int x = 1; x < W; ++x) {
        const std::size_t p = static_cast<std::size_t>(y) * W + x, q = p - W;
        const bool a = negative(mask.bytes[p]);
        bool agree = settled[p] && settled[p - 1] && settled[q] && settled[q - 1];
        for (std::size_t o : {p - 1, q, q - 1}) agree = agree && negative(mask.bytes[o]) == a;
        if (!agree) continue;
        ++checked;
        wrong += (seeded[p] != (a ? 255 : 0)) + (refined[p] != (a ? 255 : 0));
      }
    EXPECT_GT(checked, W * H / 4);
    EXPECT_EQ(wrong, 0);
  }
  const int w = 1024, h = 600, dx = 7, dy = 5;
  ASSERT_TRUE(VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, w, h, false));
  const auto readBack = [&](const Rect& r, bool hole) {
    Mask m(w, h, hole ? 255 : 0);
    for (int p = 0; p < r.w * r.h; ++p) m.at(r.x + p % r.w, r.y + p / r.w) = hole ? 0 : 255;
    VELDRA::Deselect();
    EXPECT_TRUE(VELDRA::InitSelection(0, 0, w, h, m.bytes.data(), w));
    return readSelection(w, h, 0);
  };
  for (const auto& [r, hole] : {std::pair{Rect{512, 100, 256, 400}, false}, std::pair{Rect{300, 100, 212, 400}, false},
                                std::pair{Rect{300, 256, 400, 244}, false}, std::pair{Rect{256, 256, 512, 256}, false},
                                std::pair{Rect{512, 256, 200, 200}, true}}) {
    const std::vector<unsigned char> on = readBack(r, hole), off = readBack({r.x + dx, r.y + dy, r.w, r.h}, hole);
    int wrong = 0;
    for (int y = r.y - 3; y <= r.y + r.h + 3; ++y)
      for (int x = r.x - 3; x <= r.x + r.w + 3; ++x) wrong += on[static_cast<std::size_t>(y) * w + x] != off[static_cast<std::size_t>(y + dy) * w + x + dx];
    EXPECT_EQ(wrong, 0) << r.x << "," << r.y << " " << r.w << "x" << r.h;
  }
}

}  // namespace
