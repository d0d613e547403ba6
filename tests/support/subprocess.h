// A program run as a child process, for the tests and the benchmarks alike,
// inheriting the environment (so `BRISKLANE_HOME`). Failures are values, and
// a process not waited for is killed when its Subprocess goes. For the tests,
// `runProcess` runs one to its end and answers what it printed; `Process`
// keeps one running, its standard error in a file.
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

#include "platform/foundation/file_descriptor.h"
#include "platform/foundation/result.h"

extern char** environ;

namespace brisklane::testing {

// A program built by this project, by its name in the build tree.
inline std::filesystem::path builtProgram(std::string_view name) {
  return std::filesystem::path(BRISKLANE_BINARY_DIR) / name;
}

enum class StandardInput { pipe, inherited };
enum class StandardError { inherited, pipe, file };

struct SubprocessStreams {
  StandardInput input = StandardInput::pipe;
  StandardError error = StandardError::inherited;
  std::filesystem::path errorFile;  // with StandardError::file; truncated
};

// Why no line came: `failed` leaves the reason in errno.
enum class ReadFailure { timedOut, ended, failed };

class Subprocess {
 public:
  // Starts `arguments[0]` with `arguments`; `failure()` says why when it
  // could not.
  explicit Subprocess(const std::vector<std::string>& arguments,
                      const SubprocessStreams& streams = {}) {
    auto input = streams.input == StandardInput::pipe ? Pipe::make() : Pipe{};
    auto output = Pipe::make();
    auto error = streams.error == StandardError::pipe ? Pipe::make() : Pipe{};
    if (!input || !output || !error) {
      failure_ = std::string("cannot make a pipe: ") + std::strerror(errno);
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input->read) posix_spawn_file_actions_adddup2(&actions, input->read.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output->write.get(), STDOUT_FILENO);
    if (error->write) posix_spawn_file_actions_adddup2(&actions, error->write.get(), STDERR_FILENO);
    if (streams.error == StandardError::file) {
      posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, streams.errorFile.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int spawned = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      pid_ = -1;
      failure_ = "cannot start " + arguments[0] + ": " + std::strerror(spawned);
      return;
    }
    input_ = std::move(input->write);
    output_ = std::move(output->read);
    error_ = std::move(error->read);
  }

  ~Subprocess() { end(std::chrono::milliseconds::zero()); }
  Subprocess(const Subprocess&) = delete;
  Subprocess& operator=(const Subprocess&) = delete;

  [[nodiscard]] const std::string& failure() const { return failure_; }

  // False when the process no longer reads (errno says why).
  [[nodiscard]] bool write(std::string_view text) {
    while (!text.empty()) {
      ssize_t written = ::write(input_.get(), text.data(), text.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      text.remove_prefix(static_cast<size_t>(written));
    }
    return true;
  }
  void closeInput() { input_.reset(); }
  void signal(int number) {
    if (pid_ > 0 && !exitCode_) ::kill(pid_, number);
  }

  // The next line of standard output, without its newline.
  [[nodiscard]] Result<std::string, ReadFailure> readLine(std::chrono::milliseconds timeout) {
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
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return Failure{ReadFailure::failed};
      if (got == 0) return Failure{ReadFailure::ended};
      buffered_.append(chunk, static_cast<size_t>(got));
    }
  }

  // Reads standard output to its end and drops it, so that the process never
  // blocks on a full pipe; for a thread of its own, the only reader then.
  void discardOutput() {
    char chunk[65536];
    while (::read(output_.get(), chunk, sizeof chunk) > 0) {
    }
  }

  // The exit code (128 + the signal for a process a signal ended).
  int wait() {
    while (!exitCode_ && pid_ > 0 && !reap(0)) {
    }
    return exitCode_.value_or(-1);
  }

  // Ends a process not yet waited for: SIGTERM and up to `grace` to exit,
  // then SIGKILL. Its pipes close first, so that one that ends with its
  // input may.
  void end(std::chrono::milliseconds grace) {
    input_.reset();
    output_.reset();
    error_.reset();
    if (pid_ <= 0 || exitCode_) return;
    if (grace.count() > 0) {
      ::kill(pid_, SIGTERM);
      for (auto deadline = std::chrono::steady_clock::now() + grace;
           std::chrono::steady_clock::now() < deadline;) {
        if (reap(WNOHANG)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
    ::kill(pid_, SIGKILL);
    wait();
  }

  // The pipes' ends this process holds; invalid where there is no pipe.
  FileDescriptor& output() { return output_; }
  FileDescriptor& error() { return error_; }

 private:
  // Whether the process has ended; records its exit code when it has.
  bool reap(int options) {
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
  FileDescriptor error_;
  std::string buffered_;  // read from output_, not yet returned
  std::optional<int> exitCode_;
  std::string failure_;  // why it did not start; empty when it did
};

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
  Process(const std::filesystem::path& program, std::vector<std::string> arguments,
          const std::filesystem::path& errorFile)
      : Subprocess(withProgram(program, std::move(arguments)),
                   {.error = StandardError::file, .errorFile = errorFile}),
        errorFile_(errorFile) {}

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

  std::vector<std::string> readAllLines() {
    std::vector<std::string> lines;
    while (auto line = readLine()) lines.push_back(*line);
    return lines;
  }

  [[nodiscard]] std::string standardError() const {
    std::ifstream file(errorFile_, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
  }

 private:
  static std::vector<std::string> withProgram(const std::filesystem::path& program,
                                              std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), program.string());
    return arguments;
  }

  std::filesystem::path errorFile_;
};

}  // namespace brisklane::testing
