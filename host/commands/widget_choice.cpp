#include "host/commands/widget_choice.h"

#include <utility>

namespace brisklane {

CommandResult<DeviceClass> chosenDevice(std::string_view name) {
  if (auto device = deviceClassNamed(name)) return *device;
  return badUsage("no device class '" + std::string(name) +
                  "'; the classes are: " + deviceClassNames());
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

void addEntryChoiceOptions(CLI::App& command, WidgetChoiceOptions& options) {
  command.add_option("--kind", options.kind, "The widget's kind")->required();
  command.add_option("--family", options.family,
                     "A family the widget is offered in (default: its first)");
  command.add_option("--source", options.source, "Where the entry comes from")
      ->check(CLI::IsMember({"placeholder", "snapshot", "timeline"}))
      ->capture_default_str();
}

void addWidgetChoiceOptions(CLI::App& command, WidgetChoiceOptions& options) {
  addEntryChoiceOptions(command, options);
  command.add_option("--device", options.device, "Device class: " + deviceClassNames());
}

namespace {

struct ChosenFamily {
  const WidgetConfiguration* widget;
  WidgetFamily family;
};

CommandResult<ChosenFamily> chooseFamily(const HostContext& context,
                                         const WidgetChoiceOptions& options) {
  const auto found = widgetOfKind(context, options.kind);
  if (!found) return Failure{found.reason()};
  const WidgetConfiguration& widget = **found;
  std::string familyName = options.family;
  if (familyName.empty() && !widget.supportedFamilies.empty()) {
    familyName = name(widget.supportedFamilies.front());
  }
  const auto family = offeredFamily(widget, familyName);
  if (!family) return Failure{family.reason()};
  return ChosenFamily{.widget = &widget, .family = *family};
}

CommandResult<ChosenEntry> entryOf(const ChosenFamily& chosen, const std::string& sourceName) {
  const std::optional<EntrySource> source = named<EntrySource>(sourceName);
  // The option's check lets no other name through.
  if (!source) return badUsage("no entry source '" + sourceName + "'");
  std::optional<AnyEntry> entry =
      providerEntry(*chosen.widget, *source,
                    TimelineProviderContext{.family = chosen.family, .isPreview = false});
  if (!entry) return commandFailed("the provider answered no entry");
  return ChosenEntry{.widget = chosen.widget, .family = chosen.family, .entry = std::move(*entry)};
}

}  // namespace

CommandResult<ChosenEntry> chooseEntry(const HostContext& context,
                                       const WidgetChoiceOptions& options) {
  const auto family = chooseFamily(context, options);
  if (!family) return Failure{family.reason()};
  return entryOf(*family, options.source);
}

CommandResult<ChosenWidget> chooseWidget(const HostContext& context,
                                         const WidgetChoiceOptions& options) {
  const auto family = chooseFamily(context, options);
  if (!family) return Failure{family.reason()};
  const auto device = chosenDevice(options.device);
  if (!device) return Failure{device.reason()};
  auto chosen = entryOf(*family, options.source);
  if (!chosen) return Failure{chosen.reason()};
  WidgetScene scene = widgetScene(*chosen->widget, chosen->entry, chosen->family, *device);
  return ChosenWidget{.widget = chosen->widget,
                      .family = chosen->family,
                      .device = *device,
                      .entry = std::move(chosen->entry),
                      .scene = std::move(scene)};
}

bool madeFolder(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return !error && std::filesystem::is_directory(folder);
}

CommandResult<void> writePicture(const WidgetScene& scene, PictureFormat format,
                                 const std::filesystem::path& path) {
  const std::optional<std::string> bytes = renderPicture(scene, format);
  if (!bytes) {
    return commandFailed(format == PictureFormat::svg ? "drawing the SVG failed"
                                                      : "drawing or encoding the PNG failed");
  }
  if (!writeFileAtomically(path, *bytes)) return commandFailed("cannot write " + path.string());
  return {};
}

}  // namespace brisklane
