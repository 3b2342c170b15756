// Seeding from a host mask. The refinement stage against an independent list of edge and seam pixels
// (each ends as a single-pixel leaf, and single-pixel leaves appear only close to them), the value
// stage against the leaf sizes, and the whole seeding on masks of many kinds: the classes come back
// where a leaf's pixels agree, the old selection outside the rectangle keeps its signs, the field is a
// distance near the front, the tree stays graded, the node count follows the boundary's length.
#include <gtest/gtest.h>

#include "api/engine.h"
#include "grid/mask_seeding_detail.h"
#include "support/front_fixtures.h"
#include "support/harness.h"
#include "support/seeding_checks.h"
#include "support/synthetic_images.h"

using namespace VELDRA_TRW;
using namespace veldra_test;

namespace {

struct Rect {
  int x, y, w, h;
  bool contains(int px, int py) const { return px >= x && py >= y && px < x + w && py < y + h; }
};
seeding::MaskView viewOf(const Mask& m, const Rect& r) { return {m.bytes.data(), r.x, r.y, r.w, r.h, m.width}; }
bool selectedClass(unsigned char m) { return m >= 128; }
bool negativeClass(unsigned char m) { return m > 128; }
float fl(int v) { return static_cast<float>(v); }

// Pixels of the rectangle that must end as single-pixel leaves: class changes to a 4-neighbour inside
// the rectangle, or, on the rectangle's border, a class that disagrees with the old sign there.
std::vector<char> pixelsToRefine(const Mask& m, const Rect& r, const std::function<bool(int, int)>& oldPositive) {
  std::vector<char> out(static_cast<std::size_t>(r.w) * r.h, 0);
  for (int y = 0; y < r.h; ++y)
    for (int x = 0; x < r.w; ++x) {
      const bool c = selectedClass(m.at(x, y)), border = x == 0 || y == 0 || x == r.w - 1 || y == r.h - 1;
      bool edge = border && c == oldPositive(x + r.x, y + r.y);
      const int nx[4] = {x - 1, x + 1, x, x}, ny[4] = {y, y, y - 1, y + 1};
      for (int k = 0; k < 4; ++k)
        edge = edge || (nx[k] >= 0 && ny[k] >= 0 && nx[k] < r.w && ny[k] < r.h && selectedClass(m.at(nx[k], ny[k])) != c);
      out[static_cast<std::size_t>(y) * r.w + x] = edge;
    }
  return out;
}

// Checks that every pixel to refine is a single-pixel leaf of its own (found from the pixel's centre,
// so tile lines make no difference); returns their number.
int expectRefinedPixelsAreSingle(const SLGrid2D& grid, const Rect& r, const std::vector<char>& refine) {
  int count = 0;
  for (int y = r.y; y < r.y + r.h; ++y)
    for (int x = r.x; x < r.x + r.w; ++x) {
      if (!refine[static_cast<std::size_t>(y - r.y) * r.w + (x - r.x)]) continue;
      ++count;
      const unsigned level = grid.level(locateByPoint(grid, fl(x) + 0.5f, fl(y) + 0.5f, 255));
      EXPECT_EQ(level, 8u) << x << "," << y;
      if (level != 8u) return count;
    }
  return count;
}

// Masks of the size of the rectangle, one per kind the seeding must handle.
std::vector<std::pair<std::string, Mask>> maskBattery(int w, int h, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Mask pixels(w, h), lines(w, h), speckle(w, h), grey(w, h);
  for (int k = 0; k < 40; ++k) pixels.at(static_cast<int>(rng() % unsigned(w)), static_cast<int>(rng() % unsigned(h))) = 255;
  for (int x = 0; x < w; ++x) lines.at(x, h / 3) = 255;
  for (int y = 0; y < h; ++y) lines.at(w / 4, y) = 255;
  for (int k = 0; k < std::min(w, h); ++k) lines.at(k, k) = 255;
  // Bytes near the class threshold scattered over 0: the class is the byte's top bit.
  const unsigned char near[4] = {127, 128, 129, 255};
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

TEST(MaskSeeding, EdgeAndSeamPixelsEndAsSinglePixelLeaves) {
  for (const Rect& r : {Rect{0, 0, 700, 500}, Rect{37, 21, 600, 430}, Rect{300, 200, 90, 70}}) {
    for (auto& [name, mask] : maskBattery(r.w, r.h, 7u + static_cast<std::uint32_t>(r.x))) {
      SCOPED_TRACE(name + " in rect at " + std::to_string(r.x));
      auto grid = makeGrid(700, 500);
      const std::vector<char> refine = pixelsToRefine(mask, r, [](int, int) { return true; });
      seeding::refineAlongEdges(*grid, viewOf(mask, r));
      grid->updateRootFlags();
      EXPECT_EQ(expectRefinedPixelsAreSingle(*grid, r, refine) > 0, name != "empty");
      EXPECT_TRUE(name != "empty" || countNodes(*grid) == static_cast<std::size_t>(grid->si) * grid->sj);
      // Single-pixel leaves lie within 3 pixels (Chebyshev) of a pixel that had to be refined.
      for (const LeafGeom& l : allLeafGeoms(*grid)) {
        if (grid->level(l.node) < grid->maxLevel) continue;
        bool near = false;
        const int px = int(std::floor(l.cx)), py = int(std::floor(l.cy));
        for (int y = py - 3; y <= py + 3; ++y)
          for (int x = px - 3; x <= px + 3; ++x)
            near = near || (r.contains(x, y) && refine[static_cast<std::size_t>(y - r.y) * r.w + (x - r.x)]);
        ASSERT_TRUE(near) << "single-pixel leaf at " << l.cx << "," << l.cy;
      }
      std::string why;
      EXPECT_EQ(treeDefect(*grid), "");
      EXPECT_TRUE(LevelRaster(*grid).graded(&why)) << why;
    }
  }
}

TEST(MaskSeeding, ValuePassWritesSignedLeafSizesInsideTheRectangleOnly) {
  const Rect r{200, 130, 300, 200};  // half of tile (0, 0), parts of five others
  for (auto& [name, mask] : maskBattery(r.w, r.h, 3)) {
    for (bool regional : {false, true}) {
      SCOPED_TRACE(name + (regional ? " regional" : ""));
      auto grid = makeGrid(700, 500);
      grid->useRegional = regional ? 1 : 0;
      seeding::refineAlongEdges(*grid, viewOf(mask, r));
      fillField(*grid, grid->levelSet, [](float, float) { return 77.0f; });
      fillField(*grid, grid->regional, [](float, float) { return 55.0f; });
      fillField(*grid, grid->region, [](float, float) { return 9; });
      seeding::writeSizeValues(*grid, viewOf(mask, r), seeding::tileSpanOf(*grid, viewOf(mask, r)));
      for (const LeafGeom& l : allLeafGeoms(*grid)) {
        const bool in = l.cx >= fl(r.x) && l.cx < fl(r.x + r.w) && l.cy >= fl(r.y) && l.cy < fl(r.y + r.h);
        const unsigned char m = in ? mask.at(int(l.cx) - r.x, int(l.cy) - r.y) : 0;
        const float d = l.edge + 2.0f;
        ASSERT_EQ(grid->levelSet[l.node], !in ? 77.0f : m > 128 ? -d : d);
        ASSERT_EQ(grid->regional[l.node], in && regional ? d : 55.0f);
        ASSERT_EQ(grid->region[l.node], in && regional ? (m > 128 ? 0 : (m < 128 ? 1 : 2)) : 9);
      }
      grid->walk(Walk::AllNodes, [&](unsigned n) { EXPECT_TRUE(!grid->hasChildren(n) || grid->levelSet[n] == 77.0f); });
    }
  }
}

// ---- the whole seeding ----

// Mean |grad phi| by central differences of the interpolated field at pixel corners in the rectangle
// where the field lies between 4 and 9 pixels from the front on all four sides (and their number).
std::pair<double, int> meanGradient(const SLGrid2D& grid, const Rect& r) {
  double sum = 0.0;
  int samples = 0;
  const auto at = [&](int px, int py) { return grid.SampleInterpolated(fl(px), fl(py), nullptr, nullptr); };
  for (int y = r.y + 2; y < r.y + r.h - 2; y += 2)
    for (int x = r.x + 2; x < r.x + r.w - 2; x += 2) {
      const float c = at(x, y), l = at(x - 1, y), rr = at(x + 1, y), u = at(x, y - 1), d = at(x, y + 1);
      bool band = std::fabs(c) >= 4.0f && std::fabs(c) <= 9.0f;
      for (float v : {l, rr, u, d}) band = band && std::fabs(v) >= 3.0f && std::fabs(v) <= 10.0f && (v < 0) == (c < 0);
      if (band) sum += std::hypot(0.5 * (rr - l), 0.5 * (d - u)), ++samples;
    }
  return {samples > 0 ? sum / samples : 0.0, samples};
}

// Leaves wholly inside the rectangle whose pixels share one sign class carry that sign; returns how
// many there are.
int expectClassesInside(const SLGrid2D& grid, const Mask& m, const Rect& r) {
  int checked = 0;
  for (const LeafGeom& l : allLeafGeoms(grid)) {
    const int x0 = int(l.cx - l.edge / 2), y0 = int(l.cy - l.edge / 2), s = int(l.edge);
    if (x0 < r.x || y0 < r.y || x0 + s > r.x + r.w || y0 + s > r.y + r.h) continue;
    const bool negative = negativeClass(m.at(x0 - r.x, y0 - r.y));
    bool uniform = true;
    for (int y = y0; y < y0 + s && uniform; ++y)
      for (int x = x0; x < x0 + s && uniform; ++x) uniform = negativeClass(m.at(x - r.x, y - r.y)) == negative;
    if (!uniform) continue;
    ++checked;
    EXPECT_EQ(grid.levelSet[l.node] < 0.0f, negative) << "leaf at (" << l.cx << ", " << l.cy << ")";
  }
  return checked;
}

TEST(MaskSeeding, SeededFieldKeepsTheMaskClassesAndIsADistanceNearTheFront) {
  for (const Rect& r : {Rect{0, 0, 700, 500}, Rect{37, 21, 600, 430}}) {
    for (auto& [name, mask] : maskBattery(r.w, r.h, 21u + static_cast<std::uint32_t>(r.x))) {
      SCOPED_TRACE(name + " in rect at " + std::to_string(r.x));
      auto grid = makeGrid(700, 500);
      grid->InitFromMask(r.x, r.y, r.w, r.h, mask.bytes.data(), mask.width);
      EXPECT_EQ(treeDefect(*grid), "");
      EXPECT_TRUE(expectClassesInside(*grid, mask, r) > 0 || name == "empty");
      // Speckle leaves few points 4 to 9 pixels from every front: its mean is not bounded.
      const auto [g, samples] = meanGradient(*grid, r);
      EXPECT_TRUE(samples <= 50 || name == "speckle" || (g > 0.8 && g < 1.2)) << g;
    }
  }
}

TEST(MaskSeeding, RectangleOverOldSelectionKeepsTheOldSignsOutside) {
  const int W = 800, H = 600;
  auto grid = makeGrid(W, H);
  const Mask old = discMask(W, H, 400.0f, 300.0f, 180.0f);
  grid->InitFromMask(0, 0, W, H, old.bytes.data(), W);
  const Rect r{330, 280, 250, 190};  // part of tile (1, 1), half over the disc
  const Mask fresh = noiseMask(r.w, r.h, 5, 40.0f);
  const auto signs = [&] {
    std::vector<char> s(static_cast<std::size_t>(W) * H);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) s[static_cast<std::size_t>(y) * W + x] = r.contains(x, y) || grid->SamplePoint(fl(x), fl(y), nullptr) < 0.0f;
    return s;
  };
  const std::vector<char> before = signs();
  grid->InitFromMask(r.x, r.y, r.w, r.h, fresh.bytes.data(), fresh.width);
  EXPECT_EQ(treeDefect(*grid), "");
  EXPECT_GT(expectClassesInside(*grid, fresh, r), 0);
  EXPECT_TRUE(signs() == before);
  // Pixels of the rectangle's border that disagree with the old disc are single-pixel leaves.
  const auto oldPositive = [&](int px, int py) { return !negativeClass(old.at(px, py)); };
  EXPECT_GT(expectRefinedPixelsAreSingle(*grid, r, pixelsToRefine(fresh, r, oldPositive)), 0);
}

// Per pixel, whether its leaf and every leaf touching that leaf carry a single sign class.
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
  forPixels(0, [&](std::size_t k, std::size_t p) { leafOf[p] = static_cast<int>(k); });
  forPixels(0, [&](std::size_t k, std::size_t p) {
    const std::size_t first = static_cast<std::size_t>(std::max(0, int(leaves[k].cy - leaves[k].edge / 2))) * m.width +
                              static_cast<std::size_t>(std::max(0, int(leaves[k].cx - leaves[k].edge / 2)));
    if (negativeClass(m.bytes[p]) != negativeClass(m.bytes[first])) uniform[k] = 0;
  });
  forPixels(1, [&](std::size_t k, std::size_t p) { settled[k] = settled[k] && uniform[static_cast<std::size_t>(leafOf[p])]; });
  for (std::size_t p = 0; p < out.size(); ++p) out[p] = settled[static_cast<std::size_t>(leafOf[p])];
  return out;
}

TEST(MaskSeeding, SelectionReadBackAgreesWithTheMaskWhereFourPixelsAgreeBeforeAndAfterRefinement) {
  const int W = 640, H = 480;
  ASSERT_TRUE(VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, W, H, false));
  for (auto& [name, mask] : maskBattery(W, H, 99)) {
    SCOPED_TRACE(name);
    VELDRA::Deselect();
    ASSERT_TRUE(VELDRA::InitSelection(0, 0, W, H, mask.bytes.data(), W));
    const std::vector<unsigned char> seeded = readSelection(W, H, 0);
    const std::vector<char> settled = settledPixels(*VELDRA_CORE::currentGrid(), mask);
    // 0 passes means maxLevel passes; they coarsen away from the front only.
    const std::string trace = capturedStdout([] { EXPECT_TRUE(VELDRA::RefineSelection(0)); });
    EXPECT_EQ(trace.size(), 8 * std::string("RefineGridForField: 0,0,3,2,  ni,nj=3,2\n").size());
    const std::vector<unsigned char> refined = readSelection(W, H, 0);
    // Every class change except 128 beside 255 is refined to single pixels, so leaves carry one class;
    // where 128 meets 255 a leaf takes its centre pixel's sign. The read-out samples pixel corners:
    // corner (x, y) is checked where its four pixels agree and are settled (leaves as seeded).
    int checked = 0, wrong = 0;
    for (int y = 1; y < H; ++y)
      for (int x = 1; x < W; ++x) {
        const std::size_t p = static_cast<std::size_t>(y) * W + x, q = p - W;
        const bool a = negativeClass(mask.bytes[p]);
        if (a != negativeClass(mask.bytes[p - 1]) || a != negativeClass(mask.bytes[q]) || a != negativeClass(mask.bytes[q - 1]) ||
            !settled[p] || !settled[p - 1] || !settled[q] || !settled[q - 1])
          continue;
        ++checked;
        wrong += (seeded[p] != (a ? 255 : 0)) + (refined[p] != (a ? 255 : 0));
      }
    EXPECT_GT(checked, W * H / 4);
    EXPECT_EQ(wrong, 0);
  }
}

// A rectangle seeded with an edge on a tile line reads back as the same rectangle seeded a few pixels
// away from every tile line, moved back: each of its pixels gets a single-pixel cell of its own
// wherever the tile lines fall. Edges on vertical and horizontal lines, selected on either side.
TEST(MaskSeeding, RectanglesOnTileLinesReadBackAsRectanglesOffThem) {
  const int W = 1024, H = 600, dx = 7, dy = 5;
  struct Case {
    const char* name;
    Rect rect;
    bool hole;  // the rectangle unselected in a selected image
  };
  const Case cases[] = {
      {"left edge on a tile line", {512, 100, 256, 400}, false},
      {"right edge on a tile line", {300, 100, 212, 400}, false},
      {"top edge on a tile line", {300, 256, 400, 244}, false},
      {"bottom edge on a tile line", {300, 100, 400, 156}, false},
      {"every edge on tile lines", {256, 256, 512, 256}, false},
      {"hole, left and top edges on tile lines", {512, 256, 200, 200}, true},
  };
  ASSERT_TRUE(VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, W, H, false));
  const auto readBack = [&](const Rect& r, bool hole) {
    Mask m(W, H, hole ? 255 : 0);
    for (int y = r.y; y < r.y + r.h; ++y)
      for (int x = r.x; x < r.x + r.w; ++x) m.at(x, y) = hole ? 0 : 255;
    VELDRA::Deselect();
    EXPECT_TRUE(VELDRA::InitSelection(0, 0, W, H, m.bytes.data(), W));
    return readSelection(W, H, 0);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Rect& r = c.rect;
    const std::vector<unsigned char> onLines = readBack(r, c.hole), offLines = readBack({r.x + dx, r.y + dy, r.w, r.h}, c.hole);
    int wrong = 0;
    for (int y = r.y - 3; y <= r.y + r.h + 3; ++y)
      for (int x = r.x - 3; x <= r.x + r.w + 3; ++x)
        wrong += onLines[static_cast<std::size_t>(y) * W + x] != offLines[static_cast<std::size_t>(y + dy) * W + x + dx];
    EXPECT_EQ(wrong, 0);
  }
}

// Seeded and after 8 passes; and the passes settle, single-pixel leaves staying only at the front.
TEST(MaskSeeding, NodeCountFollowsTheBoundaryLengthAndPassesSettleAroundTheFront) {
  std::size_t seeded[3], refined[3];
  for (int k = 0; k < 3; ++k) {
    auto grid = makeGrid(4000, 3000);
    const float cx = 1900.3f, cy = 1450.7f, radius = 100.0f * fl(1 << k);
    const Mask m = discMask(4000, 3000, cx, cy, radius);
    grid->InitFromMask(0, 0, 4000, 3000, m.bytes.data(), 4000);
    seeded[k] = countNodes(*grid);
    std::vector<unsigned> last = leafSignature(*grid);
    int pass = 0;
    for (; pass < 20; ++pass) {
      capturedStdout([&] { grid->RefineGridForField(0, 0, 16, 12); });
      ASSERT_EQ(treeDefect(*grid), "") << "pass " << pass;
      if (pass == 7) refined[k] = countNodes(*grid);
      if (pass >= 7 && leafSignature(*grid) == last) break;
      last = leafSignature(*grid);
    }
    EXPECT_LT(pass, 20) << "no fixed point";
    for (const LeafGeom& l : leavesInTiles(*grid, 0, 0, 16, 12)) {
      const float distance = std::fabs(std::hypot(l.cx - cx, l.cy - cy) - radius);
      EXPECT_TRUE(grid->level(l.node) < 8u || distance < 3.0f) << l.cx << "," << l.cy;
      EXPECT_TRUE(grid->level(l.node) == 0 || distance < 8.0f * l.edge + 4.0f) << l.cx << "," << l.cy;
    }
  }
  for (int k = 0; k < 2; ++k) {  // the radius doubles, the area grows fourfold
    EXPECT_TRUE(double(seeded[k + 1]) / double(seeded[k]) > 1.6 && double(seeded[k + 1]) / double(seeded[k]) < 2.5);
    EXPECT_TRUE(double(refined[k + 1]) / double(refined[k]) > 1.5 && double(refined[k + 1]) / double(refined[k]) < 2.5);
  }
}

TEST(MaskSeeding, SeedingIsBitIdenticalOnOneThreadAndOnMany) {
  const Mask m = noiseMask(700, 500, 17, 60.0f);
  const auto seed = [&] {
    auto grid = makeGrid(700, 500);
    grid->InitFromMask(0, 0, 700, 500, m.bytes.data(), 700);
    std::vector<float> values;
    grid->walk(Walk::AllLeaves, [&](unsigned n) { values.push_back(grid->levelSet[n]); });
    return values;
  };
  const std::vector<float> one = onOneThread(seed), many = seed();
  ASSERT_EQ(one.size(), many.size());
  EXPECT_EQ(std::memcmp(one.data(), many.data(), one.size() * sizeof(float)), 0);
}

}  // namespace
