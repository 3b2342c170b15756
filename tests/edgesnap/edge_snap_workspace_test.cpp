// The shared workspace: one instance however many threads reach it first, holding the blur kernel.

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "edgesnap/edge_snap_constants.h"
#include "edgesnap/edge_snap_workspace.h"

namespace {

using namespace VELDRA_EDGESNAP;

// Must be the first use of the workspace in this process: a test binary of its own.
TEST(EdgeSnapWorkspace, ConcurrentFirstUseCreatesOneWorkspace) {
  constexpr int kThreads = 8;
  std::vector<EdgeSnapWorkspace*> seen(kThreads, nullptr);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&seen, i] {
      seen[i] = &SharedEdgeSnapWorkspace();
    });
  for (std::thread& t : threads) t.join();
  for (EdgeSnapWorkspace* w : seen) EXPECT_EQ(w, seen[0]);
  ASSERT_EQ(seen[0]->kernel.size(), std::size_t(kKernelTaps));
  for (int k = 0; k < kKernelTaps; ++k) {
    EXPECT_EQ(seen[0]->kernel[k], kGaussianTaps[k]);
    EXPECT_EQ(seen[0]->kernel[k], seen[0]->kernel[kKernelTaps - 1 - k]);  // symmetric
  }
}

}  // namespace
