// A library that was just loaded: parameters read 0 and every engine call is harmless before the host
// has initialised anything. Kept in its own executable so no other test has touched the state first.
#include <gtest/gtest.h>
#include <veldra/veldra.h>

namespace {

TEST(FreshLibrary, ParametersStartAtZeroAndEngineCallsAreHarmless) {
  for (int p = 0; p < 5; ++p) {
    int value = 12345;
    EXPECT_EQ(VELDRA::GetParameter(static_cast<VELDRA::PARAM>(p), &value), 0);
    EXPECT_EQ(value, 0);
  }
  unsigned char mask[16] = {};
  float snap[16] = {};
  EXPECT_EQ(VELDRA::GetMattingMode(1, 1), VELDRA::EDITMODE_ADD);
  EXPECT_EQ(VELDRA::InitializeImage(100, 100), 0);
  VELDRA::Deselect();
  VELDRA::MouseDown();
  VELDRA::MouseUp();
  VELDRA::enableRLS(4);
  VELDRA::disableRLS();
  VELDRA::setMattingBrushRadius(3.0f);
  VELDRA::SaveSelectionToFile();
  VELDRA::GetSelection(0, 0, 4, 4, mask, 4, 0, 0, 0);
  EXPECT_FALSE(VELDRA::InitSelection(0, 0, 4, 4, mask, 4));
  EXPECT_FALSE(VELDRA::RefineSelection(1));
  EXPECT_FALSE(VELDRA::Step(VELDRA::EDITMODE_ADD, 0, 1, 1, 0, 0, 4, 4, snap, 4, snap, 4));
  EXPECT_FALSE(VELDRA::AddDeleteLine(VELDRA::EDITMODE_ADD, 0, 0, 3, 3));
  EXPECT_FALSE(VELDRA::Smoothen(1, 1, 0, 0, 4, 4));
  EXPECT_FALSE(VELDRA::CheckCircleRegionIntersection(1, 1, 2));
  EXPECT_FALSE(VELDRA::CheckSkipEvolution(1, 1, 30, 10, 0, 0, 3, 3));
  EXPECT_TRUE(VELDRA::FeedbackMat(0, 0, 0, 0, nullptr, 0));
  for (unsigned char b : mask) EXPECT_EQ(b, 0);
}

}  // namespace
