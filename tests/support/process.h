// Subprocesses for end-to-end tests: `runProcess` runs one to its end and
// answers what it printed; `Process` keeps one running, its standard error
// in a file.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/support/subprocess.h"
#include "tests/support/temporary_device.h"

namespace brisklane::testing {

struct ProcessResult {
  int exitCode = -1;  // -1 when the process did not start
  std::string out;
  std::string err;
};

inline std::string readToEnd(FileDescriptor& from) {
  std::string all;
  char buffer[65536];
  for (ssize_t got; (got = ::read(from.get(), buffer, sizeof buffer)) > 0;) {
    all.append(buffer, static_cast<size_t>(got));
  }
  return all;
}

inline ProcessResult runProcess(const std::vector<std::string>& arguments,
                                const std::string& input = {}) {
  Subprocess process(arguments, {.error = StandardError::pipe});
  ProcessResult result;
  if (!process.failure().empty()) return result;
  // Feed and drain each pipe on a thread of its own, so that none blocks on a full pipe.
  ::signal(SIGPIPE, SIG_IGN);
  std::jthread feeder([&] {
    static_cast<void>(process.write(input));
    process.closeInput();
  });
  std::jthread errors([&] { result.err = readToEnd(process.error()); });
  result.out = readToEnd(process.output());
  feeder.join();
  errors.join();
  result.exitCode = process.wait();
  return result;
}

class Process : public Subprocess {
 public:
  Process(const std::filesystem::path& program, const std::vector<std::string>& arguments,
          const std::filesystem::path& errorFile)
      : Subprocess(commandLine(program, arguments),
                   {.error = StandardError::file, .errorFile = errorFile}),
        errorFile_(errorFile) {
    EXPECT_EQ(failure(), "");
  }

  void write(std::string_view text) { static_cast<void>(Subprocess::write(text)); }
  void writeLine(std::string_view line) { write(std::string(line) + "\n"); }

  // The next line of standard output, or nothing at its end or after
  // `timeout` without one.
  std::optional<std::string> readLine(
      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    auto line = Subprocess::readLine(timeout);
    if (!line) return std::nullopt;
    return std::move(line).value();
  }

  // Every remaining line of standard output, up to its end.
  std::vector<std::string> readAllLines() {
    std::vector<std::string> lines;
    while (auto line = readLine()) lines.push_back(*line);
    return lines;
  }

  [[nodiscard]] std::string standardError() const { return readFile(errorFile_).value_or(""); }

 private:
  static std::vector<std::string> commandLine(const std::filesystem::path& program,
                                              const std::vector<std::string>& arguments) {
    std::vector<std::string> all{program.string()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return all;
  }

  std::filesystem::path errorFile_;
};

}  // namespace brisklane::testing
