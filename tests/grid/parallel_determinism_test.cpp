// The field operations that run root tiles in parallel (evolution, narrow band, redistancing) and
// whole brush strokes (which add parallel selection reads, split values and line-edit painting) must
// give bit-identical trees on one thread and on many: every node's links and channel values are
// compared after running the same work under both limits. The extra read-outs (alpha, traced rings)
// must give the same bytes.
#include <gtest/gtest.h>
#include <tbb/global_control.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include <veldra/veldra.h>

#include "api/engine.h"
#include "extras/alpha_readout.h"
#include "extras/boundary_trace.h"
#include "grid/sl_grid.h"
#include "support/harness.h"

namespace {

using VELDRA_TRW::SLGrid2D;

constexpr int kWidth = 1500, kHeight = 1300;
constexpr float kCx = 750.0f, kCy = 650.0f;

// A wobbly outline crossing many root tiles at all angles.
float blob(float x, float y) {
  const float a = std::atan2(y - kCy, x - kCx);
  return std::hypot(x - kCx, y - kCy) - (430.0f + 60.0f * std::sin(3.0f * a) + 20.0f * std::sin(8.0f * a + 1.0f));
}

// The engine's grid after seeding the blob (and the regional partition when asked).
SLGrid2D& seededGrid(bool regional) {
  VELDRA::MouseUp();  // ends a regional stroke left by an earlier run
  VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, kWidth, kHeight, false);
  for (int p = 0; p < 5; ++p) {
    int d, lo, hi;
    VELDRA::GetDefaultParameter(static_cast<VELDRA::PARAM>(p), &d, &lo, &hi);
    VELDRA::SetParameter(static_cast<VELDRA::PARAM>(p), d);
  }
  std::vector<unsigned char> mask(static_cast<std::size_t>(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      mask[static_cast<std::size_t>(y) * kWidth + x] = blob(x + 0.5f, y + 0.5f) < 0.0f ? 255 : 0;
  EXPECT_TRUE(VELDRA::InitSelection(0, 0, kWidth, kHeight, mask.data(), kWidth));
  if (regional) VELDRA::enableRLS(10);
  return *VELDRA_CORE::library().engine->grid;
}

// Every node of the block (ghost tiles included): links, level set, regional value and label.
std::vector<std::uint32_t> snapshot(const SLGrid2D& grid) {
  std::vector<std::uint32_t> out;
  grid.walk(VELDRA_TRW::Walk::AllNodes, [&](unsigned n) {
    std::uint32_t phi, rho;
    std::memcpy(&phi, &grid.levelSet[n], 4);
    std::memcpy(&rho, &grid.regional[n], 4);
    out.insert(out.end(), {n, grid.child0(n), phi, rho, grid.region[n]});
  });
  return out;
}

// Runs `work` on a freshly seeded grid once with one thread allowed and once without a limit.
void expectSameOnOneAndMany(bool regional, const std::function<void(SLGrid2D&)>& work) {
  std::vector<std::uint32_t> one, many;
  {
    tbb::global_control limit(tbb::global_control::max_allowed_parallelism, 1);
    SLGrid2D& grid = seededGrid(regional);
    work(grid);
    one = snapshot(grid);
  }
  SLGrid2D& grid = seededGrid(regional);
  work(grid);
  many = snapshot(grid);
  ASSERT_EQ(one.size(), many.size());
  EXPECT_TRUE(one == many);
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

TEST_P(ParallelField, FieldOperationsMatchOneThread) {
  const bool regional = GetParam();
  // A brush on the outline whose ring spans several tiles in both directions.
  const float bx = kCx + 430.0f, by = kCy + 40.0f, r = 60.0f, R = 300.0f;
  const Field f = inwardField(static_cast<int>(bx - R), static_cast<int>(by - R), 2 * static_cast<int>(R),
                              2 * static_cast<int>(R));
  expectSameOnOneAndMany(regional, [&](SLGrid2D& grid) {
    grid.EvolveFront(true, 10, bx, by, r, R, 1.0f, 4.0f, 50.0f, f.x, f.y, f.w, f.h, f.vx.data(), f.w, f.vy.data(), f.w);
  });
  expectSameOnOneAndMany(regional, [&](SLGrid2D& grid) { grid.UpdateNarrowBand(0, 0, 6, 6); });
  // A brush-sized box, whose leaves are listed by tiles in parallel, after a front shift so that the
  // sweeps have work.
  expectSameOnOneAndMany(regional, [&](SLGrid2D& grid) {
    grid.walk(VELDRA_TRW::Walk::AllNodes, [&](unsigned n) { grid.levelSet[n] = grid.levelSet[n] * 1.7f - 2.0f; });
    grid.Redistance(0, 0, 6, 5);
  });
}

TEST_P(ParallelField, BrushStrokesMatchOneThread) {
  const bool regional = GetParam();
  expectSameOnOneAndMany(regional, [&](SLGrid2D&) {
    std::vector<float> vx, vy;
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
