#include "host/picture_output.h"

#include <ostream>

#include "host/png_writer.h"

namespace brisklane {

std::string_view extension(PictureFormat format) {
  return format == PictureFormat::svg ? ".svg" : ".png";
}

std::optional<DeviceClass> chosenDevice(const HostContext& context, std::string_view name) {
  if (auto device = deviceClassNamed(name)) return device;
  context.err << "error: no device class '" << name << "'; the classes are: " << deviceClassNames()
              << '\n';
  return std::nullopt;
}

std::string deviceClassNames() {
  std::string names;
  for (const DeviceClass& device : deviceClasses) {
    if (!names.empty()) names += ", ";
    names += device.name;
    if (device.name == defaultDeviceClass.name) names += " (default)";
  }
  return names;
}

void addWidgetChoiceOptions(CLI::App& command, WidgetChoiceOptions& options) {
  command.add_option("--kind", options.kind, "The widget's kind")->required();
  command.add_option("--family", options.family,
                     "A family the widget is offered in (default: its first)");
  command.add_option("--source", options.source, "Where the entry comes from")
      ->check(CLI::IsMember({"placeholder", "snapshot", "timeline"}))
      ->capture_default_str();
  command.add_option("--device", options.device, "Device class: " + deviceClassNames());
}

std::variant<ChosenWidget, int> chooseWidget(const HostContext& context,
                                             const WidgetChoiceOptions& options) {
  const WidgetConfiguration* widget = widgetOfKind(context, options.kind);
  if (!widget) return exitUsage;
  std::string familyName = options.family;
  if (familyName.empty() && !widget->supportedFamilies.empty()) {
    familyName = name(widget->supportedFamilies.front());
  }
  const std::optional<WidgetFamily> family = offeredFamily(context, *widget, familyName);
  if (!family) return exitUsage;
  const std::optional<DeviceClass> device = chosenDevice(context, options.device);
  if (!device) return exitUsage;
  const std::optional<EntrySource> source = named<EntrySource>(options.source);
  if (!source) return exitUsage;  // the option's check lets no other name through
  std::optional<AnyEntry> entry = providerEntry(
      *widget, *source, TimelineProviderContext{.family = *family, .isPreview = false});
  if (!entry) {
    context.err << "error: the provider answered no entry\n";
    return exitFailure;
  }
  WidgetScene scene = widgetScene(*widget, *entry, *family, *device);
  return ChosenWidget{.widget = widget,
                      .family = *family,
                      .device = *device,
                      .entry = std::move(*entry),
                      .scene = std::move(scene)};
}

WidgetScene widgetScene(const WidgetConfiguration& widget, const AnyEntry& entry,
                        WidgetFamily family, const DeviceClass& device) {
  return makeScene(evaluated(widget.content(entry), EnvironmentValues{.widgetFamily = family}),
                   family, device);
}

std::optional<std::string> renderPicture(const WidgetScene& scene, PictureFormat format) {
  if (format == PictureFormat::svg) return renderSvg(scene);
  auto encoded = renderPng(scene);
  if (!encoded) return std::nullopt;
  return std::string(encoded->begin(), encoded->end());
}

bool writePicture(const HostContext& context, const WidgetScene& scene, PictureFormat format,
                  const std::filesystem::path& path) {
  const std::optional<std::string> bytes = renderPicture(scene, format);
  if (!bytes) {
    context.err << (format == PictureFormat::svg ? "error: drawing the SVG failed\n"
                                                 : "error: drawing or encoding the PNG failed\n");
    return false;
  }
  if (!writeFileAtomically(path, *bytes)) {
    context.err << "error: cannot write " << path.string() << '\n';
    return false;
  }
  return true;
}

}  // namespace brisklane
