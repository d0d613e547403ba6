// Programs run as child processes, for the tests and the benchmarks alike,
// inheriting the environment (so `BRISKLANE_HOME`). A `Process` keeps one
// running, its standard input and output on pipes; failures are values, and
// a process not waited for is killed when its Process goes. `runProcess`
// runs one to its end and answers what it printed.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "base/result.h"
#include "platform/os/file_descriptor.h"

extern char** environ;

namespace brisklane::testing {

// A program built by this project, by its name in the build tree.
inline std::filesystem::path builtProgram(std::string_view name) {
  return std::filesystem::path(BRISKLANE_BINARY_DIR) / name;
}

// Why `readLine` answered no line: `failed` leaves the reason in errno.
enum class ReadFailure { timedOut, ended, failed };

class Process {
 public:
  // Starts `program` with `arguments`, its standard error in `errorFile`
  // (truncated), or in this process's where that is empty; `failure()` says
  // why when it could not.
  Process(const std::filesystem::path& program, const std::vector<std::string>& arguments,
          std::filesystem::path errorFile = {})
      : errorFile_(std::move(errorFile)) {
    auto input = Pipe::make();
    auto output = Pipe::make();
    if (!input || !output) {
      failure_ = std::string("cannot make a pipe: ") + std::strerror(errno);
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input->read.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output->write.get(), STDOUT_FILENO);
    if (!errorFile_.empty()) {
      posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile_.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int spawned = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      pid_ = -1;
      failure_ = "cannot start " + program.string() + ": " + std::strerror(spawned);
    }
    input_ = std::move(input->write);
    output_ = std::move(output->read);
  }

  ~Process() { end(std::chrono::milliseconds::zero()); }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  [[nodiscard]] const std::string& failure() const { return failure_; }

  // False when the process no longer reads (errno says why).
  bool write(std::string_view text) {
    while (!text.empty()) {
      ssize_t written = ::write(input_.get(), text.data(), text.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      text.remove_prefix(static_cast<size_t>(written));
    }
    return true;
  }
  bool writeLine(std::string_view line) { return write(std::string(line) + "\n"); }
  void closeInput() { input_.reset(); }
  void signal(int number) {
    if (pid_ > 0 && !exitCode_) ::kill(pid_, number);
  }

  // The next line of standard output, without its newline, or why there is
  // none: the output ended, or `timeout` passed without one.
  [[nodiscard]] Result<std::string, ReadFailure> readLine(
      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      if (size_t end = buffered_.find('\n'); end != std::string::npos) {
        std::string line = buffered_.substr(0, end);
        buffered_.erase(0, end + 1);
        return line;
      }
      auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return Failure{ReadFailure::timedOut};
      pollfd readable{.fd = output_.get(), .events = POLLIN, .revents = 0};
      int ready = ::poll(&readable, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno != EINTR) return Failure{ReadFailure::failed};
      if (ready <= 0) continue;
      char chunk[16384];
      ssize_t got = ::read(output_.get(), chunk, sizeof chunk);
      if (got < 0) return Failure{ReadFailure::failed};
      if (got == 0) return Failure{ReadFailure::ended};
      buffered_.append(chunk, static_cast<size_t>(got));
    }
  }

  std::vector<std::string> readAllLines() {
    std::vector<std::string> lines;
    while (auto line = readLine()) lines.push_back(*line);
    return lines;
  }

  // Standard output not yet read, to its end. On a thread of its own, the
  // only reader then, it keeps the process from blocking on a full pipe.
  std::string readToEnd() {
    std::string all = std::exchange(buffered_, {});
    char chunk[65536];
    for (ssize_t got; (got = ::read(output_.get(), chunk, sizeof chunk)) > 0;) {
      all.append(chunk, static_cast<size_t>(got));
    }
    return all;
  }

  [[nodiscard]] std::string standardError() const {
    std::ifstream file(errorFile_, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
  }

  // The exit code (128 + the signal for a process a signal ended).
  int wait() {
    while (!reap(0)) {
    }
    return exitCode_.value_or(-1);
  }

  // Ends a process not yet waited for: its pipes close, so that one that ends
  // with its input may, then SIGTERM and up to `grace` to exit, then SIGKILL.
  void end(std::chrono::milliseconds grace) {
    input_.reset();
    output_.reset();
    if (grace.count() > 0) signal(SIGTERM);
    for (auto deadline = std::chrono::steady_clock::now() + grace;
         !reap(WNOHANG) && std::chrono::steady_clock::now() < deadline;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    signal(SIGKILL);
    wait();
  }

 private:
  // Whether the process has ended, or never started; records its exit code.
  bool reap(int options) {
    if (pid_ <= 0 || exitCode_) return true;
    int status = 0;
    pid_t ended = ::waitpid(pid_, &status, options);
    if (ended < 0 && errno != EINTR) exitCode_ = -1;
    if (ended != pid_) return exitCode_.has_value();
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
  }

  pid_t pid_ = -1;
  FileDescriptor input_;
  FileDescriptor output_;
  std::string buffered_;  // read from output_, not yet returned
  std::optional<int> exitCode_;
  std::filesystem::path errorFile_;
  std::string failure_;  // why it did not start; empty when it did
};

struct ProcessResult {
  int exitCode = -1;  // -1 when the process did not start
  std::string out;
  std::string err;
};

// Runs `program` to its end, `input` on its standard input.
inline ProcessResult runProcess(const std::filesystem::path& program,
                                const std::vector<std::string>& arguments,
                                std::string_view input = {}) {
  std::string errorFile = std::filesystem::temp_directory_path() / "brisklane-run-XXXXXX";
  ::close(::mkstemp(errorFile.data()));  // a name no other run holds
  Process process(program, arguments, errorFile);
  ::signal(SIGPIPE, SIG_IGN);  // for a process that ends before it reads all its input
  std::jthread feeder([&] {
    process.write(input);
    process.closeInput();
  });
  std::string out = process.readToEnd();
  feeder.join();
  ProcessResult result{.exitCode = process.wait(), .out = out, .err = process.standardError()};
  std::filesystem::remove(errorFile);
  return result;
}

}  // namespace brisklane::testing
