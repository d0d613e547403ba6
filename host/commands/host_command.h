// The host's commands. Each command lives in a file of its own and offers one
// registration function that adds its subcommand to the command line and
// answers how to run it; widget_host.cpp calls them all. A command runs
// after the whole command line has been read and the global options (the
// simulated system version) have been applied.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <iosfwd>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/result.h"
#include "host/render/devices.h"
#include "platform/foundation/process_info.h"
#include "widget/widget_configuration.h"

namespace brisklane {

// What a command works with: the bundle's widgets in declaration order, and
// where it writes.
struct HostContext {
  const std::vector<WidgetConfiguration>& widgets;
  std::ostream& out;
  std::ostream& err;
};

struct HostCommand {
  CLI::App* subcommand;                        // owned by the command line
  std::function<int(const HostContext&)> run;  // answers the exit code
};

// A command whose run reads options of type `Options`: `declare` describes
// the subcommand and adds its options, which the command line fills in before
// the run.
template <class Options>
[[nodiscard]] HostCommand commandWithOptions(CLI::App& app, std::string name,
                                             void (*declare)(CLI::App& command, Options& options),
                                             int (*run)(const HostContext& context,
                                                        const Options& options)) {
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand(std::move(name));
  declare(*command, *options);
  return HostCommand{
      .subcommand = command,
      .run = [options, run](const HostContext& context) { return run(context, *options); },
  };
}

HostCommand addListCommand(CLI::App& app);
HostCommand addTimelineCommand(CLI::App& app);
HostCommand addViewCommand(CLI::App& app);
HostCommand addRenderCommand(CLI::App& app);
HostCommand addGalleryCommand(CLI::App& app);
HostCommand addTapCommand(CLI::App& app);
HostCommand addServeCommand(CLI::App& app);
HostCommand addDoctorCommand(CLI::App& app);
HostCommand addSnapshotCommand(CLI::App& app);

// --- Helpers the commands share ---

// Why a command stops early: the line to tell the user, and its exit code.
struct CommandFailure {
  int exitCode;
  std::string message;  // printed as "error: <message>"
};
template <class T>
using CommandResult = Result<T, CommandFailure>;

// A bad command line (exit 2), and a command that failed (exit 1).
[[nodiscard]] Failure<CommandFailure> badUsage(std::string message);
[[nodiscard]] Failure<CommandFailure> commandFailed(std::string message);

// Tells `context.err` why the command stops, and answers its exit code.
int reported(const HostContext& context, const CommandFailure& failure);

// The widget of `kind`; when there is none, a reason that names the kinds
// there are.
[[nodiscard]] CommandResult<const WidgetConfiguration*> widgetOfKind(const HostContext& context,
                                                                     std::string_view kind);

// The family named `familyName` when `widget` offers it; else a reason that
// names the families it offers.
[[nodiscard]] CommandResult<WidgetFamily> offeredFamily(const WidgetConfiguration& widget,
                                                        std::string_view familyName);

// The entry from `source`; nothing when the provider answered no entry.
[[nodiscard]] std::optional<AnyEntry> providerEntry(const WidgetConfiguration& widget,
                                                    EntrySource source,
                                                    const TimelineProviderContext& context);

// `json` indented by two, with invalid UTF-8 replaced rather than thrown on.
void printJson(std::ostream& out, const nlohmann::ordered_json& json);

}  // namespace brisklane
