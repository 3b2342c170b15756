// Running out of memory in the middle of an edit. Each scenario runs in a child process: it builds a
// selection, takes every free node group so that the edit's first split must grow the pools, and
// lowers the process limits to what it already uses. The edit must then return false and leave a
// consistent tree (graded, every interior leaf visited once), and once the limits are lifted the same
// edit must work. A control run of the same edit under the same limits, without the free groups
// taken, must work: so the failure comes from the pools' growth and not from anything else the
// limits would refuse.
//
// Why the data-segment limit and not only the address-space limit: the pools reserve address space
// up front (eight times what they commit) and commit by making a prefix of the reservation readable
// and writable. The reservation already counts towards the address space, so lowering RLIMIT_AS,
// however far, never refuses such a commit; only new reservations. The kernel checks a protection
// change that makes private pages writable against RLIMIT_DATA, so that limit is what makes a commit
// fail. Both are lowered: RLIMIT_DATA for commits, RLIMIT_AS for new reservations.
//
// Sanitizer builds cannot run with a lowered address-space limit (their shadow memory is a huge
// reservation), hence "Death" in the names, which the sanitizer run of the suite skips.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "grid/tree_validity.h"
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
// 64 MiB above the current size, so that no new reservation can be made. The address-space limit must
// leave room for the pages being committed: the kernel refuses a commit over the data limit only when
// the same pages would have fitted the address-space limit without write access (their reservation
// is counted a second time in that check), so a tighter address-space limit lets every commit through.
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
  explicit HeldGroups(bool take) {
    while (take && grid().nodes.freeCount >= 4) held_.push_back(grid().nodes.allocateGroup());
  }
  void release() {
    for (unsigned g : held_) grid().nodes.releaseGroupLocked(g);
    held_.clear();
  }

 private:
  std::vector<unsigned> held_;
};

// Exit code of the child: 0 when every expectation holds, otherwise a bit per broken one.
//   starve: the edit fails under the limits (1), leaves a consistent tree (2), keeps no node group
//           outside the tree once the held ones are back (8), and works once the limits are lifted (4);
//   control: the edit works under the limits (1) and leaves a consistent tree (2).
// A failed edit keeps what it did before running out (the tree stays consistent, not unchanged).
int faultScenario(const std::function<void()>& setup, const std::function<bool()>& edit, bool starve,
                  bool groupsKept) {
  // The general heap keeps 16 MiB free in one arena from here on, so that an edit's work lists come
  // from it under the limits (their failure would be a std::bad_alloc, not the pools' failure).
  mallopt(M_ARENA_MAX, 1);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
  void* volatile reserve = std::malloc(16 << 20);  // volatile: the pair must not be optimised away
  std::free(reserve);
  enterState(State::Seeded);
  setup();
  HeldGroups groups(starve);
  const unsigned capacity = grid().nodes.capacity();
  bool failed = false;
  {
    const Limits limits(32 << 10);
    failed = !edit();
  }
  groups.release();
  const std::string afterEdit = VELDRA_TRW::TreeProblem(grid(), false);
  const std::string accounting = VELDRA_TRW::TreeProblem(grid(), true);
  std::fprintf(stderr, "%s: failed %d, capacity %u -> %u, tree '%s', node groups '%s'\n",
               starve ? "starved" : "control", failed, capacity, grid().nodes.capacity(), afterEdit.c_str(),
               accounting.c_str());
  if (!starve) return (failed ? 1 : 0) | (afterEdit.empty() ? 0 : 2);
  int code = (failed ? 0 : 1) | (afterEdit.empty() ? 0 : 2) | (groupsKept && !accounting.empty() ? 8 : 0);
  const bool worked = edit();
  const std::string afterRetry = VELDRA_TRW::TreeProblem(grid(), false);
  std::fprintf(stderr, "retry %d, tree '%s'\n", worked, afterRetry.c_str());
  if (!worked || !afterRetry.empty()) code |= 4;
  return code;
}

void expectFaultHandled(const std::function<void()>& setup, const std::function<bool()>& edit,
                        bool groupsKept = true) {
  EXPECT_EXIT(std::exit(faultScenario(setup, edit, false, groupsKept)), ::testing::ExitedWithCode(0), "")
      << "control: the edit must fit the limits when no pool has to grow";
  EXPECT_EXIT(std::exit(faultScenario(setup, edit, true, groupsKept)), ::testing::ExitedWithCode(0), "");
}

void nothing() {}

// Edge-snap arrays for a host brush box; kept alive for the whole child process.
struct HostBrush {
  veldra_test::RgbaImage image =
      veldra_test::render(kImageWidth, kImageHeight, veldra_test::disc(150, 100, 60), {220, 190, 40}, {30, 60, 140});
  veldra_test::SnapField snap;
};

HostBrush& hostBrush() {
  static HostBrush brush;
  return brush;
}

// The brush's image and arrays are made before the limits are lowered.
void startStroke() {
  hostBrush();
  VELDRA::MouseDown();
}

bool stepAtRim() {
  return veldra_test::hostStep(hostBrush().image, VELDRA::EDITMODE_SUBTRACT, 0, 40, 40, hostBrush().snap);
}

TEST(MemoryFaultsDeathTest, InitSelection) {
  // A ring-shaped mask over the whole image: seeding splits down to single pixels along both edges.
  static std::vector<unsigned char> mask(static_cast<std::size_t>(kImageWidth) * kImageHeight);
  for (int y = 0; y < kImageHeight; ++y)
    for (int x = 0; x < kImageWidth; ++x) {
      const int dx = x - 100, dy = y - 120, d2 = dx * dx + dy * dy;
      mask[static_cast<std::size_t>(y) * kImageWidth + x] = d2 < 70 * 70 && d2 > 30 * 30 ? 255 : 0;
    }
  expectFaultHandled(nothing, [] {
    return VELDRA::InitSelection(0, 0, kImageWidth, kImageHeight, mask.data(), kImageWidth);
  });
}

// A step that runs out in its refinement pass also gives back the node groups it took before the
// failure (checked by the node-group accounting).
TEST(MemoryFaultsDeathTest, Step) { expectFaultHandled(startStroke, stepAtRim); }

TEST(MemoryFaultsDeathTest, AddDeleteLine) {
  expectFaultHandled([] { VELDRA::MouseDown(); },
                     [] { return VELDRA::AddDeleteLine(VELDRA::EDITMODE_ADD, 20, 170, 280, 30); });
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
