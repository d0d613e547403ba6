#include "host/open_in_app.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/foundation/device_folder.h"
#include "platform/uikit/application_launch.h"

extern char** environ;

namespace brisklane {
namespace {

// `command` as exec takes it: pointers into its strings, then a null pointer.
std::vector<char*> argumentVector(const std::vector<std::string>& command) {
  std::vector<char*> arguments;
  arguments.reserve(command.size() + 1);
  for (const std::string& argument : command)
    arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  return arguments;
}

Result<Opened> runInForeground(const std::vector<std::string>& command) {
  std::vector<char*> arguments = argumentVector(command);
  pid_t child = 0;
  if (const int failure =
          ::posix_spawn(&child, arguments[0], nullptr, nullptr, arguments.data(), environ)) {
    return Failure{"cannot start " + command[0] + ": " + std::strerror(failure)};
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return outcomeOfExit(status);
}

}  // namespace

std::optional<std::filesystem::path> applicationBesideThisProgram() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::nullopt;
  std::filesystem::path application = self.parent_path() / "App";
  if (!std::filesystem::is_regular_file(application, error)) return std::nullopt;
  return application;
}

std::vector<std::string> openURLCommand(const std::filesystem::path& application,
                                        const ApplicationLaunchSetup* setup,
                                        OperatingSystemVersion systemVersion,
                                        std::string_view url) {
  std::vector<std::string> command{application.string()};
  if (setup) {
    for (std::string& option : launchOptions(*setup)) command.push_back(std::move(option));
  }
  command.insert(command.end(), {"--os-version", systemVersion.text(), "open", std::string(url)});
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

Result<Opened> outcomeOfExit(int status) {
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return Opened::delivered;
  return Failure{WIFEXITED(status)
                     ? "App ended with exit code " + std::to_string(WEXITSTATUS(status))
                     : "App ended by signal " + std::to_string(WTERMSIG(status))};
}

Result<Opened> openInApplication(std::string_view url, std::chrono::milliseconds patience) {
  const auto application = applicationBesideThisProgram();
  if (!application) return Failure{"no App beside this program"};
  const auto setup = readApplicationLaunchSetup();
  const auto* recorded = setup ? &*setup : nullptr;
  const auto command = openURLCommand(*application, recorded, operatingSystemVersion(), url);
  if (!recorded) return runInForeground(command);
  const auto started = startDetached(command);
  if (!started) return Failure{started.reason()};
  const pid_t child = *started;
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (true) {
    int status = 0;
    const pid_t ended = ::waitpid(child, &status, WNOHANG);
    if (ended == child) return outcomeOfExit(status);
    if (ended < 0 && errno != EINTR) return Opened::launched;
    if (std::chrono::steady_clock::now() >= deadline) return Opened::launched;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::optional<std::string> applicationPageURL() {
  const auto setup = readApplicationLaunchSetup();
  if (!setup) return std::nullopt;
  const auto token = readPageToken(setup->tokenFile);
  if (!token) return std::nullopt;
  return "http://127.0.0.1:" + std::to_string(setup->port) + "/?token=" + *token;
}

}  // namespace brisklane
