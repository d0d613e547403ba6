#include "host/home/open_in_app.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/device/device_folder.h"

extern char** environ;

namespace brisklane {
namespace {

// How often a launched application is asked whether it has come up.
constexpr std::chrono::milliseconds launchPollInterval{5};

// `command` as exec takes it: pointers into its strings, then a null pointer.
std::vector<char*> argumentVector(const std::vector<std::string>& command) {
  std::vector<char*> arguments;
  arguments.reserve(command.size() + 1);
  for (const std::string& argument : command)
    arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  return arguments;
}

// The last line the launched applications wrote on standard error; empty
// when there is none.
std::string lastErrorLine() {
  std::ifstream file(deviceRoot() / "run" / "App.stderr");
  std::string line, last;
  while (std::getline(file, line)) {
    if (!line.empty()) last = line;
  }
  return last;
}

}  // namespace

HandOver failedHandOver(std::string detail) {
  return HandOver{.outcome = HandOverOutcome::failed,
                  .detail = std::move(detail),
                  .processIdentifier = 0,
                  .applicationState = UIApplication::State::active};
}

HandOver handOver(HandOverOutcome outcome, pid_t processIdentifier,
                  UIApplication::State applicationState) {
  return HandOver{.outcome = outcome,
                  .detail = {},
                  .processIdentifier = processIdentifier,
                  .applicationState = applicationState};
}

std::optional<RunningApplication> runningApplication() {
  const auto answer = deliverToRunningApplication(ApplicationStateQuery{});
  if (!answer || !*answer) return std::nullopt;
  return **answer;
}

std::optional<HandOver> handToRunningApplication(std::string_view url) {
  const auto answer =
      deliverToRunningApplication(OpenURLRequest{.url = std::string(url), .options = {}});
  if (!answer) return std::nullopt;
  if (!*answer) return failedHandOver("the running App refused it: " + answer->reason());
  const RunningApplication& running = **answer;
  return handOver(isWaitingForListener(url, running.processIdentifier) ? HandOverOutcome::waiting
                                                                       : HandOverOutcome::delivered,
                  running.processIdentifier, running.applicationState);
}

std::optional<Result<RunningApplication>> moveRunningApplication(LifeCycleMove move) {
  auto answer = deliverToRunningApplication(LifeCycleRequest{.move = move});
  if (!answer || *answer) return answer;
  return Result<RunningApplication>(Failure{"the running App refused it: " + answer->reason()});
}

bool isWaitingForListener(std::string_view url, pid_t processIdentifier) {
  const auto waiting = readWaitingLinks();
  return waiting && waiting->processIdentifier == processIdentifier &&
         std::find(waiting->urls.begin(), waiting->urls.end(), url) != waiting->urls.end();
}

std::vector<std::string> launchCommand(const std::filesystem::path& application,
                                       const ApplicationLaunchSetup* setup,
                                       OperatingSystemVersion systemVersion,
                                       const std::optional<std::string>& url) {
  std::vector<std::string> command{application.string()};
  if (setup) {
    for (std::string& option : launchOptions(*setup)) command.push_back(std::move(option));
  } else {
    command.insert(command.end(), {"--web-layer", "browser"});
  }
  command.insert(command.end(), {"--os-version", systemVersion.text()});
  if (url) command.insert(command.end(), {"open", *url});
  return command;
}

Result<pid_t> startDetached(const std::vector<std::string>& command) {
  if (command.empty()) return Failure{"no program to start"};
  const std::filesystem::path run = deviceRoot() / "run";
  if (!makeFolders(run)) return Failure{"cannot make the folder " + run.string()};
  const std::string output = (run / "App.stdout").string();
  const std::string errors = (run / "App.stderr").string();

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A session of its own, no blocked signals, and the default handling of
  // the signals this process takes or ignores.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGCHLD, SIGXFSZ})
    sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> arguments = argumentVector(command);
  pid_t child = 0;
  const int failure =
      ::posix_spawn(&child, arguments[0], &actions, &attributes, arguments.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (failure != 0) return Failure{"cannot start " + command[0] + ": " + std::strerror(failure)};
  return child;
}

std::string whyItEnded(int status) {
  std::string why = WIFEXITED(status)
                        ? "App ended with exit code " + std::to_string(WEXITSTATUS(status))
                        : "App ended by signal " + std::to_string(WTERMSIG(status));
  if (const std::string said = lastErrorLine(); !said.empty()) why += " (" + said + ")";
  return why;
}

std::optional<RunningApplication> launchedApplication(pid_t processIdentifier) {
  auto running = runningApplication();
  if (!running || running->processIdentifier != processIdentifier) return std::nullopt;
  return running;
}

HandOver openInApplication(std::string_view url, OperatingSystemVersion systemVersion,
                           std::chrono::milliseconds patience) {
  if (auto handed = handToRunningApplication(url)) return *handed;
  const auto application = applicationBesideThisProgram();
  if (!application) return failedHandOver("no App beside this program");
  const auto setup = readApplicationLaunchSetup();
  const auto started = startDetached(
      launchCommand(*application, setup ? &*setup : nullptr, systemVersion, std::string(url)));
  if (!started) return failedHandOver(started.reason());
  const pid_t child = *started;
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    pid_t ended = ::waitpid(child, &status, WNOHANG);
    if (ended == child) {
      // `App open` ends with 0 only once it has handed the URL to an App that
      // came up beside it.
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return failedHandOver(whyItEnded(status));
      const auto running = runningApplication();
      const pid_t holder = running ? running->processIdentifier : 0;
      return handOver(
          isWaitingForListener(url, holder) ? HandOverOutcome::waiting : HandOverOutcome::delivered,
          holder, running ? running->applicationState : UIApplication::State::active);
    }
    if (auto launched = launchedApplication(child)) {
      return handOver(HandOverOutcome::launched, child, launched->applicationState);
    }
    std::this_thread::sleep_for(launchPollInterval);
  }
  return failedHandOver(
      "App did not come up within " +
      std::to_string(std::chrono::duration_cast<std::chrono::seconds>(patience).count()) +
      " s; its output is in " + (deviceRoot() / "run").string());
}

std::optional<std::string> applicationPageURL() {
  const auto setup = readApplicationLaunchSetup();
  if (!setup) return std::nullopt;
  const auto token = readPageToken(setup->tokenFile);
  const auto host = devicePageHostName("app");
  if (!token || !host) return std::nullopt;
  return "http://" + *host + ":" + std::to_string(setup->port) + "/?token=" + *token;
}

}  // namespace brisklane
