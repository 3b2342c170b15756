// libFuzzer entry: every input is one host session of exported calls (api_script.h), run from a
// freshly loaded library state; a broken invariant aborts so that the fuzzer keeps the input.
#include <cstdio>
#include <cstdlib>

#include "fuzz/api_script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string problem = veldra_fuzz::ApiScript().run(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "veldra invariant broken: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
