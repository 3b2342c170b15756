// The library's pipeline, with every instruction set this processor runs, against the plain
// reference on random blocks, blocks with edges and corners, odd sizes and padded strides; and the
// exported entry (shared workspace, parallel rows) against the same reference.

#include <gtest/gtest.h>

#include <algorithm>

#include "edgesnap/edge_snap_stages.h"
#include "edgesnap/edge_snap_test_images.h"
#include "support/edge_snap_reference.h"

namespace {

using namespace VELDRA_EDGESNAP;
using edge_snap_test::ColourBlock;
using edge_snap_test::SnapArrays;

// The kernels differ from the reference only by rounding, if at all. Where the structure tensor's
// eigenvalues are nearly equal a rounding difference may flip the direction or the one-sided
// difference, so a small fraction of pixels may differ by more.
constexpr float kRoundingTolerance = 1e-4f;
constexpr double kIllConditionedFraction = 0.002;

struct Comparison {
  float largest = 0.0f;
  std::size_t values = 0, beyondRounding = 0;

  void Add(float library, float reference) {
    const float difference = std::fabs(library - reference);
    largest = std::max(largest, difference);
    ++values;
    if (!(difference <= kRoundingTolerance * (1.0f + std::fabs(reference)))) ++beyondRounding;
  }
  bool MostlyRounding() const { return double(beyondRounding) <= kIllConditionedFraction * double(values) + 2.0; }
};

Comparison CompareOutputs(const SnapArrays& actual, const SnapArrays& expected) {
  Comparison output;
  for (int y = 0; y < actual.h; ++y)
    for (int x = 0; x < actual.w; ++x) {
      output.Add(actual.AtX(x, y), expected.AtX(x, y));
      output.Add(actual.AtY(x, y), expected.AtY(x, y));
    }
  return output;
}

struct Case {
  int w, h, extraImageStride, extraSnapStride;
  unsigned seed;
  bool shapes;
};

// Runs one block through every kernel set and the reference.
void CompareOnBlock(const Case& c) {
  const ColourBlock block = c.shapes ? edge_snap_test::ShapesBlock(c.w, c.h, c.seed)
                                     : edge_snap_test::RandomBlock(c.w, c.h, c.extraImageStride, c.seed);
  SnapArrays expected(c.w, c.h, c.extraSnapStride);
  edge_snap_reference::EdgeSnapReference reference;
  reference.Compute(c.w, c.h, block.bytes.data(), block.stride, expected.X(), expected.stride, expected.Y(), expected.stride);
  for (const RowKernels* kernels : edge_snap_test::AvailableKernels()) {
    SCOPED_TRACE(testing::Message() << kernels->name << " " << c.w << "x" << c.h << " seed " << c.seed);
    EdgeSnapWorkspace workspace;
    SnapArrays actual(c.w, c.h, c.extraSnapStride);
    RunEdgeSnapPipeline(*kernels, workspace, c.w, c.h, block.bytes.data(), block.stride, actual.X(), actual.stride,
                        actual.Y(), actual.stride);
    const Comparison output = CompareOutputs(actual, expected);
    EXPECT_TRUE(output.MostlyRounding()) << "largest output difference " << output.largest;
  }
}

TEST(EdgeSnapAgainstReference, BlocksOfManySizesStridesAndShapes) {
  std::vector<Case> cases = {
      {64, 48, 0, 0, 1, false}, {37, 29, 5, 3, 2, false}, {101, 7, 0, 0, 3, false}, {61, 13, 0, 1, 4, false},
      {125, 9, 9, 0, 5, false}, {8, 8, 0, 0, 6, false},   {16, 3, 2, 7, 7, false},  {1, 1, 0, 0, 50, false},
      {1, 1, 7, 5, 51, true},   {96, 80, 0, 0, 11, true}, {53, 67, 0, 4, 12, true}, {130, 41, 0, 0, 13, true},
      {300, 200, 0, 0, 14, true}};  // edges and corners
  // Single rows and columns, and narrow widths.
  for (int w = 1; w <= 10; ++w) cases.push_back({w, 5, w % 3, w % 2, 20u + unsigned(w), false});
  for (int h = 1; h <= 3; ++h) cases.push_back({23, h, 1, 2, 40u + unsigned(h), false});
  for (const Case& c : cases) CompareOnBlock(c);
}

TEST(EdgeSnapAgainstReference, ExportedEntryMatchesReference) {
  const ColourBlock block = edge_snap_test::ShapesBlock(77, 45, 31);
  SnapArrays expected(77, 45, 6);
  edge_snap_reference::EdgeSnapReference().Compute(block.w, block.h, block.bytes.data(), block.stride, expected.X(),
                                                   expected.stride, expected.Y(), expected.stride);
  EXPECT_TRUE(CompareOutputs(edge_snap_test::Compute(block, 6), expected).MostlyRounding());
}

}  // namespace
