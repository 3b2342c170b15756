// Replays every file of the fuzzer's seed corpus and every crash reproducer it ever found through
// the same decoder, so a fault that was fixed stays fixed in the ordinary test suite. Another
// directory (a fuzzer's working corpus, say) is replayed too when VELDRA_FUZZ_REPLAY_DIR names it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/api_script.h"

namespace {

namespace fs = std::filesystem;

TEST(FuzzReplay, SeedCorpusCrashReproducersAndDegenerateInputs) {
  const fs::path here = fs::path(__FILE__).parent_path();
  std::vector<fs::path> dirs{here / "corpus", here / "crashes"};
  if (const char* extra = std::getenv("VELDRA_FUZZ_REPLAY_DIR")) dirs.emplace_back(extra);
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> inputs{{"no input", {}},
                                                                        {"zeros", std::vector<std::uint8_t>(4096)}};
  for (const fs::path& dir : dirs)
    for (const auto& entry : fs::directory_iterator(dir)) {
      std::ifstream in(entry.path(), std::ios::binary);
      inputs.emplace_back(entry.path().filename(), std::vector<std::uint8_t>{std::istreambuf_iterator<char>(in), {}});
    }
  EXPECT_GE(inputs.size(), 10u) << "seed corpus or crash reproducers missing";
  for (const auto& [name, bytes] : inputs)
    EXPECT_EQ(veldra_fuzz::ApiScript().run(bytes.data(), bytes.size()), "") << name;
}

}  // namespace
