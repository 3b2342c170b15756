// The row-parallel stages give the same bits on one thread and on all of them, and the shared work
// images are reused without reallocation once they are large enough.

#include <gtest/gtest.h>

#include <cstring>

#include "edgesnap/edge_snap_test_images.h"
#include "edgesnap/edge_snap_workspace.h"
#include "support/harness.h"

namespace {

using edge_snap_test::ColourBlock;
using edge_snap_test::Compute;
using edge_snap_test::SnapArrays;

TEST(EdgeSnapParallel, OneThreadAndAllThreadsGiveIdenticalBits) {
  const int sizes[][2] = {{64, 64}, {203, 131}, {517, 37}, {3, 300}};
  for (const auto& size : sizes) {
    const ColourBlock block = edge_snap_test::ShapesBlock(size[0], size[1], 17u + size[0]);
    const SnapArrays parallel = Compute(block), serial = veldra_test::onOneThread([&] { return Compute(block); });
    EXPECT_EQ(std::memcmp(parallel.x.data(), serial.x.data(), parallel.x.size() * sizeof(float)), 0) << size[0] << "x" << size[1];
    EXPECT_EQ(std::memcmp(parallel.y.data(), serial.y.data(), parallel.y.size() * sizeof(float)), 0) << size[0] << "x" << size[1];
  }
}

TEST(EdgeSnapParallel, WorkImagesGrowAndAreReusedWithoutReallocation) {
  auto& workspace = VELDRA_EDGESNAP::SharedEdgeSnapWorkspace();
  Compute(edge_snap_test::RandomBlock(120, 90, 0, 1));
  const float* colour = workspace.colour.Data();
  const float* scratch = workspace.scratch.Data();
  const float* orientation = workspace.orientation.Data();
  const std::size_t capacity = workspace.colour.CapacityPixels();
  EXPECT_GE(capacity, std::size_t(144 * 114));
  EXPECT_EQ(workspace.orientation.Width(), 122);
  EXPECT_EQ(workspace.orientation.Height(), 92);

  Compute(edge_snap_test::RandomBlock(40, 100, 0, 2));  // fewer pixels, taller
  EXPECT_EQ(workspace.colour.Data(), colour);
  EXPECT_EQ(workspace.scratch.Data(), scratch);
  EXPECT_EQ(workspace.orientation.Data(), orientation);
  EXPECT_EQ(workspace.colour.CapacityPixels(), capacity);
  EXPECT_EQ(workspace.colour.Width(), 64);
  EXPECT_EQ(workspace.colour.Height(), 124);

  Compute(edge_snap_test::RandomBlock(200, 150, 0, 3));
  const std::size_t grown = workspace.colour.CapacityPixels();
  EXPECT_GE(grown, std::size_t(224 * 174));
  Compute(edge_snap_test::RandomBlock(8, 8, 0, 4));
  EXPECT_EQ(workspace.colour.CapacityPixels(), grown);
}

TEST(EdgeSnapParallel, AnEmptiedKernelIsRefilledBeforeUse) {
  const ColourBlock block = edge_snap_test::ShapesBlock(30, 20, 8);
  const SnapArrays before = Compute(block);
  auto& kernel = VELDRA_EDGESNAP::SharedEdgeSnapWorkspace().kernel;
  kernel.assign(3, 1.0f);  // fewer than four taps: not a usable kernel
  const SnapArrays after = Compute(block);
  EXPECT_EQ(kernel.size(), 21u);
  EXPECT_EQ(std::memcmp(before.x.data(), after.x.data(), before.x.size() * sizeof(float)), 0);
}

}  // namespace
