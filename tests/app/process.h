// A program of the build run as a separate process for end-to-end tests: its
// standard input and output are pipes the test holds, its standard error goes
// to a file, and it inherits the environment (so `BRISKLANE_HOME`).
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temporary_device.h"

extern char** environ;

namespace brisklane::testing {

inline std::filesystem::path builtProgram(std::string_view name) {
  return std::filesystem::path(BRISKLANE_BINARY_DIR) / name;
}

class Process {
 public:
  // Starts `program` with `arguments`; its standard error goes to `errorFile`.
  Process(const std::filesystem::path& program, const std::vector<std::string>& arguments,
          const std::filesystem::path& errorFile)
      : errorFile_(errorFile) {
    int input[2], output[2];
    EXPECT_EQ(::pipe2(input, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(output, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> all{program.string()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);
    EXPECT_EQ(::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    ::close(output[1]);
    input_ = input[1];
    output_ = output[0];
  }

  ~Process() {
    closeInput();
    if (pid_ > 0 && !exitCode_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(output_);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  void write(std::string_view text) {
    while (!text.empty()) {
      ssize_t written = ::write(input_, text.data(), text.size());
      if (written <= 0) return;
      text.remove_prefix(static_cast<size_t>(written));
    }
  }
  void writeLine(std::string_view line) { write(std::string(line) + "\n"); }
  void closeInput() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
  }
  void signal(int number) { ::kill(pid_, number); }

  // The next line of standard output, or nothing at its end or after
  // `timeout` without one.
  std::optional<std::string> readLine(
      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
      if (size_t end = buffered_.find('\n'); end != std::string::npos) {
        std::string line = buffered_.substr(0, end);
        buffered_.erase(0, end + 1);
        return line;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd watched{.fd = output_, .events = POLLIN, .revents = 0};
      if (::poll(&watched, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
      char chunk[4096];
      ssize_t got = ::read(output_, chunk, sizeof chunk);
      if (got <= 0) return std::nullopt;
      buffered_.append(chunk, static_cast<size_t>(got));
    }
  }

  // Every remaining line of standard output, up to its end.
  std::vector<std::string> readAllLines() {
    std::vector<std::string> lines;
    while (auto line = readLine()) lines.push_back(*line);
    return lines;
  }

  // The exit code (128 + the signal for a process a signal ended).
  int wait() {
    if (!exitCode_) {
      int status = 0;
      ::waitpid(pid_, &status, 0);
      exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return *exitCode_;
  }

  [[nodiscard]] std::string standardError() const { return readFile(errorFile_).value_or(""); }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string buffered_;
  std::optional<int> exitCode_;
  std::filesystem::path errorFile_;
};

}  // namespace brisklane::testing
