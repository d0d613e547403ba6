// The cost of `set` through the stdio bridge of a real `App` process, beside
// the floor of one SQLite write of the same value, measured in the same run:
//   - round trip: one call line in, its settlement line out, one at a time;
//   - throughput: calls sent in batches of `batch` lines, then their answers;
// and, for reading them, what `set` must do to the store (open, write, close).
// The ratios to the floor are printed at the end. The benchmark runs on a
// fresh temporary device of its own.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "bench/support/ratio_main.h"
#include "platform/foundation/user_defaults.h"
#include "widget/today/app_group.h"

extern char** environ;

namespace brisklane {
namespace {

constexpr std::string_view summary =
    R"({"tier":"urgent","count":4,"items":[{"title":"Envoyer galerie","project":"Mariage"},{"title":"Call the florist"},{"title":"Book the photographer","project":"Mariage"}],"updatedAt":"2026-12-07T08:00:00Z"})";
constexpr int batch = 64;

std::string setLine(std::int64_t callbackId) {
  return nlohmann::json{{"type", "message"},
                        {"callbackId", std::to_string(callbackId)},
                        {"pluginId", "SharedTodayWidget"},
                        {"methodName", "set"},
                        {"options", {{"payload", summary}}}}
             .dump() +
         "\n";
}

// A running `App` serving its stdio web layer through two pipes.
class AppProcess {
 public:
  AppProcess() {
    int input[2], output[2];
    if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0) std::abort();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    std::string program = std::string(BRISKLANE_BINARY_DIR) + "/App";
    char* argv[] = {program.data(), const_cast<char*>("--no-control-socket"), nullptr};
    if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ) != 0) std::abort();
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    ::close(output[1]);
    input_ = input[1];
    output_ = output[0];
  }
  ~AppProcess() {
    ::close(input_);
    ::waitpid(pid_, nullptr, 0);
    ::close(output_);
  }

  void write(const std::string& text) {
    std::string_view rest = text;
    while (!rest.empty()) {
      ssize_t written = ::write(input_, rest.data(), rest.size());
      if (written <= 0) std::abort();
      rest.remove_prefix(static_cast<size_t>(written));
    }
  }
  // Reads until `lines` more settlements have arrived.
  void awaitLines(int lines) {
    while (lines > 0) {
      if (size_t end = buffered_.find('\n'); end != std::string::npos) {
        buffered_.erase(0, end + 1);
        --lines;
        continue;
      }
      char chunk[16384];
      ssize_t got = ::read(output_, chunk, sizeof chunk);
      if (got <= 0) std::abort();
      buffered_.append(chunk, static_cast<size_t>(got));
    }
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string buffered_;
};

void SqliteWriteFloor(benchmark::State& state) {
  auto defaults = UserDefaults::open(appGroupIdentifier);
  if (!defaults) {
    state.SkipWithError("no store");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(defaults->set(summary, todayKey));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SqliteWriteFloor)->UseRealTime();

// What the plug-in's `set` does to the store, as it must: open, write, close.
void StoreOpenWriteClose(benchmark::State& state) {
  for (auto _ : state) {
    auto defaults = UserDefaults::open(appGroupIdentifier);
    if (!defaults) {
      state.SkipWithError("no store");
      return;
    }
    benchmark::DoNotOptimize(defaults->set(summary, todayKey));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(StoreOpenWriteClose)->UseRealTime();

void SetRoundTripStdio(benchmark::State& state) {
  AppProcess app;
  std::int64_t callbackId = 0;
  for (auto _ : state) {
    app.write(setLine(++callbackId));
    app.awaitLines(1);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SetRoundTripStdio)->UseRealTime();

void SetThroughputStdio(benchmark::State& state) {
  AppProcess app;
  std::int64_t callbackId = 0;
  for (auto _ : state) {
    std::string lines;
    for (int i = 0; i < batch; ++i) lines += setLine(++callbackId);
    app.write(lines);
    app.awaitLines(batch);
  }
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(SetThroughputStdio)->UseRealTime();

}  // namespace
}  // namespace brisklane

int main(int argc, char** argv) {
  using namespace brisklane;
  std::string root = (std::filesystem::temp_directory_path() / "brisklane-bench.XXXXXX").string();
  if (::mkdtemp(root.data()) == nullptr) return 1;
  ::setenv("BRISKLANE_HOME", root.c_str(), 1);

  int status =
      bench::runWithRatios(argc, argv,
                           {{"StoreOpenWriteClose/real_time", "SqliteWriteFloor/real_time"},
                            {"SetRoundTripStdio/real_time", "SqliteWriteFloor/real_time"},
                            {"SetThroughputStdio/real_time", "SqliteWriteFloor/real_time"}});
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
  return status;
}
