// `tap`: the URL that a tap at a point of a drawn widget opens.
#include <memory>
#include <ostream>
#include <string>

#include "host/host_command.h"
#include "host/picture_output.h"

namespace brisklane {
namespace {

struct TapOptions {
  std::string kind;
  std::string family;
  std::string source = "timeline";
  std::string device{defaultDeviceClass.name};
  double x = 0;
  double y = 0;
};

}  // namespace

HostCommand addTapCommand(CLI::App& app) {
  auto options = std::make_shared<TapOptions>();
  CLI::App* command = app.add_subcommand(
      "tap", "Print the URL a tap at a point of a drawn widget opens (exit 1 when none)");
  command->add_option("--kind", options->kind, "The widget's kind")->required();
  command->add_option("--family", options->family,
                      "A family the widget is offered in (default: its first)");
  command->add_option("--source", options->source, "Where the entry comes from")
      ->check(CLI::IsMember({"placeholder", "snapshot", "timeline"}))
      ->capture_default_str();
  command->add_option("--device", options->device, "Device class: " + deviceClassNames());
  command->add_option("--x", options->x, "Points from the widget's left edge")->required();
  command->add_option("--y", options->y, "Points from the widget's top edge")->required();
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
            const std::optional<AnyEntry> entry = providerEntry(
                *widget, *source, TimelineProviderContext{.family = *family, .isPreview = false});
            if (!entry) {
              context.err << "error: the provider answered no entry\n";
              return exitFailure;
            }
            const WidgetScene scene = widgetScene(*widget, *entry, *family, *device);
            if (const std::optional<URL> url = urlAt(scene, Point{options->x, options->y})) {
              context.out << url->absoluteString << '\n';
              return exitSuccess;
            }
            context.err << "nothing opens at (" << options->x << ", " << options->y << ") of "
                        << widget->kind << " in " << name(*family) << " ("
                        << scene.layout.canvas.width << "x" << scene.layout.canvas.height
                        << " points)\n";
            return exitFailure;
          },
  };
}

}  // namespace brisklane
