// Every exported function called as a careless host would: before the library is set up, after the
// grid was released, and with null pointers, absurd sizes, rectangles off the image, short strides,
// non-finite edge-snap values and wild coordinates. One table row per case: the state it starts
// from, the call, the result it must give, and whether the call must leave everything unchanged.
// Whatever the row, the tree must stay consistent afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <veldra/veldra_extras.h>

#include "grid/tree_validity.h"
#include "hardening/library_state.h"
#include "support/harness.h"

namespace {

using namespace VELDRA;
using namespace VELDRA_EXTRAS;
using veldra_hardening::enterState;
using veldra_hardening::fingerprint;
using veldra_hardening::kImageHeight;
using veldra_hardening::kImageWidth;
using veldra_hardening::State;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

enum class Effect { Unchanged, MayChange };

struct Case {
  std::string name;
  State state;
  std::function<int()> call;  // the call's result as an int (0 for functions without one)
  std::optional<int> result;  // expected result, when fixed
  Effect effect;
};

// Edge-snap arrays for a brush box.
struct Snap {
  std::vector<float> x, y;
  explicit Snap(int w, int h) : x(static_cast<std::size_t>(std::max(w * h, 1)), 0.1f), y(x.size(), -0.1f) {}
};

int stepIn(int x, int y, int bx, int by, int bw, int bh, float* sx, int sxs, float* sy, int sys,
           EDITMODE mode = EDITMODE_ADD) {
  return Step(mode, 0, x, y, bx, by, bw, bh, sx, sxs, sy, sys);
}

// f(path) for a path of the whole selection, released afterwards.
int WithPath(int (*f)(PathHandle)) {
  const PathHandle p = TraceSelectionPath(0, 0, kImageWidth, kImageHeight, 0.0f);
  const int result = f(p);
  ReleasePath(p);
  return result;
}

// Restoring a snapshot taken before `change`.
int RestoreAfter(void (*change)()) {
  const SnapshotHandle s = TakeSnapshot();
  change();
  const bool restored = RestoreSnapshot(s);
  ReleaseSnapshot(s);
  return restored;
}

// A read-out into `out` (or into null), for the rectangles that neither read-out may write.
struct BadRect {
  const char* name;
  int x, y, w, h, stride, offset;
  bool null;
};
const BadRect kBadRects[] = {
    {"into null", 0, 0, 8, 8, 8, 0, true},
    {"stride below width", 0, 0, 8, 8, 7, 0, false},
    {"overlapping bottom-up rows", 0, 0, 8, 8, -7, 63, false},
    {"offsets past 2^31", 0, 0, 8, 2, INT_MAX - 6, 0, false},
    {"negative height", 0, 0, 8, -8, 8, 0, false},
    {"past the root tiles", 512 - 4, 0, 8, 8, 8, 0, false},
    {"left of the image", -1, 0, 8, 8, 8, 0, false},
    {"overflowing sum", INT_MAX, 0, INT_MAX, 1, INT_MAX, 0, false},
};

// Edge snap data with a bad size, pointer or stride: the number of output floats it changed.
struct BadSnap {
  const char* name;
  int w, h, imageStride, xStride, yStride, nullArgument;  // 1 image, 2 snapX, 3 snapY
};
const BadSnap kBadSnaps[] = {
    {"null image", 8, 8, 32, 8, 8, 1},          {"null snapX", 8, 8, 32, 8, 8, 2},
    {"null snapY", 8, 8, 32, 8, 8, 3},          {"negative width", -5, 8, 32, 8, 8, 0},
    {"short snapY stride", 8, 8, 32, 8, 7, 0},  {"overlapping bottom-up rows", 8, 8, 32, -7, 8, 0},
    {"INT_MAX sizes", INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, 0},
};

int snapWrites(const BadSnap& b) {
  static unsigned char rgba[100 * 100 * 4];
  static float x[64 * 64], y[64 * 64];
  constexpr float kSentinel = -7.5f;
  std::fill(std::begin(x), std::end(x), kSentinel);
  std::fill(std::begin(y), std::end(y), kSentinel);
  ComputeEdgeSnapData(b.w, b.h, b.nullArgument == 1 ? nullptr : rgba, b.imageStride,
                      b.nullArgument == 2 ? nullptr : x + (b.xStride < 0 ? 63 : 0), b.xStride,
                      b.nullArgument == 3 ? nullptr : y, b.yStride);
  return int(std::count_if(std::begin(x), std::end(x), [](float v) { return v != kSentinel; }) +
             std::count_if(std::begin(y), std::end(y), [](float v) { return v != kSentinel; }));
}

std::vector<Case> cases() {
  static unsigned char mask[64 * 64];
  static unsigned char out[64 * 64];
  static float fx[64 * 64], fy[64 * 64];
  int* const np = nullptr;
  static int value = 0;
  // Calls that need a grid: before the library is set up and after the grid was released they do
  // nothing and report failure.
  const std::pair<const char*, std::function<int()>> needGrid[] = {
      {"deselect", [] { Deselect(); return 0; }},
      {"seed", [] { return InitSelection(0, 0, 8, 8, mask, 8); }},
      {"refine", [] { return RefineSelection(2); }},
      {"circle", [] { return CheckCircleRegionIntersection(5, 5, 3); }},
      {"skip", [] { return CheckSkipEvolution(5, 5, 50, 10, 0, 0, 10, 10); }},
      {"render", [] { GetSelection(0, 0, 8, 8, out, 8, 4, 4, 0); return 0; }},
      {"line", [] { return AddDeleteLine(EDITMODE_ADD, 0, 0, 10, 10); }},
      {"step", [] { return stepIn(10, 10, 0, 0, 64, 64, fx, 64, fy, 64); }},
      {"smoothen", [] { return Smoothen(10, 10, 0, 0, 20, 20); }},
      {"mouse down and up", [] { MouseDown(); MouseUp(); return 0; }},
      {"regional on", [] { enableRLS(4); return 0; }},
      {"regional off", [] { disableRLS(); return 0; }},
      {"dump", [] { SaveSelectionToFile(); return 0; }},
      {"alpha", [] { return GetSelectionAlpha(0, 0, 8, 8, out, 8, 0.0f); }},
      {"trace", [] { return int(TraceSelectionPath(0, 0, 8, 8, 0.0f) != 0); }},
      {"snapshot", [] { return int(TakeSnapshot() != 0); }},
      {"matting mode", [] { return static_cast<int>(GetMattingMode(5, 5)) - EDITMODE_ADD; }},
  };
  std::vector<Case> c = {
      // ---- setting up ----
      {"init INT_MAX square", State::NotLoaded, [] { return InitializeWithVeldraBrush(nullptr, nullptr, INT_MAX, INT_MAX, false); }, 0, Effect::MayChange},
      {"init long strip at the limit", State::NotLoaded, [] { return InitializeWithVeldraBrush(nullptr, nullptr, 65535, 1, false); }, 1, Effect::MayChange},
      {"refused image leaves no grid", State::Seeded, [] { return InitializeWithVeldraBrush(nullptr, nullptr, 46341, 46341, false) + int(VELDRA_CORE::currentGrid() != nullptr); }, 0, Effect::MayChange},
      {"largest square image", State::Seeded, [] { InitializeImage(46340, 46340); return int(VELDRA_CORE::currentGrid()->ni); }, 182, Effect::MayChange},
      {"too long image leaves no grid", State::Seeded, [] { InitializeImage(70000, 10); return int(VELDRA_CORE::currentGrid() != nullptr); }, 0, Effect::MayChange},
      {"negative sides count as 0", State::Seeded, [] { InitializeImage(-3, 20); const auto* g = VELDRA_CORE::currentGrid(); return int(g->ni * 10 + g->nj); }, 1, Effect::MayChange},
      {"image before init", State::NotLoaded, [] { return InitializeImage(100, 100); }, 0, Effect::Unchanged},
      // ---- parameters ----
      {"default with a null pointer", State::NotLoaded, [np] { return GetDefaultParameter(PARAM_CORE, &value, np, &value); }, -1, Effect::Unchanged},
      {"default of -1", State::NotLoaded, [] { return GetDefaultParameter(static_cast<PARAM>(-1), &value, &value, &value); }, -1, Effect::Unchanged},
      {"get into null", State::Seeded, [np] { return GetParameter(PARAM_CORE, np); }, -1, Effect::Unchanged},
      {"get of 5", State::Seeded, [] { return GetParameter(static_cast<PARAM>(5), &value); }, -1, Effect::Unchanged},
      {"set of INT_MAX", State::Seeded, [] { return SetParameter(static_cast<PARAM>(INT_MAX), 3); }, -1, Effect::Unchanged},
      {"set of -1", State::NotLoaded, [] { return SetParameter(static_cast<PARAM>(-1), 3); }, -1, Effect::Unchanged},
      // ---- selection lifecycle ----
      {"seed null mask", State::Seeded, [] { return InitSelection(0, 0, 8, 8, nullptr, 8); }, 0, Effect::Unchanged},
      {"seed rows sharing bytes", State::Seeded, [] { return InitSelection(0, 0, 8, 8, mask, 7); }, 1, Effect::MayChange},
      {"seed bottom-up mask", State::Seeded, [] { return InitSelection(0, 0, 8, 8, mask + 56, -8); }, 1, Effect::MayChange},
      {"seed left of image", State::Seeded, [] { return InitSelection(-1, 0, 8, 8, mask, 8); }, 0, Effect::Unchanged},
      {"seed past right edge", State::Seeded, [] { return InitSelection(kImageWidth - 7, 0, 8, 8, mask, 8); }, 0, Effect::Unchanged},
      {"seed overflowing sum", State::Seeded, [] { return InitSelection(INT_MAX, INT_MAX, INT_MAX, INT_MAX, mask, INT_MAX); }, 0, Effect::Unchanged},
      {"seed empty rectangle", State::Seeded, [] { return InitSelection(5, 5, 0, 8, nullptr, 0); }, 1, Effect::Unchanged},
      {"feedback with nonsense", State::NotLoaded, [] { return FeedbackMat(INT_MIN, -1, INT_MAX, -7, nullptr, -3); }, 1, Effect::Unchanged},
      {"refine INT_MAX passes", State::Seeded, [] { return RefineSelection(INT_MAX); }, 1, Effect::MayChange},
      // ---- queries ----
      {"matting at INT_MIN", State::Seeded, [] {
         const EDITMODE m = GetMattingMode(INT_MIN, INT_MIN);
         return int(m == EDITMODE_ADD || m == EDITMODE_SUBTRACT || m == EDITMODE_BAND); }, 1, Effect::Unchanged},
      {"circle centred far outside", State::Seeded, [] { return CheckCircleRegionIntersection(INT_MIN, INT_MAX, 10); }, 1, Effect::Unchanged},
      {"circle of radius INT_MAX", State::Seeded, [] { return CheckCircleRegionIntersection(150, 100, INT_MAX); }, std::nullopt, Effect::Unchanged},
      {"skip with extreme ints", State::Seeded, [] { return CheckSkipEvolution(INT_MIN, INT_MAX, INT_MAX, INT_MIN, INT_MAX, INT_MIN, INT_MIN, INT_MAX); }, std::nullopt, Effect::Unchanged},
      // ---- rendering the mask ----
      // ---- read-outs (bad rectangles for both are generated below) ----
      {"render NaN centre, INT_MIN band", State::Seeded, [] { GetSelection(140, 90, 20, 20, out, 20, kNaN, kInf, INT_MIN); return 0; }, 0, Effect::Unchanged},
      {"alpha past the image", State::Seeded, [] { return GetSelectionAlpha(kImageWidth - 4, 0, 8, 8, out, 8, 0.0f); }, 0, Effect::Unchanged},
      // ---- strokes ----
      {"line between far corners", State::Seeded, [] { return AddDeleteLine(EDITMODE_ADD, INT_MIN, INT_MIN, INT_MAX, INT_MAX); }, 1, Effect::MayChange},
      {"step null snapX", State::Seeded, [] { return stepIn(150, 40, 140, 30, 21, 21, nullptr, 21, fy, 21); }, 0, Effect::Unchanged},
      {"step null snapY", State::Seeded, [] { return stepIn(150, 40, 140, 30, 21, 21, fx, 21, nullptr, 21); }, 0, Effect::Unchanged},
      {"step rows sharing floats", State::Seeded, [] { return stepIn(150, 40, 140, 30, 21, 21, fx, 20, fy, 0); }, 1, Effect::MayChange},
      {"step offsets past 2^31", State::Seeded, [] { return stepIn(150, 40, 140, 30, 21, 21, fx, INT_MAX / 10, fy, 21); }, 0, Effect::Unchanged},
      {"step box wholly left", State::Seeded, [] { return stepIn(150, 40, -100, 30, 21, 21, fx, 21, fy, 21); }, 0, Effect::Unchanged},
      {"step box at INT_MAX", State::Seeded, [] { return stepIn(150, 40, INT_MAX, INT_MAX, INT_MAX, 1, fx, INT_MAX, fy, INT_MAX); }, 0, Effect::Unchanged},
      {"step NaN edge snap value", State::Seeded, [] {
         Snap s(21, 21);
         s.x[10 * 21 + 10] = kNaN;
         return stepIn(150, 40, 140, 30, 21, 21, s.x.data(), 21, s.y.data(), 21); }, 0, Effect::Unchanged},
      {"step NaN away from the brush", State::Seeded, [] {
         SetParameter(PARAM_RADIUS, 5);  // box (130, 20) .. (170, 60), brush at (150, 40) reads within 7 pixels
         Snap s(41, 41);
         s.x[0] = kNaN;
         s.y[40 * 41 + 40] = kInf;
         return stepIn(150, 40, 130, 20, 41, 41, s.x.data(), 41, s.y.data(), 41); }, 1, Effect::MayChange},
      {"step far outside, box inside", State::Seeded, [] {
         Snap s(21, 21);
         return stepIn(INT_MIN, INT_MAX, 140, 30, 21, 21, s.x.data(), 21, s.y.data(), 21, EDITMODE_AUTO); }, 1, Effect::MayChange},
      {"step empty box, no arrays", State::Seeded, [] { return stepIn(150, 40, 140, 30, 0, 0, nullptr, 0, nullptr, 0); }, 0, Effect::Unchanged},
      {"smoothen negative height", State::Seeded, [] { return Smoothen(150, 40, 140, 30, 21, -1); }, 0, Effect::Unchanged},
      {"smoothen box over everything", State::Seeded, [] { return Smoothen(210, 100, -1000, -1000, INT_MAX, INT_MAX); }, 1, Effect::MayChange},
      // ---- regional partition, files, matting brush ----
      {"regional band INT_MAX", State::Seeded, [] { enableRLS(INT_MAX); return 0; }, 0, Effect::MayChange},
      {"dump with pointer", State::Seeded, [] { SaveSelectionToFile(reinterpret_cast<void*>(1)); return 0; }, 0, Effect::Unchanged},
      {"matting radius before init", State::NotLoaded, [] { setMattingBrushRadius(3.0f); return 0; }, 0, Effect::Unchanged},
      // ---- extras: alpha, paths, snapshots ----
      {"trace zero height", State::Seeded, [] { return int(TraceSelectionPath(0, 0, 8, 0, 0.0f) != 0); }, 0, Effect::Unchanged},
      {"trace NaN tolerance", State::Seeded, [] { return int(TraceSelectionPath(0, 0, 8, 8, kNaN) != 0); }, 0, Effect::Unchanged},
      {"rings of handle 0", State::NotLoaded, [] { return PathRingCount(0); }, -1, Effect::Unchanged},
      {"ring of a made-up handle", State::Seeded, [] { return GetPathRing(12345, 0, nullptr, 0); }, -1, Effect::Unchanged},
      {"rings past either end", State::Seeded, [] { return WithPath([](PathHandle p) { return GetPathRing(p, PathRingCount(p), nullptr, 0) + GetPathRing(p, -1, nullptr, 0); }); }, -2, Effect::Unchanged},
      {"svg of a released path", State::Seeded, [] { const PathHandle p = TraceSelectionPath(0, 0, 9, 9, 0.0f); ReleasePath(p); return int(WritePathSvg(p, nullptr, 0)); }, -1, Effect::Unchanged},
      {"restore a path handle", State::Seeded, [] { return WithPath([](PathHandle p) { return int(RestoreSnapshot(p)); }); }, 0, Effect::Unchanged},
      {"restore a released snapshot", State::Seeded, [] { const SnapshotHandle s = TakeSnapshot(); ReleaseSnapshot(s); return RestoreSnapshot(s) + int(SnapshotBytes(s)); }, 0, Effect::Unchanged},
      {"restore without a grid", State::Seeded, [] { return RestoreAfter([] { InitializeWithVeldraBrush(nullptr, nullptr, kImageWidth, kImageHeight, true); }); }, 0, Effect::MayChange},
      {"restore into another size", State::Seeded, [] { return RestoreAfter([] { InitializeImage(kImageWidth, kImageHeight + 1); }); }, 0, Effect::MayChange},
  };
  for (const float v : {kNaN, -1.0f, kInf}) {  // the matting radius and the feather: not a length
    c.push_back({"matting radius " + std::to_string(v), State::Seeded, [v] { setMattingBrushRadius(v); return 0; }, 0,
                 Effect::Unchanged});
    c.push_back({"alpha feather " + std::to_string(v), State::Seeded,
                 [v] { return GetSelectionAlpha(0, 0, 8, 8, out, 8, v); }, 0, Effect::Unchanged});
  }
  for (const BadRect& r : kBadRects) {
    unsigned char* const buffer = r.null ? nullptr : out + r.offset;
    c.push_back({std::string("render ") + r.name, State::Seeded,
                 [=] { GetSelection(r.x, r.y, r.w, r.h, buffer, r.stride, 4, 4, 0); return 0; }, 0, Effect::Unchanged});
    c.push_back({std::string("alpha ") + r.name, State::Seeded,
                 [=] { return GetSelectionAlpha(r.x, r.y, r.w, r.h, buffer, r.stride, 0.0f); }, 0, Effect::Unchanged});
  }
  for (const BadSnap& b : kBadSnaps)
    c.push_back({std::string("snap data ") + b.name, State::NotLoaded, [b] { return snapWrites(b); }, 0, Effect::Unchanged});
  for (const auto& [name, call] : needGrid) {
    c.push_back({std::string(name) + " before init", State::NotLoaded, call, 0, Effect::Unchanged});
    c.push_back({std::string(name) + " after release", State::NoGrid, call, 0, Effect::Unchanged});
  }
  return c;
}

// Runs in an empty temporary directory, so that a dump that should not happen would show.
class OutOfContract : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::current_path(dir_.path()); }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    veldra_fuzz::resetLibrary();
  }
  const std::filesystem::path previous_ = std::filesystem::current_path();
  const veldra_test::ScratchDir dir_;
};

TEST_F(OutOfContract, EveryExportedFunction) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    enterState(c.state);
    const veldra_hardening::Fingerprint before = fingerprint();
    const int result = c.call();
    if (c.result) {
      EXPECT_EQ(result, *c.result);
    }
    if (c.effect == Effect::Unchanged) {
      EXPECT_TRUE(fingerprint() == before) << "the call changed the library";
    }
    if (VELDRA_TRW::SLGrid2D* g = VELDRA_CORE::currentGrid()) {
      EXPECT_EQ(VELDRA_TRW::TreeProblem(*g, true), "");
    }
    EXPECT_FALSE(std::filesystem::exists("field.pbm"));
  }
}

// A rectangle partly outside the image is cut to it: the same event with the box cut by the host
// gives the same field, and edge-snap values outside the image are never read.
TEST_F(OutOfContract, BoxCrossingTheImageActsAsTheBoxCutToIt) {
  const auto run = [](bool cut) {
    enterState(State::Seeded);
    Snap s(80, 60);
    for (int r = 0; r < 60; ++r)
      for (int k = 0; k < 80; ++k) {
        const bool inImage = 250 + k < kImageWidth && 20 + r < kImageHeight;
        s.x[static_cast<std::size_t>(r * 80 + k)] = inImage ? 0.02f * static_cast<float>(k % 7) - 0.05f : kNaN;
      }
    MouseDown();
    const bool ok = cut ? Step(EDITMODE_ADD, 0, 270, 50, 250, 20, 50, 60, s.x.data(), 80, s.y.data(), 80)
                        : Step(EDITMODE_ADD, 0, 270, 50, 250, 20, 80, 60, s.x.data(), 80, s.y.data(), 80);
    EXPECT_TRUE(ok);
    return fingerprint();
  };
  EXPECT_TRUE(run(false) == run(true));
}

}  // namespace
