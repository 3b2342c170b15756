// The pipeline's bands of rows give the same bits on one thread and on all of them, and the same bits
// as a single band over the whole block.

#include <gtest/gtest.h>

#include <cstring>

#include "edgesnap/edge_snap_test_images.h"
#include "edgesnap/edge_snap_stages.h"
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

// Bands start their rows afresh: any split of a block into bands must give the bits of one band over
// the whole block, and a band's rows, once large enough, are reused.
TEST(EdgeSnapParallel, BandsGiveTheBitsOfOneBandAndReuseTheirRows) {
  using namespace VELDRA_EDGESNAP;
  const int sizes[][2] = {{40, 32}, {203, 131}, {9, 700}, {130, 97}};
  for (const auto& size : sizes) {
    const int w = size[0], h = size[1];
    ASSERT_GE(BandCount(h), 2);
    const ColourBlock block = edge_snap_test::ShapesBlock(w, h, 5u + w);
    const SnapArrays banded = Compute(block, 0);
    SnapArrays whole(w, h, 0);
    EdgeSnapWorkspace workspace;
    PrepareBand(workspace.bands[0], w);
    RunBand(BestRowKernels(), workspace.bands[0], workspace.kernel.data(), w, 0, h, block.bytes.data(), block.stride,
            whole.X(), whole.stride, whole.Y(), whole.stride);
    EXPECT_EQ(std::memcmp(banded.x.data(), whole.x.data(), whole.x.size() * sizeof(float)), 0) << w << "x" << h;
    EXPECT_EQ(std::memcmp(banded.y.data(), whole.y.data(), whole.y.size() * sizeof(float)), 0) << w << "x" << h;
    const float* rows = workspace.bands[0].rowBlurred.Data();
    PrepareBand(workspace.bands[0], w / 2);
    EXPECT_EQ(workspace.bands[0].rowBlurred.Data(), rows);
  }
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
