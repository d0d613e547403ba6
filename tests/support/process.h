// Programs of the build run as separate processes for end-to-end tests,
// inheriting the environment (so `BRISKLANE_HOME`): `runProcess` runs one to
// its end with the given standard input and answers what it printed;
// `Process` keeps one running, with its standard input and output as pipes
// the test holds and its standard error in a file.
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
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/temporary_device.h"

extern char** environ;

namespace brisklane::testing {

// A program built by this project, by its name in the build tree.
inline std::filesystem::path builtProgram(std::string_view name) {
  return std::filesystem::path(BRISKLANE_BINARY_DIR) / name;
}

struct ProcessResult {
  int exitCode = -1;  // -1 when the process did not exit normally
  std::string out;
  std::string err;
};

inline ProcessResult runProcess(const std::vector<std::string>& arguments,
                                const std::string& input = {}) {
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    return {};
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  int spawned = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  ProcessResult result;
  if (spawned != 0) {
    ::close(in[1]), ::close(out[0]), ::close(err[0]);
    return result;
  }
  // Feed and drain at once, so that neither side blocks on a full pipe.
  ::signal(SIGPIPE, SIG_IGN);
  size_t written = 0;
  int inputFd = in[1];
  if (input.empty()) ::close(inputFd), inputFd = -1;
  std::string* sinks[] = {&result.out, &result.err};
  int open = 2;
  pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {inputFd, POLLOUT, 0}};
  while (open > 0 || fds[2].fd >= 0) {
    if (::poll(fds, 3, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[65536];
      ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
    if (fds[2].fd >= 0 && fds[2].revents != 0) {
      ssize_t n = ::write(fds[2].fd, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      if (n <= 0 || written == input.size()) {
        ::close(fds[2].fd);
        fds[2].fd = -1;
      }
    }
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
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
