// `render`: draws one widget entry to a PNG (at 3x) or an SVG (in points).
#include <memory>
#include <ostream>
#include <string>

#include "host/host_command.h"
#include "host/picture_output.h"

namespace brisklane {
namespace {

struct RenderOptions {
  WidgetChoiceOptions choice;
  std::string format;  // empty: by the output's extension
  std::string output;
};

}  // namespace

HostCommand addRenderCommand(CLI::App& app) {
  auto options = std::make_shared<RenderOptions>();
  CLI::App* command =
      app.add_subcommand("render", "Draw a widget's entry to a PNG (3x) or an SVG (points)");
  addWidgetChoiceOptions(*command, options->choice);
  command->add_option("--format", options->format, "png or svg (default: by the file's extension)")
      ->check(CLI::IsMember({"png", "svg"}));
  command->add_option("-o,--output", options->output, "The file to write")->required();
  return HostCommand{
      .subcommand = command,
      .run =
          [options](const HostContext& context) {
            auto chosen = chooseWidget(context, options->choice);
            if (const int* exitCode = std::get_if<int>(&chosen)) return *exitCode;
            const ChosenWidget& widget = std::get<ChosenWidget>(chosen);
            const std::filesystem::path output = options->output;
            PictureFormat format = PictureFormat::png;
            if (options->format == "svg" ||
                (options->format.empty() && output.extension() == ".svg")) {
              format = PictureFormat::svg;
            }
            const WidgetScene scene =
                widgetScene(*widget.widget, widget.entry, widget.family, widget.device);
            if (!writePicture(context, scene, format, output)) return exitFailure;
            context.out << output.string() << '\n';
            return exitSuccess;
          },
  };
}

}  // namespace brisklane
