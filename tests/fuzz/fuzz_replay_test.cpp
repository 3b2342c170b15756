// Replays every file of the fuzzer's seed corpus and every crash reproducer it ever found through
// the same decoder, so a fault that was fixed stays fixed in the ordinary test suite.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/api_script.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> filesIn(const char* folder) {
  std::vector<fs::path> files;
  const fs::path dir = fs::path(__FILE__).parent_path() / folder;
  if (!fs::is_directory(dir)) return files;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

void replayAll(const char* folder, std::size_t minimumCount) {
  const std::vector<fs::path> files = filesIn(folder);
  EXPECT_GE(files.size(), minimumCount) << "no files under tests/fuzz/" << folder;
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    veldra_fuzz::ApiScript script;
    script.trace = std::getenv("VELDRA_FUZZ_TRACE") != nullptr;
    if (script.trace) std::fprintf(stderr, "%s\n", file.filename().c_str());
    const std::string problem = script.run(bytes.data(), bytes.size());
    EXPECT_TRUE(problem.empty()) << file.filename() << ": " << problem;
  }
}

TEST(FuzzReplay, SeedCorpus) { replayAll("corpus", 1); }

TEST(FuzzReplay, CrashReproducers) { replayAll("crashes", 0); }

// The decoder itself: an empty input and an input of zeros are harmless sessions.
TEST(FuzzReplay, DegenerateInputs) {
  veldra_fuzz::ApiScript script;
  EXPECT_EQ(script.run(nullptr, 0), "");
  const std::vector<std::uint8_t> zeros(4096, 0);
  EXPECT_EQ(script.run(zeros.data(), zeros.size()), "");
}

}  // namespace
