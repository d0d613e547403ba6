// `snapshot` over 200 scenarios in the five placements of the default home
// screen, run as the real program: drawing them to a folder, and checking
// them against goldens drawn before. The floor is the drawing alone, in this
// process, of the same 1000 widgets: publishing each summary into a store
// and drawing each placement's entry to PNG bytes, with no layout report, no
// files and no comparison. Times are per scenario (items), so the console's
// items_per_second is scenarios per second.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bench/support/ratio_main.h"
#include "host/render/picture.h"
#include "platform/foundation/user_defaults.h"
#include "platform/os/files.h"
#include "tests/support/subprocess.h"
#include "widget/app_group.h"
#include "widget/widget_bundle.h"

namespace brisklane {
namespace {

namespace fs = std::filesystem;

constexpr int scenarioCount = 200;

// Summaries of every shape the Today widget shows: each tier, nothing due,
// a few rows, an overflowing list, long titles.
std::string summaryOf(int index) {
  static const char* const tiers[] = {"urgent", "important", "calm"};
  nlohmann::json items = nlohmann::json::array();
  for (int row = 0; row < index % 6; ++row) {
    std::string title = "Task " + std::to_string(index) + "." + std::to_string(row);
    if (row == 1 && index % 4 == 0) title += " with a title far too long for any row of the widget";
    items.push_back({{"title", title}, {"project", row % 2 == 0 ? "Home" : "Work"}});
  }
  return nlohmann::json{{"tier", tiers[index % 3]}, {"count", index % 9}, {"items", items}}.dump();
}

struct Corpus {
  fs::path folder = fs::temp_directory_path() / "brisklane-snapshot-bench";
  std::vector<std::string> files;
};

const Corpus& corpus() {
  static const Corpus made = [] {
    Corpus corpus;
    fs::remove_all(corpus.folder);
    fs::create_directories(corpus.folder / "scenarios");
    for (int index = 0; index < scenarioCount; ++index) {
      const fs::path file = corpus.folder / "scenarios" / ("s" + std::to_string(index) + ".json");
      const std::string scenario = R"({"summary": )" + summaryOf(index) + "}";
      if (!writeFileAtomically(file, scenario)) std::abort();
      corpus.files.push_back(file.string());
    }
    return corpus;
  }();
  return made;
}

std::vector<std::string> snapshotArguments(std::vector<std::string> tail) {
  std::vector<std::string> arguments{"snapshot"};
  arguments.insert(arguments.end(), corpus().files.begin(), corpus().files.end());
  arguments.insert(arguments.end(), tail.begin(), tail.end());
  return arguments;
}

void runSnapshot(benchmark::State& state, const std::vector<std::string>& arguments) {
  const fs::path program = testing::builtProgram("BrisklaneWidgetExtension");
  for (auto _ : state) {
    const auto result = testing::runProcess(program, arguments);
    if (result.exitCode != 0) {
      state.SkipWithError(("snapshot failed: " + result.err).c_str());
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * scenarioCount);
}

void drawToFolder(benchmark::State& state) {
  runSnapshot(state, snapshotArguments({"-o", (corpus().folder / "drawn").string()}));
}

void checkAgainstGoldens(benchmark::State& state) {
  const std::string goldens = (corpus().folder / "goldens").string();
  if (testing::runProcess(testing::builtProgram("BrisklaneWidgetExtension"),
                          snapshotArguments({"-o", goldens}))
          .exitCode != 0) {
    state.SkipWithError("cannot draw the goldens");
    return;
  }
  runSnapshot(state, snapshotArguments({"--check", goldens}));
}

void drawAlone(benchmark::State& state) {
  const std::vector<WidgetConfiguration> widgets = BrisklaneWidgetBundle{}.body();
  auto store = UserDefaults::open(appGroupIdentifier);
  if (!store) {
    state.SkipWithError("cannot open the store");
    return;
  }
  for (auto _ : state) {
    for (int index = 0; index < scenarioCount; ++index) {
      store->set(summaryOf(index), todayKey);
      for (const WidgetConfiguration& widget : widgets) {
        for (WidgetFamily family : widget.supportedFamilies) {
          widget.getTimeline(
              {.family = family, .isPreview = false}, [&](Timeline<AnyEntry> timeline) {
                auto bytes = renderPicture(
                    widgetScene(widget, timeline.entries.front(), family, defaultDeviceClass),
                    PictureFormat::png);
                benchmark::DoNotOptimize(bytes);
              });
        }
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * scenarioCount);
}

BENCHMARK(drawToFolder)
    ->Name("snapshot/draw")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(checkAgainstGoldens)
    ->Name("snapshot/check")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(drawAlone)
    ->Name("floor/draw alone")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);

}  // namespace
}  // namespace brisklane

int main(int argc, char** argv) {
  return brisklane::bench::runWithRatios(argc, argv,
                                         {{"snapshot/draw/iterations:1/repeats:3/real_time",
                                           "floor/draw alone/iterations:1/repeats:3/real_time"},
                                          {"snapshot/check/iterations:1/repeats:3/real_time",
                                           "floor/draw alone/iterations:1/repeats:3/real_time"}});
}
