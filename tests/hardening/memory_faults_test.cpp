// Running out of address space in the middle of an edit. Each scenario runs in a child process: it
// builds a selection, takes every free node group so that the edit's first split must grow the
// pools, and lowers the address-space and data-segment limits to what the process already uses.
// The edit must then return false, leave a consistent tree, and once the limits are lifted the same
// edit must work. (The pools commit memory by changing page protection inside a reservation, which
// only the data-segment limit sees; the address-space limit catches new reservations.) Sanitizer
// builds cannot run with a lowered address-space limit, hence "Death" in the names, which the
// sanitizer run of the suite skips.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "fuzz/tree_checks.h"
#include "hardening/library_state.h"

namespace {

using veldra_hardening::enterState;
using veldra_hardening::kImageHeight;
using veldra_hardening::kImageWidth;
using veldra_hardening::State;

// A field of /proc/self/status in bytes ("VmSize", "VmData").
long long statusBytes(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(key) + ":";
  while (std::getline(status, line))
    if (line.rfind(prefix, 0) == 0) return std::atoll(line.c_str() + prefix.size()) * 1024LL;
  return -1;
}

// The data-segment limit at what the process uses now plus `slack` bytes; the address-space limit
// 64 MiB above the current size, so that no new reservation can be made. (The kernel checks the
// data limit when a protection change makes pages writable only while the address-space limit still
// has room for those pages; a tighter address-space limit would let every commit through.)
class Limits {
 public:
  explicit Limits(long long slack) {
    getrlimit(RLIMIT_AS, &savedAs_);
    getrlimit(RLIMIT_DATA, &savedData_);
    rlimit as = savedAs_, data = savedData_;
    as.rlim_cur = static_cast<rlim_t>(statusBytes("VmSize") + (64LL << 20));
    data.rlim_cur = static_cast<rlim_t>(statusBytes("VmData") + slack);
    setrlimit(RLIMIT_DATA, &data);
    setrlimit(RLIMIT_AS, &as);
  }
  ~Limits() {
    setrlimit(RLIMIT_AS, &savedAs_);
    setrlimit(RLIMIT_DATA, &savedData_);
  }

 private:
  rlimit savedAs_{}, savedData_{};
};

VELDRA_TRW::SLGrid2D& grid() { return *VELDRA_CORE::currentGrid(); }

// Takes every free node group (so the next split must grow the pools) and gives them back later.
class HeldGroups {
 public:
  HeldGroups() {
    while (grid().nodes.freeCount >= 4) held_.push_back(grid().nodes.allocateGroup());
  }
  void release() {
    for (unsigned g : held_) grid().nodes.releaseGroupLocked(g);
    held_.clear();
  }

 private:
  std::vector<unsigned> held_;
};

// Exit code of the child: 0 when the edit failed under the limits, left a consistent tree, and
// worked once they were lifted; otherwise a bit per broken expectation.
int faultScenario(const std::function<void()>& setup, const std::function<bool()>& edit) {
  enterState(State::Seeded);
  setup();
  HeldGroups groups;
  const unsigned capacity = grid().nodes.capacity();
  bool failed = false;
  {
    const Limits limits(32 << 10);
    failed = !edit();
  }
  groups.release();
  int code = 0;
  if (!failed) code |= 1;
  const std::string afterFailure = veldra_fuzz::treeProblem(grid(), false);
  if (!afterFailure.empty()) code |= 2;
  const bool worked = edit();
  const std::string afterRetry = veldra_fuzz::treeProblem(grid(), false);
  if (!worked || !afterRetry.empty()) code |= 4;
  std::fprintf(stderr, "failed %d, capacity %u -> %u, after failure '%s', retry %d '%s'\n", failed, capacity,
               grid().nodes.capacity(), afterFailure.c_str(), worked, afterRetry.c_str());
  return code;
}

void expectFaultHandled(const std::function<void()>& setup, const std::function<bool()>& edit) {
  EXPECT_EXIT(std::exit(faultScenario(setup, edit)), ::testing::ExitedWithCode(0), "");
}

void nothing() {}

// Edge-snap arrays for a host brush box; kept alive for the whole child process.
struct HostBrush {
  veldra_test::RgbaImage image =
      veldra_test::render(kImageWidth, kImageHeight, veldra_test::disc(150, 100, 60), {220, 190, 40}, {30, 60, 140});
  veldra_test::SnapField snap;
};

TEST(MemoryFaultsDeathTest, InitSelection) {
  // A ring-shaped mask over the whole image: seeding splits down to single pixels along both edges.
  static std::vector<unsigned char> mask(static_cast<std::size_t>(kImageWidth) * kImageHeight);
  for (int y = 0; y < kImageHeight; ++y)
    for (int x = 0; x < kImageWidth; ++x) {
      const int dx = x - 100, dy = y - 120, d2 = dx * dx + dy * dy;
      mask[static_cast<std::size_t>(y) * kImageWidth + x] = d2 < 70 * 70 && d2 > 30 * 30 ? 255 : 0;
    }
  expectFaultHandled(nothing, [] { return VELDRA::InitSelection(0, 0, kImageWidth, kImageHeight, mask.data(), kImageWidth); });
}

TEST(MemoryFaultsDeathTest, Step) {
  static HostBrush brush;
  expectFaultHandled([] { VELDRA::MouseDown(); },
                     [] { return veldra_test::hostStep(brush.image, VELDRA::EDITMODE_SUBTRACT, 0, 40, 40, brush.snap); });
}

TEST(MemoryFaultsDeathTest, AddDeleteLine) {
  expectFaultHandled([] { VELDRA::MouseDown(); }, [] { return VELDRA::AddDeleteLine(VELDRA::EDITMODE_ADD, 20, 170, 280, 30); });
}

// Only root tiles, holding the distance to a slanted line through the image: every refinement must
// split along it.
void coarseLineField() {
  VELDRA::Deselect();
  VELDRA_TRW::SLGrid2D& g = grid();
  for (int j = -g.gj; j < static_cast<int>(g.nj) + g.gj; ++j)
    for (int i = -g.gi; i < static_cast<int>(g.ni) + g.gi; ++i) {
      const float cx = (static_cast<float>(i) + 0.5f) * 256.0f, cy = (static_cast<float>(j) + 0.5f) * 256.0f;
      g.levelSet[g.rootIndex(i, j)] = (cx - 150.0f) * 0.8f + (cy - 100.0f) * 0.6f;
    }
}

// Gives up the finest cells of front leaves inside [x0, x1) x [y0, y1): every level-7 node whose four
// children are leaves with both signs becomes a leaf holding their mean. The tree stays graded (the
// new leaf's neighbours have children at most), but the front now runs through cells coarser than
// the refinement wants, as after a coarsening pass, so the next refinement there must split.
int coarsenFront(int x0, int y0, int x1, int y1) {
  VELDRA_TRW::SLGrid2D& g = grid();
  std::vector<unsigned> chosen;
  g.forEachLeafInTiles(0, 0, static_cast<int>(g.ni), static_cast<int>(g.nj), [&](unsigned n, float cx, float cy, float) {
    const unsigned p = g.parent(n);
    if ((n & 3u) != 0 || p == VELDRA_TRW::NO_NODE || g.level(p) != 7 || cx < x0 || cy < y0 || cx >= x1 || cy >= y1) return;
    float lo = g.levelSet[n], hi = lo, sum = 0.0f;
    for (unsigned k = 0; k < 4; ++k) {
      if (g.hasChildren(n + k)) return;
      lo = std::min(lo, g.levelSet[n + k]);
      hi = std::max(hi, g.levelSet[n + k]);
      sum += g.levelSet[n + k];
    }
    if (lo < 0.0f && hi > 0.0f) {
      g.levelSet[p] = 0.25f * sum;
      chosen.push_back(p);
    }
  });
  for (unsigned p : chosen) g.deleteSubtree(p);
  return static_cast<int>(chosen.size());
}

TEST(MemoryFaultsDeathTest, Smoothen) {
  expectFaultHandled(
      [] {
        VELDRA::SetParameter(VELDRA::PARAM_RADIUS, 40);
        if (coarsenFront(100, 40, 200, 160) == 0 || !grid().checkGrading()) std::exit(8);
      },
      [] { return VELDRA::Smoothen(150, 100, 100, 40, 100, 120); });
}

TEST(MemoryFaultsDeathTest, RefineSelection) {
  expectFaultHandled(coarseLineField, [] { return VELDRA::RefineSelection(3); });
}

}  // namespace
