// The edit-mode machine against its transition table, exhaustively (so every stroke of events follows
// it); the brush record, the tile range and the iteration count against worked values and an
// independent double-precision reference.
#include "api/mode_machine.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>
#include <tuple>

#include "api/stroke_drivers.h"
#include "api/tile_range.h"
#include "support/tree.h"

namespace {

using namespace VELDRA_CORE;

// The transition table of a stroke, row by row (first matching row wins; rows do not overlap).
std::int32_t tableTransition(int m, std::int32_t from, bool regionalStroke, bool useRegional, int label) {
  const bool R = regionalStroke && useRegional;
  const bool brushMode = m == 0 || m == 1 || m == 2;
  if (m == 3) return 6;
  if (from == 0 && m == 0 && !regionalStroke) return 4;
  if (from == 0 && m == 1 && !regionalStroke) return 5;
  if (from == 0 && m == 2 && !regionalStroke) {
    static const std::int32_t byLabel[3] = {4, 5, 0};
    return byLabel[label];
  }
  if (brushMode && R && label == 2) return 1;
  if (brushMode && R && label != 2) return 3;
  return from;
}

TEST(ModeMachine, EveryTransitionFollowsTheTable) {
  const int modes[] = {INT_MIN, -7, -1, 0, 1, 2, 3, 4, 5, 6, 255, INT_MAX};
  for (int mode : modes)
    for (std::int32_t from = 0; from <= 6; ++from)
      for (int rs = 0; rs < 2; ++rs)
        for (int ur = 0; ur < 2; ++ur)
          for (int label = 0; label < 3; ++label) {
            int lookups = 0;
            const std::int32_t to = NextOperation(mode, from, rs != 0, ur != 0, [&] {
              ++lookups;
              return static_cast<unsigned char>(label);
            });
            EXPECT_EQ(to, tableTransition(mode, from, rs != 0, ur != 0, label))
                << "mode " << mode << " from " << from << " regionalStroke " << rs << " useRegional " << ur
                << " label " << label;
            // The label is looked up once for the brush modes and never otherwise.
            EXPECT_EQ(lookups, (mode >= 0 && mode <= 2) ? 1 : 0) << "mode " << mode;
          }
}

// ---- brush record ----

TEST(BrushRecord, FilledFromParametersAndEvent) {
  SLMain engine;
  engine.edgeSnap = -1.0f;
  engine.spare = -2.0f;
  const std::int32_t params[5] = {10, 30, 75, -40, 1000};
  FillBrushRecord(engine, params, 12.0f, 34.0f, 5.0f, 6.0f, false);
  EXPECT_TRUE(engine.brushX == 12.0f && engine.brushY == 34.0f && engine.lineStartX == 5.0f && engine.lineStartY == 6.0f);
  EXPECT_TRUE(engine.brushRadius == 10.0f && engine.smoothing == -40.0f);
  // 3.5 up to rounding: in single precision, percent times 0.01 first (0.29999998), then times the
  // radius, then plus 0.5 gives 3.49999976; other orders give 3.5 or 3.50000024.
  EXPECT_EQ(engine.innerRadius, 3.49999976f);
  EXPECT_TRUE(engine.edgeSnap == -1.0f && engine.spare == -2.0f);  // smoothing events leave the edge-snap fields
  FillBrushRecord(engine, params, 12.0f, 34.0f, 12.0f, 34.0f, true);
  EXPECT_TRUE(engine.edgeSnap == 75.0f && engine.spare == 1000.0f);
  // No core; nothing set yet (radius 0, core 0); full core at the largest radius: 100 * 0.01 * 1250 + 0.5.
  for (const auto& [radius, core, inner] : {std::tuple{10, 0, 0.5f}, std::tuple{0, 0, 0.5f}, std::tuple{1250, 100, 1250.5f}}) {
    const std::int32_t p[5] = {radius, core, 0, 0, 0};
    FillBrushRecord(engine, p, 0, 0, 0, 0, true);
    EXPECT_TRUE(engine.innerRadius == inner && engine.brushRadius == static_cast<float>(radius)) << radius;
  }
}

// ---- tile range and iteration count ----

TEST(TileRange, MatchesFloorAndCeilingOfTheTileCoordinates) {
  auto grid = veldra_test::makeGrid(5000, 3000);
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> pos(-600, 5600), size(0, 1200);
  const auto clampTo = [](double v, int n) { return static_cast<int>(std::min(std::max(v, 0.0), double(n))); };
  for (int k = 0; k < 20000; ++k) {
    const int x = pos(rng), y = pos(rng), w = size(rng), h = size(rng);
    const TileBox r = TileRangeOf(*grid, x, y, w, h);
    EXPECT_EQ(r.i0, clampTo(std::floor(x / 256.0), 20));
    EXPECT_EQ(r.j0, clampTo(std::floor(y / 256.0), 12));
    EXPECT_EQ(r.i1, clampTo(std::ceil((x + w) / 256.0), 20));
    EXPECT_EQ(r.j1, clampTo(std::ceil((y + h) / 256.0), 12));
  }
}

TEST(IterationCount, OneMorePerDoublingFromSixtyFour) {
  EXPECT_EQ(IterationCount(0.0f), 1);
  for (int r = 1; r <= 1250; ++r) {
    const int expected = r < 64 ? 1 : r < 128 ? 2 : r < 256 ? 3 : r < 512 ? 4 : r < 1024 ? 5 : 6;
    EXPECT_EQ(IterationCount(static_cast<float>(r)), expected) << r;
  }
}

}  // namespace
