// Behaviour of the exported entry on blocks whose result is known, and on out-of-contract input.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "edgesnap/edge_snap.h"
#include "edgesnap/edge_snap_test_images.h"
#include "edgesnap/edge_snap_workspace.h"

namespace {

using VELDRA_EDGESNAP::ComputeEdgeSnapData;
using edge_snap_test::ColourBlock;
using edge_snap_test::SnapArrays;

void Compute(const ColourBlock& block, SnapArrays& out) {
  ComputeEdgeSnapData(block.w, block.h, block.bytes.data(), block.stride, out.X(), out.stride, out.Y(),
                      out.stride);
}

bool AllSentinel(const std::vector<float>& values) {
  for (float v : values)
    if (v != SnapArrays::kSentinel) return false;
  return true;
}

TEST(EdgeSnapCases, UniformBlocksGiveZero) {
  const unsigned char colours[][3] = {{0, 0, 0}, {255, 255, 255}, {12, 200, 77}, {128, 128, 129}};
  for (const auto& c : colours) {
    const ColourBlock block = edge_snap_test::UniformBlock(37, 21, c[0], c[1], c[2]);
    SnapArrays out(37, 21, 3);
    Compute(block, out);
    for (int y = 0; y < 21; ++y)
      for (int x = 0; x < 37; ++x) {
        ASSERT_EQ(out.AtX(x, y), 0.0f) << x << "," << y;
        ASSERT_EQ(out.AtY(x, y), 0.0f) << x << "," << y;
      }
  }
}

// A dark-to-light step between image columns kEdge - 1 and kEdge: the direction is along x, and the
// field points at the step from both sides, growing towards it.
TEST(EdgeSnapCases, VerticalStepEdgePullsTowardsTheEdgeFromBothSides) {
  constexpr int kW = 48, kH = 20, kEdge = 12 + 24;
  const ColourBlock block = edge_snap_test::VerticalStepBlock(kW, kH, kEdge);
  SnapArrays out(kW, kH, 0);
  Compute(block, out);
  const auto& orientation = VELDRA_EDGESNAP::SharedEdgeSnapWorkspace().orientation;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const int column = x + 12;  // image column described by output pixel x
      const float* direction = orientation.Pixel(x + 1, y + 1);
      EXPECT_EQ(out.AtY(x, y), 0.0f) << x << "," << y;
      if (column >= kEdge - 8 && column <= kEdge + 7) {
        EXPECT_NEAR(std::fabs(direction[0]), 1.0f, 1e-5f) << x;
        EXPECT_EQ(direction[1], 0.0f) << x;
      }
      if (column >= kEdge - 8 && column <= kEdge - 2) {
        EXPECT_GT(out.AtX(x, y), 0.0f) << x;
      }
      if (column >= kEdge + 1 && column <= kEdge + 7) {
        EXPECT_LT(out.AtX(x, y), 0.0f) << x;
      }
    }
    // Closer to the step, a stronger pull.
    EXPECT_GT(out.AtX(kEdge - 12 - 3, y), out.AtX(kEdge - 12 - 7, y));
    EXPECT_LT(out.AtX(kEdge - 12 + 2, y), out.AtX(kEdge - 12 + 6, y));
    // Far from it the block is flat and nothing pulls.
    EXPECT_EQ(out.AtX(0, y), 0.0f);
    EXPECT_EQ(out.AtX(kW - 1, y), 0.0f);
  }
}

TEST(EdgeSnapCases, FourthByteHasNoInfluence) {
  ColourBlock block = edge_snap_test::ShapesBlock(45, 33, 9);
  SnapArrays first(45, 33, 2), second(45, 33, 2);
  Compute(block, first);
  std::mt19937 random(77);
  for (std::size_t i = 3; i < block.bytes.size(); i += 4) block.bytes[i] = static_cast<unsigned char>(random());
  Compute(block, second);
  EXPECT_EQ(std::memcmp(first.x.data(), second.x.data(), first.x.size() * sizeof(float)), 0);
  EXPECT_EQ(std::memcmp(first.y.data(), second.y.data(), first.y.size() * sizeof(float)), 0);
}

TEST(EdgeSnapCases, WritesExactlyTheBlockOfEachArray) {
  const int sizes[][3] = {{1, 1, 0}, {1, 4, 3}, {7, 2, 5}, {33, 17, 0}, {40, 9, 11}};
  for (const auto& s : sizes) {
    const ColourBlock block = edge_snap_test::RandomBlock(s[0], s[1], 2, 5u + s[0]);
    SnapArrays out(s[0], s[1], s[2]);
    Compute(block, out);
    for (std::size_t i = 0; i < out.x.size(); ++i) {
      if (out.InsideBlock(i)) {
        ASSERT_NE(out.x[i], SnapArrays::kSentinel) << s[0] << "x" << s[1] << " index " << i;
        ASSERT_NE(out.y[i], SnapArrays::kSentinel) << s[0] << "x" << s[1] << " index " << i;
      } else {
        ASSERT_EQ(out.x[i], SnapArrays::kSentinel) << s[0] << "x" << s[1] << " index " << i;
        ASSERT_EQ(out.y[i], SnapArrays::kSentinel) << s[0] << "x" << s[1] << " index " << i;
      }
    }
  }
}

TEST(EdgeSnapCases, ZeroRowsLeaveTheArraysUntouched) {
  const ColourBlock block = edge_snap_test::RandomBlock(16, 0, 0, 3);
  SnapArrays out(16, 1, 0);
  ComputeEdgeSnapData(16, 0, block.bytes.data(), block.stride, out.X(), out.stride, out.Y(), out.stride);
  EXPECT_TRUE(AllSentinel(out.x));
  EXPECT_TRUE(AllSentinel(out.y));
}

TEST(EdgeSnapCases, OutOfContractArgumentsDoNothing) {
  const ColourBlock block = edge_snap_test::RandomBlock(16, 8, 0, 4);
  const unsigned char* image = block.bytes.data();
  const int stride = block.stride;
  SnapArrays out(16, 8, 0);
  float* x = out.X();
  float* y = out.Y();
  ComputeEdgeSnapData(16, 8, nullptr, stride, x, 16, y, 16);
  ComputeEdgeSnapData(16, 8, image, stride, nullptr, 16, y, 16);
  ComputeEdgeSnapData(16, 8, image, stride, x, 16, nullptr, 16);
  ComputeEdgeSnapData(0, 8, image, stride, x, 16, y, 16);
  ComputeEdgeSnapData(-5, 8, image, stride, x, 16, y, 16);
  ComputeEdgeSnapData(16, -1, image, stride, x, 16, y, 16);
  ComputeEdgeSnapData(16, 8, image, 16 + 23, x, 16, y, 16);   // image rows overlap
  ComputeEdgeSnapData(16, 8, image, stride, x, 15, y, 16);
  ComputeEdgeSnapData(16, 8, image, stride, x, 16, y, -16);
  ComputeEdgeSnapData(2147483647, 8, image, stride, x, 16, y, 16);
  ComputeEdgeSnapData(16, 2147483647, image, stride, x, 16, y, 16);
  EXPECT_TRUE(AllSentinel(out.x));
  EXPECT_TRUE(AllSentinel(out.y));
}

}  // namespace
