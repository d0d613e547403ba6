// A fresh simulated device for one test: a temporary folder that
// `BRISKLANE_HOME` points at while the value lives, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace brisklane::testing {

class TemporaryDevice {
 public:
  TemporaryDevice() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "brisklane-test.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    root_ = pattern;
    ::setenv("BRISKLANE_HOME", root_.c_str(), 1);
  }
  ~TemporaryDevice() {
    ::unsetenv("BRISKLANE_HOME");
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TemporaryDevice(const TemporaryDevice&) = delete;
  TemporaryDevice& operator=(const TemporaryDevice&) = delete;

  [[nodiscard]] const std::filesystem::path& root() const { return root_; }

 private:
  std::filesystem::path root_;
};

// The whole content of a file, or nothing when it cannot be read.
inline std::optional<std::string> readFile(const std::filesystem::path& path) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(stream), {});
}

// The files of a corpus under tests/corpus that the tests share with the
// fuzzers, each as its name and its content, in name order.
inline std::vector<std::pair<std::string, std::string>> corpusFiles(std::string_view name) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& entry : std::filesystem::directory_iterator(
           std::filesystem::path(BRISKLANE_SOURCE_DIR) / "tests" / "corpus" / name)) {
    files.emplace_back(entry.path().filename().string(), readFile(entry.path()).value_or(""));
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The folder of outside corpora beside the project, when it is there.
inline std::optional<std::filesystem::path> sharedTestData() {
  auto folder = std::filesystem::path(BRISKLANE_SOURCE_DIR) / ".." / "shared" / "testdata";
  if (std::filesystem::is_directory(folder)) return folder;
  return std::nullopt;
}

}  // namespace brisklane::testing
