// The shared workspace: one instance however many threads reach it first, and work images of
// aligned 4-float pixels whose storage only grows.

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "edgesnap/edge_snap_constants.h"
#include "edgesnap/edge_snap_workspace.h"
#include "edgesnap/work_image.h"

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

TEST(EdgeSnapWorkspace, WorkImageGrowsNeverShrinksAndKeepsPixelsAligned) {
  WorkImage image;
  EXPECT_EQ(image.CapacityPixels(), 0u);
  image.SetSize(30, 20);
  const float* first = image.Data();
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % 16, 0u);
  EXPECT_EQ(image.RowStrideFloats(), 120);
  EXPECT_EQ(image.Pixel(3, 2) - image.Data(), (2 * 30 + 3) * 4);

  image.SetSize(20, 30);  // same pixel count, other shape
  EXPECT_EQ(image.Data(), first);
  EXPECT_EQ(image.Width(), 20);
  image.SetSize(5, 5);
  EXPECT_EQ(image.Data(), first);
  EXPECT_EQ(image.CapacityPixels(), 600u);

  image.SetSize(31, 20);
  EXPECT_GE(image.CapacityPixels(), 620u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(image.Data()) % 16, 0u);
  image.SetSize(1, 1);
  EXPECT_GE(image.CapacityPixels(), 620u);
}

}  // namespace
