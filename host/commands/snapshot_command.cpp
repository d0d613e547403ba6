// `snapshot`: golden widgets. Each scenario (snapshot_scenario.h) is drawn
// on a simulated device whose store holds just its summary, in every
// placement it names, to a PNG
// and its layout report: NAME.png and NAME.json, where NAME is
// "SCENARIO.KIND-FAMILY". With `--check` they are compared with a golden
// folder instead of written (golden.h): every one is checked, each that
// differs is told in words, and the exit code is 1 when any fails;
// `--update` then writes the new ones as the goldens. `--compare` checks
// pairs already drawn (by the test kit, from a running home screen) in
// place of scenarios.
#include <malloc.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "host/commands/host_command.h"
#include "host/commands/snapshot_scenario.h"
#include "host/commands/widget_choice.h"
#include "host/home/home_screen.h"
#include "host/home/host_clock.h"
#include "host/snapshot/golden.h"
#include "host/snapshot/layout_report.h"
#include "platform/device/device_folder.h"
#include "platform/foundation/user_defaults.h"
#include "widget/app_group.h"

namespace brisklane {
namespace {

namespace fs = std::filesystem;

struct SnapshotOptions {
  std::vector<std::string> scenarios;
  std::string output;
  std::string compare;
  std::string check;
  bool update = false;
  std::string report;
  bool strictPixels = false;
  double threshold = GoldenOptions{}.threshold;
};

// Goldens and reports are kept with a project's sources: readable by all.
constexpr mode_t sharedFileMode = 0644;

// --- Where the snapshots come from ---

using SnapshotSink = std::function<void(const std::string& name, const Snapshot& snapshot)>;

struct NamedScenario {
  std::string name;  // the file's stem
  Scenario scenario;
};

// Every scenario file, decoded; else every reason one is not.
CommandResult<std::vector<NamedScenario>> readScenarios(const HostContext& context,
                                                        const std::vector<std::string>& files) {
  std::vector<NamedScenario> scenarios;
  std::string problems;
  std::set<std::string> names;
  for (const std::string& file : files) {
    // A scenario's name names its pictures: a second file of the same name
    // would draw over the first one's.
    if (!names.insert(fs::path(file).stem().string()).second) {
      problems += (problems.empty() ? "" : "; ") + file + ": another scenario file has the name " +
                  fs::path(file).stem().string();
      continue;
    }
    const SystemResult<std::string> text = readFile(file, std::size_t{1} << 24);
    if (!text) {
      problems += (problems.empty() ? "" : "; ") + text.reason().message;
      continue;
    }
    Result<Scenario> scenario = decodeScenario(*text, context.widgets);
    if (!scenario) {
      problems += (problems.empty() ? "" : "; ") + file + ": " + scenario.reason();
      continue;
    }
    scenarios.push_back({fs::path(file).stem().string(), std::move(scenario).value()});
  }
  if (!problems.empty()) return badUsage(problems);
  return scenarios;
}

// Publishes the scenario's summary into the device's store, as App does.
CommandResult<void> publish(const Scenario& scenario) {
  if (!scenario.summary) return {};
  auto store = UserDefaults::open(appGroupIdentifier);
  if (!store || !store->set(*scenario.summary, todayKey)) {
    return commandFailed("cannot publish the summary into the device's store");
  }
  return {};
}

// Draws `scenario` on the device at `device`, each placement into `sink`.
CommandResult<void> drawScenario(const HostContext& context, const NamedScenario& named,
                                 const fs::path& device, const SnapshotSink& sink) {
  const DeviceRootSwitch root(device);
  const Scenario& scenario = named.scenario;
  if (auto published = publish(scenario); !published) return published;
  installStoppedClock(scenario.now);
  setOperatingSystemVersion(scenario.home.systemVersion);
  const auto deviceClass = chosenDevice(scenario.home.deviceClass);
  if (!deviceClass) return Failure{deviceClass.reason()};
  for (const Placement& placement : scenario.home.placements) {
    const auto widget = widgetOfKind(context, placement.kind);
    if (!widget) return Failure{widget.reason()};
    const auto family = offeredFamily(**widget, placement.family);
    if (!family) return Failure{family.reason()};
    const std::optional<AnyEntry> entry =
        providerEntry(**widget, EntrySource::timeline, {.family = *family, .isPreview = false});
    if (!entry) return commandFailed(placement.kind + " answered no entry");
    const WidgetScene scene = widgetScene(**widget, *entry, *family, *deviceClass);
    std::optional<std::string> picture = renderPicture(scene, PictureFormat::png);
    if (!picture) return commandFailed("drawing or encoding the PNG failed");
    sink(named.name + "." + HomeScreen::placementIdentifier(placement),
         Snapshot{std::move(*picture), layoutReport(placement.kind, scene).dump(2) + "\n"});
  }
  return {};
}

CommandResult<void> drawScenarios(const HostContext& context,
                                  const std::vector<NamedScenario>& scenarios,
                                  const SnapshotSink& sink) {
  const TemporaryFolder devices("brisklane-snapshot");
  if (const auto& error = devices.error()) return commandFailed(error->message);
  const OperatingSystemVersion version = operatingSystemVersion();
  CommandResult<void> drawn;
  for (std::size_t index = 0; index < scenarios.size() && drawn; ++index) {
    // Two devices serve every scenario: one whose store each summary
    // replaces the one before in, and one where App never published.
    const char* device = scenarios[index].scenario.summary ? "published" : "untouched";
    drawn = drawScenario(context, scenarios[index], devices.path() / device, sink);
  }
  installHostClock();
  setOperatingSystemVersion(version);
  return drawn;
}

// The pair NAME.png and NAME.json in `folder`, or nothing when either is missing.
std::optional<Snapshot> readSnapshot(const fs::path& folder, const std::string& name) {
  const auto picture = readFile(folder / (name + ".png"), std::size_t{1} << 26);
  const auto layout = readFile(folder / (name + ".json"), std::size_t{1} << 24);
  if (!picture || !layout) return std::nullopt;
  return Snapshot{*picture, *layout};
}

// Every pair in `folder`, by name.
CommandResult<void> readDrawn(const fs::path& folder, const SnapshotSink& sink) {
  std::error_code error;
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.path().extension() == ".png") names.push_back(entry.path().stem().string());
  }
  if (error) return badUsage("cannot read the folder " + folder.string() + ": " + error.message());
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::optional<Snapshot> snapshot = readSnapshot(folder, name);
    if (!snapshot) {
      std::string why = "cannot read " + name + ".png and ";
      why += name + ".json in " + folder.string();
      return commandFailed(std::move(why));
    }
    sink(name, *snapshot);
  }
  return {};
}

// --- Where they go ---

bool written(const HostContext& context, const fs::path& path, std::string_view bytes) {
  if (const auto done = writeFileAtomically(path, bytes, sharedFileMode); !done) {
    context.err << "error: " << done.reason().message << '\n';
    return false;
  }
  return true;
}

bool writeSnapshot(const HostContext& context, const fs::path& folder, const std::string& name,
                   const Snapshot& snapshot) {
  return written(context, folder / (name + ".png"), snapshot.picture) &&
         written(context, folder / (name + ".json"), snapshot.layout);
}

struct Check {
  const HostContext& context;
  const SnapshotOptions& options;
  GoldenOptions golden;
  std::vector<GoldenComparison> comparisons;
  std::size_t updated = 0;
  bool failedToWrite = false;
};

void tell(const HostContext& context, const GoldenComparison& comparison, bool fails) {
  if (comparison.verdict == GoldenVerdict::same) return;
  context.out << comparison.name << ": " << name(comparison.verdict);
  if (comparison.verdict == GoldenVerdict::noise || comparison.verdict == GoldenVerdict::differs) {
    context.out << " (" << comparison.differingPixels << " pixels differ, "
                << comparison.antiAliasedPixels << " more by anti-aliasing"
                << (fails || comparison.verdict == GoldenVerdict::differs
                        ? ")"
                        : "; passes: rendering noise)");
  }
  context.out << '\n';
  for (const std::string& line : comparison.lines) context.out << "  " << line << '\n';
}

// Writes the golden, the new picture and the difference into the report.
bool writeReportPictures(const Check& check, const GoldenComparison& comparison,
                         const std::optional<Snapshot>& golden, const Snapshot& now) {
  const fs::path report = check.options.report;
  const std::string& name = comparison.name;
  bool ok = written(check.context, report / (name + ".now.png"), now.picture);
  if (golden) ok = written(check.context, report / (name + ".golden.png"), golden->picture) && ok;
  if (comparison.diffPicture) {
    ok = written(check.context, report / (name + ".diff.png"), *comparison.diffPicture) && ok;
  }
  return ok;
}

void checkOne(Check& check, const std::string& name, const Snapshot& now) {
  const fs::path goldens = check.options.check;
  const std::optional<Snapshot> golden = readSnapshot(goldens, name);
  GoldenComparison comparison = compareWithGolden(name, golden, now, check.golden);
  tell(check.context, comparison, failsCheck(comparison, check.golden));
  const bool pictured =
      comparison.verdict == GoldenVerdict::differs || comparison.verdict == GoldenVerdict::noise;
  if (!check.options.report.empty() && pictured &&
      !writeReportPictures(check, comparison, golden, now)) {
    check.failedToWrite = true;
  }
  if (check.options.update && comparison.verdict != GoldenVerdict::same) {
    if (writeSnapshot(check.context, goldens, name, now)) {
      ++check.updated;
    } else {
      check.failedToWrite = true;
    }
  }
  comparison.diffPicture.reset();  // written; thousands of them need not stay
  check.comparisons.push_back(std::move(comparison));
}

int finishCheck(Check& check) {
  std::size_t failing = 0;
  std::size_t noise = 0;
  for (const GoldenComparison& comparison : check.comparisons) {
    failing += failsCheck(comparison, check.golden) ? 1 : 0;
    noise += comparison.verdict == GoldenVerdict::noise ? 1 : 0;
  }
  if (!check.options.report.empty()) {
    const fs::path report = check.options.report;
    check.failedToWrite =
        !written(check.context, report / "index.html",
                 goldenReportHtml(check.comparisons, check.golden)) ||
        !written(check.context, report / "report.json",
                 goldenReportJson(check.comparisons, check.golden).dump(2) + "\n") ||
        check.failedToWrite;
  }
  check.context.out << "checked " << check.comparisons.size() << " snapshots: " << failing
                    << " differ, " << noise << " with rendering noise only";
  if (check.options.update) check.context.out << "; updated " << check.updated << " goldens";
  if (!check.options.report.empty())
    check.context.out << "; report: " << (fs::path(check.options.report) / "index.html").string();
  check.context.out << '\n';
  if (check.failedToWrite) return exitFailure;
  return failing > 0 && !check.options.update ? exitFailure : exitSuccess;
}

// --- The command ---

void declareSnapshotOptions(CLI::App& command, SnapshotOptions& options) {
  command.description(
      "Draw scenarios to pictures and layout reports, or check them against goldens");
  command.add_option("scenarios", options.scenarios, "Scenario files (JSON)");
  command.add_option("-o,--output", options.output, "Write NAME.png and NAME.json here");
  command.add_option("--compare", options.compare,
                     "Check the NAME.png and NAME.json pairs in this folder instead of scenarios");
  command.add_option("--check", options.check, "Compare with the goldens in this folder");
  command.add_flag("--update", options.update, "Write what differs as the new goldens");
  command.add_option("--report", options.report, "Write index.html and report.json here");
  command.add_flag("--strict-pixels", options.strictPixels,
                   "Fail on pixels that differ with nothing else (rendering noise)");
  command
      .add_option("--threshold", options.threshold,
                  "Colour distance a pixel may differ by (0 to 1)")
      ->check(CLI::Range(0.0, 1.0));
}

CommandResult<void> checkUsage(const SnapshotOptions& options) {
  if (options.scenarios.empty() == options.compare.empty()) {
    return badUsage("name scenario files or --compare FOLDER, one of the two");
  }
  if (options.check.empty() && options.output.empty()) return badUsage("name --output or --check");
  if (!options.check.empty() && !options.output.empty())
    return badUsage("--output and --check exclude each other");
  if (options.check.empty() && (options.update || !options.report.empty())) {
    return badUsage("--update and --report need --check");
  }
  for (const std::string& folder : {options.output, options.check, options.report}) {
    if (!folder.empty() && !madeFolder(folder))
      return commandFailed("cannot make the folder " + folder);
  }
  return {};
}

int snapshot(const HostContext& context, const SnapshotOptions& options) {
  if (auto usable = checkUsage(options); !usable) return reported(context, usable.reason());
  // Picture buffers go straight back to the system when freed: thousands
  // pass through one run.
  ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  Check check{
      context, options, {.threshold = options.threshold, .strictPixels = options.strictPixels},
      {},      0,       false};
  std::size_t count = 0;
  const SnapshotSink sink = [&](const std::string& name, const Snapshot& snapshot) {
    ++count;
    if (!options.check.empty()) {
      checkOne(check, name, snapshot);
    } else if (!writeSnapshot(context, options.output, name, snapshot)) {
      check.failedToWrite = true;
    }
  };
  CommandResult<void> done;
  if (options.compare.empty()) {
    auto scenarios = readScenarios(context, options.scenarios);
    if (!scenarios) return reported(context, scenarios.reason());
    done = drawScenarios(context, *scenarios, sink);
  } else {
    done = readDrawn(options.compare, sink);
  }
  if (!done) return reported(context, done.reason());
  if (!options.check.empty()) return finishCheck(check);
  context.out << options.output << " (" << count << " snapshots, PNG and layout JSON)\n";
  return check.failedToWrite ? exitFailure : exitSuccess;
}

}  // namespace

HostCommand addSnapshotCommand(CLI::App& app) {
  return commandWithOptions<SnapshotOptions>(app, "snapshot", declareSnapshotOptions, snapshot);
}

}  // namespace brisklane
