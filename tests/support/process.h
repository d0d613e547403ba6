// Runs a program of the project as a separate process, feeding it standard
// input and collecting its standard output, standard error and exit code.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace brisklane::testing {

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

// A program built by this project, by its name in the build tree.
inline std::string builtProgram(const std::string& name) {
  return std::string(BRISKLANE_BINARY_DIR) + "/" + name;
}

}  // namespace brisklane::testing
