#include "platform/os/processes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <thread>

#include "platform/os/file_descriptor.h"
#include "platform/os/system_faults.h"

extern char** environ;

namespace brisklane {
namespace {

// How often a child whose output has ended is asked whether it has too.
constexpr std::chrono::milliseconds exitPollInterval{5};

// `command` as exec takes it: pointers into its strings, then a null pointer.
std::vector<char*> argumentVector(const std::vector<std::string>& command) {
  std::vector<char*> arguments;
  arguments.reserve(command.size() + 1);
  for (const std::string& argument : command)
    arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  return arguments;
}

// The one posix_spawn of the project. Standard output goes to
// `outputDescriptor` when it is one, else to `setup.output`.
SystemResult<pid_t> spawnWith(const std::vector<std::string>& command, const SpawnSetup& setup,
                              int outputDescriptor) {
  if (command.empty()) return systemFailure("start", "an empty command", EINVAL);
  if (const int injected = injectedError(testing::SystemFault::spawn)) {
    return systemFailure("start", command.front(), injected);
  }
  constexpr int appending = O_WRONLY | O_CREAT | O_APPEND;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (outputDescriptor >= 0) {
    posix_spawn_file_actions_adddup2(&actions, outputDescriptor, STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, setup.output.c_str(), appending,
                                     0600);
  }
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, setup.errors.c_str(), appending, 0600);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGCHLD, SIGXFSZ})
    sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (setup.session == Session::own) flags |= POSIX_SPAWN_SETSID;
  posix_spawnattr_setflags(&attributes, flags);

  std::vector<char*> arguments = argumentVector(command);
  pid_t child = 0;
  const int failure =
      ::posix_spawn(&child, arguments[0], &actions, &attributes, arguments.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (failure != 0) return systemFailure("start", command.front(), failure);
  return child;
}

std::chrono::milliseconds left(std::chrono::steady_clock::time_point deadline) {
  return std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
}

}  // namespace

SystemResult<pid_t> spawnProcess(const std::vector<std::string>& command, const SpawnSetup& setup) {
  return spawnWith(command, setup, -1);
}

ExitOutcome exitOutcome(int waitStatus) {
  if (WIFSIGNALED(waitStatus)) {
    return ExitOutcome{.way = ExitOutcome::Way::killed, .number = WTERMSIG(waitStatus)};
  }
  return ExitOutcome{.way = ExitOutcome::Way::exited, .number = WEXITSTATUS(waitStatus)};
}

std::string describe(const ExitOutcome& outcome) {
  return outcome.way == ExitOutcome::Way::exited
             ? "exited with " + std::to_string(outcome.number)
             : "killed by signal " + std::to_string(outcome.number);
}

std::optional<EndedChild> reapEndedChild(pid_t process) {
  int status = 0;
  pid_t ended = 0;
  do {
    ended = ::waitpid(process, &status, WNOHANG);
  } while (ended < 0 && errno == EINTR);
  if (ended <= 0) return std::nullopt;
  return EndedChild{.process = ended, .outcome = exitOutcome(status)};
}

SystemResult<ExitOutcome> waitForExit(pid_t process) {
  int status = 0;
  while (::waitpid(process, &status, 0) < 0) {
    if (errno != EINTR) return systemFailure("wait for process", std::to_string(process), errno);
  }
  return exitOutcome(status);
}

SystemResult<CapturedOutput> captureOutput(const std::vector<std::string>& command,
                                           std::chrono::milliseconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  auto pipe = Pipe::make();
  if (!pipe) return Failure{pipe.reason()};
  const auto started = spawnWith(command, SpawnSetup{}, pipe->write.get());
  pipe->write.reset();
  if (!started) return Failure{started.reason()};
  const pid_t child = *started;

  CapturedOutput captured;
  bool ended = false;
  while (!ended && left(deadline).count() > 0) {
    pollfd readable{.fd = pipe->read.get(), .events = POLLIN, .revents = 0};
    const int ready = ::poll(&readable, 1, static_cast<int>(left(deadline).count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    std::array<char, 4096> chunk;
    const auto got = readSome(pipe->read.get(), chunk);
    ended = !got || *got == 0;
    if (got) captured.output.append(chunk.data(), *got);
  }
  pipe->read.reset();
  // Its output ended, but it may stay on: it has until the deadline to end.
  std::optional<EndedChild> gone;
  while (!(gone = reapEndedChild(child)) && left(deadline).count() > 0) {
    std::this_thread::sleep_for(exitPollInterval);
  }
  if (gone) {
    captured.outcome = gone->outcome;
    return captured;
  }
  ::kill(child, SIGKILL);
  captured.overstayed = true;
  const auto killed = waitForExit(child);
  if (killed) captured.outcome = *killed;
  return captured;
}

}  // namespace brisklane
