// Snapshots through the exported functions: after random strokes a restore gives back every bit of
// the selection state (pools below the allocator's used end, free list, flags: the read-outs follow),
// strokes after a restore repeat those made after the snapshot exactly, and a snapshot holds only the
// used part of the pools (leaks are left to the sanitizers).
#include <gtest/gtest.h>

#include <random>
#include <string>

#include <veldra/veldra_extras.h>

#include "api/engine.h"
#include "support/host.h"

using namespace VELDRA_EXTRAS;
using namespace veldra_test;

namespace {

constexpr int kW = 300, kH = 200;

const RgbaImage& Picture() {
  static const RgbaImage img = render(kW, kH, disc(150, 100, 60), {220, 190, 40}, {30, 60, 140}, 20.0);
  return img;
}

void Start() {
  defaultParameters();
  VELDRA::InitializeWithVeldraBrush(nullptr, nullptr, kW, kH, false);
  seedSelection(kW, kH, disc(150, 100, 60));
}

// Strokes of six events along random short walks, adding or removing, radii 8 to 70; the regional
// ones paint the boundary band.
void RandomStrokes(std::uint32_t seed, int count, bool regional) {
  std::mt19937 rng(seed);
  SnapField snap;
  for (int k = 0; k < count; ++k) {
    VELDRA::SetParameter(VELDRA::PARAM_RADIUS, 8 + static_cast<int>(rng() % 63));
    int x = 40 + static_cast<int>(rng() % 220), y = 30 + static_cast<int>(rng() % 140);
    VELDRA::MouseDown();
    if (regional) VELDRA::enableRLS(8);
    for (int e = 0; e < 6; ++e, x += static_cast<int>(rng() % 21) - 10, y += static_cast<int>(rng() % 21) - 10)
      ASSERT_TRUE(hostStep(Picture(), rng() % 2 ? VELDRA::EDITMODE_ADD : VELDRA::EDITMODE_SUBTRACT, regional ? 8 : 0, x, y, snap));
    VELDRA::MouseUp();
  }
}

// Everything a later call can see, independent of how much capacity the pools have beyond it.
std::string State() {
  const VELDRA_TRW::SLGrid2D& g = *VELDRA_CORE::currentGrid();
  const std::uint32_t used = g.nodes.usedEnd;
  std::string s;
  const auto append = [&s](const void* data, std::size_t bytes) { s.append(static_cast<const char*>(data), bytes); };
  using Block = const VELDRA_TRW::TarrowAllocator*;
  for (Block pool : {Block{&g.child0Pool}, Block{&g.parentPool}, Block{&g.flagsPool}, Block{&g.levelSet}, Block{&g.temp},
                     Block{&g.temp2}, Block{&g.regional}})
    append(pool->rawData, 4 * used);
  append(g.region.rawData, used);
  append(g.regionTmp.rawData, used);
  append(g.nodes.rawData, 2 * used);  // free-list links
  const std::uint32_t scalars[] = {g.nodes.freeHead, g.nodes.freeTail < used ? g.nodes.freeTail : 0xFFFFFFFFu,
                                   g.nodes.capacity() - g.nodes.freeCount, used, g.useRegional,
                                   VELDRA_CORE::library().regionalStroke,
                                   static_cast<std::uint32_t>(VELDRA_CORE::library().engine->operation)};
  append(scalars, sizeof scalars);
  append(g.refineWork.tilesMarked.data(), g.refineWork.tilesMarked.size());
  return s;
}

TEST(Snapshot, RestorePutsEveryBitBackAndLaterStrokesRepeat) {
  Start();
  RandomStrokes(1, 5, false);
  VELDRA::enableRLS(8);  // a regional stroke begun (the partition itself off again)
  VELDRA::disableRLS();
  const SnapshotHandle snapshot = TakeSnapshot();
  ASSERT_NE(snapshot, 0u);
  const std::string atSnapshot = State();
  const std::uint32_t usedAtSnapshot = VELDRA_CORE::currentGrid()->nodes.usedEnd;
  // Later strokes grow the pools past the snapshot's used end and turn the regional partition on.
  const auto later = [] {
    VELDRA::SetParameter(VELDRA::PARAM_CORE, 100);
    RandomStrokes(2, 6, false);
    RandomStrokes(3, 2, true);
    return State();
  };
  const std::string afterLater = later();
  EXPECT_GT(VELDRA_CORE::currentGrid()->nodes.usedEnd, usedAtSnapshot);
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(RestoreSnapshot(snapshot));
    EXPECT_TRUE(State() == atSnapshot) << "round " << round;
    EXPECT_TRUE(later() == afterLater) << "round " << round;
  }
  // A new grid of the same size takes the snapshot.
  VELDRA::InitializeImage(kW, kH);
  ASSERT_TRUE(RestoreSnapshot(snapshot));
  EXPECT_TRUE(State() == atSnapshot);
  // The snapshot holds the used part of the pools (32 bytes a node).
  EXPECT_GE(SnapshotBytes(snapshot), 32ll * usedAtSnapshot);
  EXPECT_LT(SnapshotBytes(snapshot), 32ll * usedAtSnapshot + 4096);
  ReleaseSnapshot(snapshot);
}

// Thousands of take / restore / release and trace / release cycles: under the sanitizer build any
// handle that keeps its memory is reported as a leak, and the registries stay usable throughout.
TEST(Snapshot, ThousandsOfCyclesKeepNothing) {
  Start();
  for (int k = 0; k < 2000; ++k) {
    const SnapshotHandle snapshot = TakeSnapshot();
    const PathHandle path = TraceSelectionPath(0, 0, kW, kH, 0.5f);
    ASSERT_TRUE(snapshot != 0 && path != 0 && RestoreSnapshot(snapshot)) << "cycle " << k;
    ReleasePath(path);
    ReleaseSnapshot(snapshot);
  }
}

}  // namespace
