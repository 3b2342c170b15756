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

// Exit code of the child: 0 when every expectation holds, otherwise a bit per broken one.
//   starve: the edit fails under the limits (1), leaves a consistent tree (2), keeps no node group
//           outside the tree once the held ones are back (8), and works once the limits are lifted (4);
//   control: the edit works under the limits (1) and leaves a consistent tree (2).
// A failed edit keeps what it did before running out (the tree stays consistent, not unchanged).
int faultScenario(const std::function<void()>& setup, const std::function<bool()>& edit, bool starve) {
  // The general heap keeps 16 MiB free in one arena from here on, so that an edit's work lists come
  // from it under the limits (their failure would be a std::bad_alloc, not the pools' failure).
  mallopt(M_ARENA_MAX, 1);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
  void* volatile reserve = std::malloc(16 << 20);  // volatile: the pair must not be optimised away
  std::free(reserve);
  enterState(State::Seeded);
  setup();
  // Starving: every free node group is held, so that the next split must grow the pools.
  std::vector<unsigned> held;
  while (starve && grid().nodes.freeCount >= 4) held.push_back(grid().nodes.allocateGroup());
  const unsigned capacity = grid().nodes.capacity();
  bool failed = false;
  {
    const Limits limits(32 << 10);
    failed = !edit();
  }
  for (unsigned g : held) grid().nodes.releaseGroupLocked(g);
  const std::string afterEdit = VELDRA_TRW::TreeProblem(grid(), false);
  const std::string accounting = VELDRA_TRW::TreeProblem(grid(), true);
  std::fprintf(stderr, "%s: failed %d, capacity %u -> %u, tree '%s', node groups '%s'\n",
               starve ? "starved" : "control", failed, capacity, grid().nodes.capacity(), afterEdit.c_str(),
               accounting.c_str());
  if (!starve) return (failed ? 1 : 0) | (afterEdit.empty() ? 0 : 2);
  int code = (failed ? 0 : 1) | (afterEdit.empty() ? 0 : 2) | (accounting.empty() ? 0 : 8);
  const bool worked = edit();
  const std::string afterRetry = VELDRA_TRW::TreeProblem(grid(), false);
  std::fprintf(stderr, "retry %d, tree '%s'\n", worked, afterRetry.c_str());
  if (!worked || !afterRetry.empty()) code |= 4;
  return code;
}

void expectFaultHandled(const std::function<void()>& setup, const std::function<bool()>& edit) {
  EXPECT_EXIT(std::exit(faultScenario(setup, edit, false)), ::testing::ExitedWithCode(0), "")
      << "control: the edit must fit the limits when no pool has to grow";
  EXPECT_EXIT(std::exit(faultScenario(setup, edit, true)), ::testing::ExitedWithCode(0), "");
}

// Edge-snap arrays for a host brush box, made before the limits are lowered.
struct HostBrush {
  veldra_test::RgbaImage image =
      veldra_test::render(kImageWidth, kImageHeight, veldra_test::disc(150, 100, 60), {220, 190, 40}, {30, 60, 140});
  veldra_test::SnapField snap;
};
HostBrush* brush = nullptr;  // lives for the whole child process

TEST(MemoryFaultsDeathTest, InitSelection) {
  // A disc unlike the seeded one: seeding splits down to single pixels along its outline.
  static veldra_test::Mask mask = veldra_test::discMask(kImageWidth, kImageHeight, 100.0f, 120.0f, 70.0f);
  expectFaultHandled([] {}, [] {
    return VELDRA::InitSelection(0, 0, kImageWidth, kImageHeight, mask.bytes.data(), kImageWidth);
  });
}

// A step that runs out in its refinement pass also gives back the node groups it took before the
// failure (checked by the node-group accounting).
TEST(MemoryFaultsDeathTest, Step) {
  expectFaultHandled([] {
    brush = new HostBrush;
    VELDRA::MouseDown();
  }, [] { return veldra_test::hostStep(brush->image, VELDRA::EDITMODE_SUBTRACT, 0, 40, 40, brush->snap); });
}

TEST(MemoryFaultsDeathTest, AddDeleteLine) {
  expectFaultHandled([] { VELDRA::MouseDown(); },
                     [] { return VELDRA::AddDeleteLine(VELDRA::EDITMODE_ADD, 20, 170, 280, 30); });
}

}  // namespace
