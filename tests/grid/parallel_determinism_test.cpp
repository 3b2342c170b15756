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
    return treeBits(grid);
  };
  const std::vector<std::uint32_t> one = onOneThread(run);
  EXPECT_TRUE(one == run());
}

// An edge vector field pointing inward, as a host's edge snap data might near a boundary.
struct Field {
  int x, y, w, h;
  std::vector<float> vx, vy;
};

Field inwardField(int x, int y, int w, int h) {
  Field f{x, y, w, h, std::vector<float>(static_cast<std::size_t>(w) * h), std::vector<float>(static_cast<std::size_t>(w) * h)};
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      const float px = static_cast<float>(x + c) - kCx, py = static_cast<float>(y + r) - kCy;
      const float len = std::hypot(px, py) + 1.0f;
      f.vx[static_cast<std::size_t>(r) * w + c] = -px / len;
      f.vy[static_cast<std::size_t>(r) * w + c] = -py / len;
    }
  return f;
}

class ParallelField : public ::testing::TestWithParam<bool> {};

TEST_P(ParallelField, BrushStrokesMatchOneThread) {
  const bool regional = GetParam();
  expectSameOnOneAndMany(regional, [&] {
    VELDRA::MouseDown();
    for (int k = 0; k < 12; ++k) {
      const float a = 0.35f * static_cast<float>(k);
      const int radius = k % 3 == 0 ? 150 : 40;
      VELDRA::SetParameter(VELDRA::PARAM_RADIUS, radius);
      const int x = static_cast<int>(kCx + 400.0f * std::cos(a)), y = static_cast<int>(kCy + 400.0f * std::sin(a));
      const Field f = inwardField(x - radius - 12, y - radius - 12, 2 * radius + 24, 2 * radius + 24);
      ASSERT_TRUE(VELDRA::Step(k % 2 ? VELDRA::EDITMODE_ADD : VELDRA::EDITMODE_SUBTRACT, regional ? 10 : 0, x, y,
                               f.x, f.y, f.w, f.h, const_cast<float*>(f.vx.data()), f.w,
                               const_cast<float*>(f.vy.data()), f.w));
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
