// `render`: draws one widget entry to a PNG (at 3x) or an SVG (in points).
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

void declareRenderOptions(CLI::App& command, RenderOptions& options) {
  command.description("Draw a widget's entry to a PNG (3x) or an SVG (points)");
  addWidgetChoiceOptions(command, options.choice);
  command.add_option("--format", options.format, "png or svg (default: by the file's extension)")
      ->check(CLI::IsMember({"png", "svg"}));
  command.add_option("-o,--output", options.output, "The file to write")->required();
}

int render(const HostContext& context, const RenderOptions& options) {
  auto chosen = chooseWidget(context, options.choice);
  if (const int* exitCode = std::get_if<int>(&chosen)) return *exitCode;
  const std::filesystem::path output = options.output;
  PictureFormat format = PictureFormat::png;
  if (options.format == "svg" || (options.format.empty() && output.extension() == ".svg")) {
    format = PictureFormat::svg;
  }
  if (!writePicture(context, std::get<ChosenWidget>(chosen).scene, format, output)) {
    return exitFailure;
  }
  context.out << output.string() << '\n';
  return exitSuccess;
}

}  // namespace

HostCommand addRenderCommand(CLI::App& app) {
  return commandWithOptions<RenderOptions>(app, "render", declareRenderOptions, render);
}

}  // namespace brisklane
