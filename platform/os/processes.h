// Starting programs and seeing them end. A program is started from its path
// (never searched for), with standard input from /dev/null, no signal
// blocked and the default handling of every signal this process takes or
// ignores, so that it does not inherit the event loop's arrangements. Every
// start in the project goes through `spawnProcess`; the caller reaps what it
// started, except `captureOutput`, which reaps its own.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/os/system_error.h"

namespace brisklane {

// A child in this process's session, which ends with it and hears the
// terminal's signals; or a session of its own, which outlives both.
enum class Session { shared, own };

struct SpawnSetup {
  std::filesystem::path output = "/dev/null";  // standard output, appended to (made 0600)
  std::filesystem::path errors = "/dev/null";  // standard error, likewise
  Session session = Session::shared;
};

// Starts `command` (its first word the program's path); the process started,
// or why not ("cannot start PATH: No such file or directory").
[[nodiscard]] SystemResult<pid_t> spawnProcess(const std::vector<std::string>& command,
                                               const SpawnSetup& setup);

// How a process ended: with an exit code, or killed by a signal.
struct ExitOutcome {
  enum class Way { exited, killed };
  Way way = Way::exited;
  int number = 0;  // the exit code, or the signal

  [[nodiscard]] bool succeeded() const { return way == Way::exited && number == 0; }
  friend bool operator==(const ExitOutcome&, const ExitOutcome&) = default;
};
// The outcome a status from waitpid tells.
[[nodiscard]] ExitOutcome exitOutcome(int waitStatus);
// "exited with 3", "killed by signal 9".
[[nodiscard]] std::string describe(const ExitOutcome& outcome);

struct EndedChild {
  pid_t process = 0;
  ExitOutcome outcome;
};
// A child that has ended, reaped: `process`, or any child for -1. Nothing
// while none has; it never waits.
[[nodiscard]] std::optional<EndedChild> reapEndedChild(pid_t process = -1);
// Waits for child `process` to end and reaps it.
[[nodiscard]] SystemResult<ExitOutcome> waitForExit(pid_t process);

struct CapturedOutput {
  std::string output;
  ExitOutcome outcome;
  bool overstayed = false;  // it was killed at the deadline
};
// Runs `command` with standard error to /dev/null and answers what it wrote
// on standard output and how it ended; at `patience` it is killed, and its
// output until then is kept. The child is always reaped.
[[nodiscard]] SystemResult<CapturedOutput> captureOutput(const std::vector<std::string>& command,
                                                         std::chrono::milliseconds patience);

}  // namespace brisklane
