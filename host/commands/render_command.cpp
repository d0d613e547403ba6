// `render`: draws one widget entry to a PNG (at 3x) or an SVG (in points).
#include <ostream>
#include <string>

#include "host/commands/host_command.h"
#include "host/commands/widget_choice.h"

namespace brisklane {
namespace {

struct RenderOptions {
  WidgetChoiceOptions choice;
  std::string format;  // empty: by the output's extension
  std::string output;
};

void declareRenderOptions(CLI::App& command, RenderOptions& options) {
  command.description("Draw a widget's entry to a PNG (3x) or an SVG (points)");
  addWidgetChoiceOptions(command, options.choice);
  command.add_option("--format", options.format, "png or svg (default: by the file's extension)")
      ->check(CLI::IsMember({"png", "svg"}));
  command.add_option("-o,--output", options.output, "The file to write")->required();
}

int render(const HostContext& context, const RenderOptions& options) {
  const auto chosen = chooseWidget(context, options.choice);
  if (!chosen) return reported(context, chosen.reason());
  const std::filesystem::path output = options.output;
  PictureFormat format = PictureFormat::png;
  if (options.format == "svg" || (options.format.empty() && output.extension() == ".svg")) {
    format = PictureFormat::svg;
  }
  if (const auto written = writePicture(chosen->scene, format, output); !written) {
    return reported(context, written.reason());
  }
  context.out << output.string() << '\n';
  return exitSuccess;
}

}  // namespace

HostCommand addRenderCommand(CLI::App& app) {
  return commandWithOptions<RenderOptions>(app, "render", declareRenderOptions, render);
}

}  // namespace brisklane
