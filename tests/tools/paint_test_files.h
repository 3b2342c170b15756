// Helpers for the paint tool's tests: a scratch directory removed at the end of the test, and text
// files written into it.
#ifndef VELDRA_TESTS_TOOLS_PAINT_TEST_FILES_H
#define VELDRA_TESTS_TOOLS_PAINT_TEST_FILES_H

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

namespace paint_test {

class ScratchDir {
 public:
  ScratchDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("veldra-paint-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string file(const std::string& name) const { return (path_ / name).string(); }

  std::string write(const std::string& name, const std::string& content) const {
    std::ofstream(file(name), std::ios::binary) << content;
    return file(name);
  }

 private:
  std::filesystem::path path_;
};

}  // namespace paint_test

#endif  // VELDRA_TESTS_TOOLS_PAINT_TEST_FILES_H
