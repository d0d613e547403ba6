// Runs the real BrisklaneWidgetExtension executable as a separate process on
// the current simulated device (`BRISKLANE_HOME` is inherited) and answers
// its exit code and output.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temporary_device.h"

extern char** environ;

namespace brisklane::testing {

struct ProcessResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

inline ProcessResult runExtension(const std::filesystem::path& scratch,
                                  std::vector<std::string> arguments) {
  std::string program = std::string(BRISKLANE_BINARY_DIR) + "/BrisklaneWidgetExtension";
  arguments.insert(arguments.begin(), program);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  std::filesystem::path outPath = scratch / "stdout.txt";
  std::filesystem::path errPath = scratch / "stderr.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  pid_t child = 0;
  ProcessResult result;
  int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "could not start " << program;
    return result;
  }
  int status = 0;
  if (waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    result.exitCode = WEXITSTATUS(status);
  }
  result.out = readFile(outPath).value_or("");
  result.err = readFile(errPath).value_or("");
  return result;
}

}  // namespace brisklane::testing
