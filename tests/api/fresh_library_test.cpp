// A library that was just loaded: parameters read 0 and the engine calls are harmless before the host
// has initialised anything (every other call before initialisation is in the hardening table). Kept in
// its own executable so no other test has touched the state first.
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
  VELDRA::GetSelection(0, 0, 4, 4, mask, 4, 0, 0, 0);
  EXPECT_FALSE(VELDRA::InitSelection(0, 0, 4, 4, mask, 4));
  EXPECT_FALSE(VELDRA::Step(VELDRA::EDITMODE_ADD, 0, 1, 1, 0, 0, 4, 4, snap, 4, snap, 4));
  EXPECT_TRUE(VELDRA::FeedbackMat(0, 0, 0, 0, nullptr, 0));
  for (unsigned char b : mask) EXPECT_EQ(b, 0);
}

}  // namespace
