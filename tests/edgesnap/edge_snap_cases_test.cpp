// Behaviour of the exported entry on blocks whose result is known, and on out-of-contract input.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "edgesnap/edge_snap_test_images.h"

namespace {

using VELDRA_EDGESNAP::ComputeEdgeSnapData;
using edge_snap_test::ColourBlock;
using edge_snap_test::Compute;
using edge_snap_test::SnapArrays;

bool AllSentinel(const std::vector<float>& values) {
  return std::all_of(values.begin(), values.end(), [](float v) { return v == SnapArrays::kSentinel; });
}

TEST(EdgeSnapCases, UniformBlocksGiveZero) {
  for (const auto& [r, g, b] : {std::tuple{0, 0, 0}, std::tuple{255, 255, 255}, std::tuple{12, 200, 77}, std::tuple{128, 128, 129}}) {
    const SnapArrays out = Compute(edge_snap_test::UniformBlock(37, 21, r, g, b), 3);
    for (int y = 0; y < 21; ++y)
      for (int x = 0; x < 37; ++x) ASSERT_TRUE(out.AtX(x, y) == 0.0f && out.AtY(x, y) == 0.0f) << x << "," << y;
  }
}

// A dark-to-light step between image columns kEdge - 1 and kEdge: the direction is along x, and the
// field points at the step from both sides, growing towards it.
TEST(EdgeSnapCases, VerticalStepEdgePullsTowardsTheEdgeFromBothSides) {
  constexpr int kW = 48, kH = 20, kEdge = 12 + 24;
  const SnapArrays out = Compute(edge_snap_test::VerticalStepBlock(kW, kH, kEdge), 0);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const int column = x + 12;  // image column described by output pixel x
      EXPECT_EQ(out.AtY(x, y), 0.0f) << x << "," << y;
      EXPECT_TRUE(column < kEdge - 8 || column > kEdge - 2 || out.AtX(x, y) > 0.0f) << x;
      EXPECT_TRUE(column < kEdge + 1 || column > kEdge + 7 || out.AtX(x, y) < 0.0f) << x;
    }
    // Closer to the step, a stronger pull; far from it the block is flat and nothing pulls.
    EXPECT_GT(out.AtX(kEdge - 12 - 3, y), out.AtX(kEdge - 12 - 7, y));
    EXPECT_LT(out.AtX(kEdge - 12 + 2, y), out.AtX(kEdge - 12 + 6, y));
    EXPECT_TRUE(out.AtX(0, y) == 0.0f && out.AtX(kW - 1, y) == 0.0f);
  }
}

TEST(EdgeSnapCases, FourthByteHasNoInfluence) {
  ColourBlock block = edge_snap_test::ShapesBlock(45, 33, 9);
  const SnapArrays first = Compute(block, 2);
  std::mt19937 random(77);
  for (std::size_t i = 3; i < block.bytes.size(); i += 4) block.bytes[i] = static_cast<unsigned char>(random());
  const SnapArrays second = Compute(block, 2);
  EXPECT_TRUE(first.x == second.x && first.y == second.y);
}

TEST(EdgeSnapCases, WritesExactlyTheBlockOfEachArray) {
  for (const auto& [w, h, extra] : {std::tuple{1, 1, 0}, std::tuple{1, 4, 3}, std::tuple{7, 2, 5}, std::tuple{33, 17, 0}, std::tuple{40, 9, 11}}) {
    const SnapArrays out = Compute(edge_snap_test::RandomBlock(w, h, 2, 5u + unsigned(w)), extra);
    for (std::size_t i = 0; i < out.x.size(); ++i) {
      ASSERT_EQ(out.x[i] != SnapArrays::kSentinel, out.InsideBlock(i)) << w << "x" << h << " index " << i;
      ASSERT_EQ(out.y[i] != SnapArrays::kSentinel, out.InsideBlock(i)) << w << "x" << h << " index " << i;
    }
  }
}

TEST(EdgeSnapCases, OutOfContractArgumentsAndZeroRowsDoNothing) {
  const ColourBlock block = edge_snap_test::RandomBlock(16, 8, 0, 4);
  const unsigned char* image = block.bytes.data();
  const int stride = block.stride;
  SnapArrays out(16, 8, 0);
  float* x = out.X();
  float* y = out.Y();
  ComputeEdgeSnapData(16, 0, image, stride, x, 16, y, 16);
  ComputeEdgeSnapData(16, 8, nullptr, stride, x, 16, y, 16);
  ComputeEdgeSnapData(16, 8, image, stride, nullptr, 16, y, 16);
  ComputeEdgeSnapData(16, 8, image, stride, x, 16, nullptr, 16);
  ComputeEdgeSnapData(0, 8, image, stride, x, 16, y, 16);
  ComputeEdgeSnapData(-5, 8, image, stride, x, 16, y, 16);
  ComputeEdgeSnapData(16, -1, image, stride, x, 16, y, 16);
  ComputeEdgeSnapData(16, 8, image, stride, x, 15, y, 16);  // output rows overlap
  ComputeEdgeSnapData(16, 8, image, stride, x, 16, y + 7 * 15, -15);
  ComputeEdgeSnapData(2147483647, 8, image, stride, x, 16, y, 16);
  ComputeEdgeSnapData(16, 2147483647, image, stride, x, 16, y, 16);
  EXPECT_TRUE(AllSentinel(out.x) && AllSentinel(out.y));
}

}  // namespace
