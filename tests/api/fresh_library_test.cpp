// A library that was just loaded reads 0 for every parameter (calls before initialisation are rows of
// the hardening table). Kept in its own executable so no other test has touched the state first.
#include <gtest/gtest.h>
#include <veldra/veldra.h>

namespace {

TEST(FreshLibrary, ParametersStartAtZero) {
  for (int p = 0; p < 5; ++p) {
    int value = 12345;
    EXPECT_EQ(VELDRA::GetParameter(static_cast<VELDRA::PARAM>(p), &value), 0);
    EXPECT_EQ(value, 0);
  }
}

}  // namespace
