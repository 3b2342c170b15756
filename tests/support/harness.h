// Running code under test conditions: on a single thread (for the 1-thread vs N-thread comparisons of
// the parallel loops), or with its standard output captured (refinement passes print a trace line).
#pragma once
#include <gtest/gtest.h>
#include <oneapi/tbb/global_control.h>

#include <string>

namespace veldra_test {

template <typename F>
auto onOneThread(F&& f) {
  tbb::global_control single(tbb::global_control::max_allowed_parallelism, 1);
  return f();
}

template <typename F>
std::string capturedStdout(F&& f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

}  // namespace veldra_test
