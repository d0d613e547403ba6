// `render`: draws one widget entry to a PNG (at 3x) or an SVG (in points).
#include <memory>
#include <ostream>
#include <string>

#include "host/host_command.h"
#include "host/picture_output.h"

namespace brisklane {
namespace {

struct RenderOptions {
  std::string kind;
  std::string family;  // empty: the widget's first family
  std::string source = "timeline";
  std::string device{defaultDeviceClass.name};
  std::string format;  // empty: by the output's extension
  std::string output;
};

}  // namespace

HostCommand addRenderCommand(CLI::App& app) {
  auto options = std::make_shared<RenderOptions>();
  CLI::App* command =
      app.add_subcommand("render", "Draw a widget's entry to a PNG (3x) or an SVG (points)");
  command->add_option("--kind", options->kind, "The widget's kind")->required();
  command->add_option("--family", options->family,
                      "A family the widget is offered in (default: its first)");
  command->add_option("--source", options->source, "Where the entry comes from")
      ->check(CLI::IsMember({"placeholder", "snapshot", "timeline"}))
      ->capture_default_str();
  command->add_option("--device", options->device, "Device class: " + deviceClassNames());
  command->add_option("--format", options->format, "png or svg (default: by the file's extension)")
      ->check(CLI::IsMember({"png", "svg"}));
  command->add_option("-o,--output", options->output, "The file to write")->required();
  return HostCommand{
      .subcommand = command,
      .run =
          [options](const HostContext& context) {
            const WidgetConfiguration* widget = widgetOfKind(context, options->kind);
            if (!widget) return exitBadUsage;
            std::string familyName = options->family;
            if (familyName.empty() && !widget->supportedFamilies.empty()) {
              familyName = name(widget->supportedFamilies.front());
            }
            const std::optional<WidgetFamily> family = offeredFamily(context, *widget, familyName);
            if (!family) return exitBadUsage;
            const std::optional<DeviceClass> device = chosenDevice(context, options->device);
            if (!device) return exitBadUsage;
            const std::optional<EntrySource> source = entrySourceNamed(options->source);
            if (!source) return exitBadUsage;
            const std::filesystem::path output = options->output;
            PictureFormat format = PictureFormat::png;
            if (options->format == "svg" ||
                (options->format.empty() && output.extension() == ".svg")) {
              format = PictureFormat::svg;
            }

            const std::optional<AnyEntry> entry = providerEntry(
                *widget, *source, TimelineProviderContext{.family = *family, .isPreview = false});
            if (!entry) {
              context.err << "error: the provider answered no entry\n";
              return exitFailure;
            }
            const WidgetScene scene = widgetScene(*widget, *entry, *family, *device);
            if (!writePicture(context, scene, format, output)) return exitFailure;
            context.out << output.string() << '\n';
            return exitSuccess;
          },
  };
}

}  // namespace brisklane
