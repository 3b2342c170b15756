// The exported frame: parameter table and clamping, engine lifecycle, stroke flags and the failure
// guard, exercised through the public header as a host would.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <veldra/veldra.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <random>
#include <vector>

#include "api/engine.h"

namespace {

using namespace VELDRA;

struct Range {
  int def, lo, hi;
};
// The documented table, written out independently of the library's own.
const Range kTable[5] = {{10, 1, 1250}, {30, 0, 100}, {75, 0, 100}, {100, -100, 100}, {1000, 0, 1000}};

// Defaults and ranges as documented; any value set is clamped into its parameter's range (unknown
// parameters and missing outputs are rows of the hardening table).
TEST(Parameters, DefaultsRangesAndClamping) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> any(INT_MIN, INT_MAX), near(-2000, 2000);
  for (int p = 0; p < 5; ++p) {
    int d = -7, lo = -7, hi = -7;
    ASSERT_EQ(GetDefaultParameter(static_cast<PARAM>(p), &d, &lo, &hi), 0);
    EXPECT_TRUE(d == kTable[p].def && lo == kTable[p].lo && hi == kTable[p].hi) << "parameter " << p;
    for (int k = 0; k < 2000; ++k) {
      const int v = k % 2 ? any(rng) : near(rng);
      int stored = 0;
      ASSERT_EQ(SetParameter(static_cast<PARAM>(p), v), 0);
      ASSERT_EQ(GetParameter(static_cast<PARAM>(p), &stored), 0);
      ASSERT_EQ(stored, std::clamp(v, kTable[p].lo, kTable[p].hi)) << "parameter " << p << " value " << v;
    }
  }
}

// An engine without grid until the next image; a second initialisation keeps the engine, the
// parameters and the matting radius; stroke flags reset by MouseDown / MouseUp; Deselect returns the
// tree to its root tiles and gives the node groups back.
TEST(Engine, Lifecycle) {
  ASSERT_TRUE(InitializeWithVeldraBrush(nullptr, nullptr, 300, 200, true));
  VELDRA_CORE::SLMain* engine = VELDRA_CORE::library().engine;
  ASSERT_NE(engine, nullptr);
  EXPECT_EQ(engine->grid, nullptr);
  EXPECT_EQ(InitializeImage(300, 200), 0);
  ASSERT_NE(engine->grid, nullptr);
  EXPECT_TRUE(engine->grid->ni == 2u && engine->width == 300);
  SetParameter(PARAM_CORE, 42);
  setMattingBrushRadius(7.5f);
  ASSERT_TRUE(InitializeWithVeldraBrush(nullptr, nullptr, 600, 400, false));
  int core = 0;
  GetParameter(PARAM_CORE, &core);
  EXPECT_TRUE(VELDRA_CORE::library().engine == engine && core == 42 && engine->grid->ni == 3u);
  EXPECT_TRUE(engine->mattingRadius == 7.5f && engine->mattingThreshold == 10.0f);
  engine->operation = 5;
  MouseDown();
  EXPECT_EQ(engine->operation, 0);
  enableRLS(4);
  EXPECT_TRUE(VELDRA_CORE::library().regionalStroke && engine->grid->useRegional == 1);
  engine->operation = 3;
  MouseUp();
  EXPECT_TRUE(!VELDRA_CORE::library().regionalStroke && engine->grid->useRegional == 1 && engine->operation == 0);
  enableRLS(4);
  disableRLS();
  EXPECT_TRUE(VELDRA_CORE::library().regionalStroke && engine->grid->useRegional == 0);
  MouseUp();
  VELDRA_CORE::SLGrid2D* grid = engine->grid;
  const unsigned root = grid->rootIndex(1, 1), freeBefore = grid->nodes.freeCount;
  grid->linkChildren(root, grid->nodes.allocateGroup());
  grid->levelSet[root] = -4.0f;
  Deselect();
  EXPECT_TRUE(!grid->hasChildren(root) && grid->levelSet[root] == 100.0f && grid->nodes.freeCount == freeBefore);
}

// Child process: runs `call` under a 256 MiB address-space limit and prints what left it, whether it
// reported success and whether the engine kept a grid; then lifts the limit and exits 0 only if the
// same call works.
void outOfMemoryScenario(const std::function<bool()>& call) {
  if (!InitializeWithVeldraBrush(nullptr, nullptr, 300, 200, false)) std::exit(4);
  rlimit saved{};
  getrlimit(RLIMIT_AS, &saved);
  rlimit limit = saved;
  limit.rlim_cur = 256ull << 20;
  setrlimit(RLIMIT_AS, &limit);
  const char* raised = "nothing";
  bool reported = false;
  try {
    reported = call();
  } catch (int code) {
    raised = code == 1 ? "int 1" : "another int";
  } catch (const std::bad_alloc&) {
    raised = "bad_alloc";
  } catch (...) {
    raised = "something else";
  }
  const bool hasGrid = VELDRA_CORE::currentGrid() != nullptr;
  setrlimit(RLIMIT_AS, &saved);
  std::fprintf(stderr, "raised %s, reported %d, grid %d\n", raised, reported, hasGrid);
  std::exit(call() && VELDRA_CORE::currentGrid() != nullptr ? 0 : 1);
}

// The node pools reserve far more than 256 MiB up front, and the edge-snap work images below need more
// too: each call fails as the header documents (what leaves it, whether the engine keeps a grid) and
// works once the limit is lifted.
TEST(EngineDeathTest, OutOfMemoryFailsAsDocumented) {
  // The edge snap keeps about 55 rows of 16 bytes per pixel of the block's width: 350 MB at this width.
  constexpr int kWide = 400000, kRows = 2;
  static std::vector<unsigned char> image(static_cast<std::size_t>(kWide + 24) * (kRows + 24) * 4, 128);
  static std::vector<float> snap(static_cast<std::size_t>(kWide) * kRows, -7.0f);
  const std::pair<std::function<bool()>, const char*> cases[] = {
      {[] { return InitializeWithVeldraBrush(nullptr, nullptr, 1000, 1000, false); },
       "raised nothing, reported 0, grid 0"},
      {[] { return InitializeImage(1000, 1000) == 0; }, "raised int 1, reported 0, grid 0"},
      {[] {  // the heap's failure comes before anything is written
         ComputeEdgeSnapData(kWide, kRows, image.data(), kWide + 24, snap.data(), kWide, snap.data(), kWide);
         return snap.front() != -7.0f;
       },
       "raised bad_alloc, reported 0, grid 1"},
  };
  for (const auto& [call, outcome] : cases)
    EXPECT_EXIT(outOfMemoryScenario(call), ::testing::ExitedWithCode(0), outcome) << outcome;
}

}  // namespace
