// `tap`: the URL that a tap at a point of a drawn widget opens.
#include <memory>
#include <ostream>
#include <string>

#include "host/host_command.h"
#include "host/picture_output.h"

namespace brisklane {
namespace {

struct TapOptions {
  WidgetChoiceOptions choice;
  double x = 0;
  double y = 0;
};

}  // namespace

HostCommand addTapCommand(CLI::App& app) {
  auto options = std::make_shared<TapOptions>();
  CLI::App* command = app.add_subcommand(
      "tap", "Print the URL a tap at a point of a drawn widget opens (exit 1 when none)");
  addWidgetChoiceOptions(*command, options->choice);
  command->add_option("--x", options->x, "Points from the widget's left edge")->required();
  command->add_option("--y", options->y, "Points from the widget's top edge")->required();
  return HostCommand{
      .subcommand = command,
      .run =
          [options](const HostContext& context) {
            auto chosen = chooseWidget(context, options->choice);
            if (const int* exitCode = std::get_if<int>(&chosen)) return *exitCode;
            const ChosenWidget& widget = std::get<ChosenWidget>(chosen);
            const WidgetScene scene =
                widgetScene(*widget.widget, widget.entry, widget.family, widget.device);
            if (const std::optional<URL> url = urlAt(scene, Point{options->x, options->y})) {
              context.out << url->absoluteString << '\n';
              return exitSuccess;
            }
            context.err << "nothing opens at (" << options->x << ", " << options->y << ") of "
                        << widget.widget->kind << " in " << name(widget.family) << " ("
                        << scene.layout.canvas.width << "x" << scene.layout.canvas.height
                        << " points)\n";
            return exitFailure;
          },
  };
}

}  // namespace brisklane
