// `tap`: the URL that a tap at a point of a drawn widget opens, and with
// `--open`, opening it the way the phone does (open_in_app.h): a running App
// takes it, or App is launched with it the way the device has it set up.
#include <chrono>
#include <ostream>
#include <string>

#include "host/commands/host_command.h"
#include "host/commands/widget_choice.h"
#include "host/home/open_in_app.h"

namespace brisklane {
namespace {

struct TapOptions {
  WidgetChoiceOptions choice;
  double x = 0;
  double y = 0;
  bool open = false;
};

// Long enough for a launched App to come up, even on a loaded machine.
constexpr std::chrono::seconds launchPatience{15};

// Hands `url` to App, or launches App with it; else why App did not take it.
CommandResult<void> openInApp(const std::string& url) {
  const HandOver handed = openInApplication(url, operatingSystemVersion(), launchPatience);
  if (handed.outcome == HandOverOutcome::failed) {
    return commandFailed("App did not open " + url + ": " + handed.detail);
  }
  return {};
}

void declareTapOptions(CLI::App& command, TapOptions& options) {
  command.description("Print the URL a tap at a point of a drawn widget opens (exit 1 when none)");
  addWidgetChoiceOptions(command, options.choice);
  command.add_option("--x", options.x, "Points from the widget's left edge")->required();
  command.add_option("--y", options.y, "Points from the widget's top edge")->required();
  command.add_flag("--open", options.open,
                   "Open the URL in App too, as the phone does on a tap (exit 1 if App refuses)");
}

int tap(const HostContext& context, const TapOptions& options) {
  const auto chosen = chooseWidget(context, options.choice);
  if (!chosen) return reported(context, chosen.reason());
  const ChosenWidget& widget = *chosen;
  if (const std::optional<URL> url = urlAt(widget.scene, Point{options.x, options.y})) {
    context.out << url->absoluteString << std::endl;
    if (!options.open) return exitSuccess;
    const CommandResult<void> opened = openInApp(url->absoluteString);
    return opened ? exitSuccess : reported(context, opened.reason());
  }
  context.err << "nothing opens at (" << options.x << ", " << options.y << ") of "
              << widget.widget->kind << " in " << name(widget.family) << " ("
              << widget.scene.layout.canvas.width << "x" << widget.scene.layout.canvas.height
              << " points)\n";
  return exitFailure;
}

}  // namespace

HostCommand addTapCommand(CLI::App& app) {
  return commandWithOptions<TapOptions>(app, "tap", declareTapOptions, tap);
}

}  // namespace brisklane
