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

std::vector<fs::path> filesIn(const fs::path& dir) {
  std::vector<fs::path> files;
  if (!fs::is_directory(dir)) return files;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

void replayAll(const fs::path& dir, std::size_t minimumCount) {
  const std::vector<fs::path> files = filesIn(dir);
  EXPECT_GE(files.size(), minimumCount) << "no files under " << dir;
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

const fs::path kHere = fs::path(__FILE__).parent_path();

TEST(FuzzReplay, SeedCorpus) { replayAll(kHere / "corpus", 1); }

TEST(FuzzReplay, CrashReproducers) { replayAll(kHere / "crashes", 0); }

// Replays another directory (a fuzzer's working corpus, say) when VELDRA_FUZZ_REPLAY_DIR names it.
TEST(FuzzReplay, DirectoryFromTheEnvironment) {
  const char* dir = std::getenv("VELDRA_FUZZ_REPLAY_DIR");
  if (dir == nullptr) GTEST_SKIP() << "VELDRA_FUZZ_REPLAY_DIR not set";
  replayAll(dir, 1);
}

// The decoder itself: an empty input and an input of zeros are harmless sessions.
TEST(FuzzReplay, DegenerateInputs) {
  veldra_fuzz::ApiScript script;
  EXPECT_EQ(script.run(nullptr, 0), "");
  const std::vector<std::uint8_t> zeros(4096, 0);
  EXPECT_EQ(script.run(zeros.data(), zeros.size()), "");
}

}  // namespace
