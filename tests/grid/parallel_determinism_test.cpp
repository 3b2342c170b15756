// Whole brush strokes (which run the parallel evolution, narrow band, redistancing, selection reads,
// split values and line-edit painting) must give bit-identical trees on one thread and on many: every
// node's links, flags and channel values are compared after running the same strokes under both
// limits. The extra read-outs (alpha, traced rings) must give the same bytes.
#include <gtest/gtest.h>

#include <functional>

#include "api/engine.h"
#include "extras/alpha_readout.h"
#include "extras/boundary_trace.h"
#include "support/harness.h"
#include "support/host.h"
#include "support/tree.h"

namespace {

using namespace veldra_test;

constexpr int kWidth = 1500, kHeight = 1300;
constexpr float kCx = 750.0f, kCy = 650.0f;

// The engine's grid after seeding the blob (and the regional partition when asked).
SLGrid2D& seededGrid(bool regional) {
  VELDRA::MouseUp();  // ends a regional stroke left by an earlier run
  VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, kWidth, kHeight, false);
  defaultParameters();
  Mask mask(kWidth, kHeight);  // a wobbly outline crossing many root tiles at all angles
  for (int p = 0; p < kWidth * kHeight; ++p)
    mask.bytes[p] = NoisyBlob{kCx, kCy, 430.0f}(p % kWidth + 0.5f, p / kWidth + 0.5f) < 0.0f ? 255 : 0;
  EXPECT_TRUE(VELDRA::InitSelection(0, 0, kWidth, kHeight, mask.bytes.data(), kWidth));
  if (regional) VELDRA::enableRLS(10);
  return *VELDRA_CORE::library().engine->grid;
}

// Runs `work` on a freshly seeded grid once with one thread allowed and once without a limit.
void expectSameOnOneAndMany(bool regional, const std::function<void()>& work) {
  const auto run = [&] {
    SLGrid2D& grid = seededGrid(regional);
    work();
    EXPECT_EQ(treeProblem(grid), "");
    return treeBits(grid);
  };
  const std::vector<std::uint32_t> one = onOneThread(run);
  EXPECT_TRUE(one == run());
}

class ParallelField : public ::testing::TestWithParam<bool> {};

TEST_P(ParallelField, BrushStrokesMatchOneThread) {
  // An object just inside the seeded outline, so that edge snap pulls the strokes, as a host runs them.
  const RgbaImage img = render(kWidth, kHeight, disc(kCx, kCy, 410.0), {230, 200, 40}, {30, 60, 140}, 6.0);
  SnapField snap;
  expectSameOnOneAndMany(GetParam(), [&] {
    VELDRA::MouseDown();
    for (int k = 0; k < 12; ++k) {
      const float a = 0.35f * static_cast<float>(k);
      VELDRA::SetParameter(VELDRA::PARAM_RADIUS, k % 3 == 0 ? 150 : 40);
      const int x = static_cast<int>(kCx + 400.0f * std::cos(a)), y = static_cast<int>(kCy + 400.0f * std::sin(a));
      const VELDRA::EDITMODE mode = k % 2 ? VELDRA::EDITMODE_ADD : VELDRA::EDITMODE_SUBTRACT;
      ASSERT_TRUE(hostStep(img, mode, GetParam() ? 10 : 0, x, y, snap));
    }
    VELDRA::MouseUp();
  });
}

// The extra read-outs: alpha (plain and feathered) and the traced rings of the whole image.
TEST_P(ParallelField, ExtraReadOutsMatchOneThread) {
  const auto readOuts = [&] {
    const SLGrid2D& grid = seededGrid(GetParam());
    std::vector<unsigned char> bytes(2 * kWidth * kHeight);
    VELDRA_EXTRAS_CORE::RenderAlpha(grid, 0, 0, kWidth, kHeight, bytes.data(), kWidth, 0.0f);
    VELDRA_EXTRAS_CORE::RenderAlpha(grid, 0, 0, kWidth, kHeight, bytes.data() + kWidth * kHeight, kWidth, 2.5f);
    for (const VELDRA_EXTRAS_CORE::Ring& ring : VELDRA_EXTRAS_CORE::TraceBoundary(grid, 0, 0, kWidth, kHeight))
      bytes.insert(bytes.end(), reinterpret_cast<const unsigned char*>(ring.data()),
                   reinterpret_cast<const unsigned char*>(ring.data() + ring.size()));
    return bytes;
  };
  const std::vector<unsigned char> one = veldra_test::onOneThread(readOuts);
  EXPECT_TRUE(one == readOuts());
}

INSTANTIATE_TEST_SUITE_P(RegionalOffOn, ParallelField, ::testing::Bool());

}  // namespace
