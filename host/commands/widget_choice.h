// What the drawing commands (render, gallery, tap) share: choosing a widget,
// family, device and entry from the command line, the scene of one widget
// entry, and writing pictures.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "host/commands/host_command.h"
#include "host/render/devices.h"
#include "host/render/picture.h"
#include "platform/os/files.h"

namespace brisklane {

// The device class named `name`; else a reason that names the classes there
// are.
[[nodiscard]] CommandResult<DeviceClass> chosenDevice(std::string_view name);

// "430x932, 393x852 (default), 375x667", for option help.
[[nodiscard]] std::string deviceClassNames();

// The options that point a command at one widget entry on one device.
struct WidgetChoiceOptions {
  std::string kind;
  std::string family;  // empty: the widget's first family
  std::string source = "timeline";
  std::string device{defaultDeviceClass.name};
};
// `--kind`, `--family` and `--source`; with `--device` too.
void addEntryChoiceOptions(CLI::App& command, WidgetChoiceOptions& options);
void addWidgetChoiceOptions(CLI::App& command, WidgetChoiceOptions& options);

struct ChosenEntry {
  const WidgetConfiguration* widget;
  WidgetFamily family;
  AnyEntry entry;  // from the provider, as `options.source` says
};

// The widget, family and entry that `options` name (their device aside); else
// why not: a bad choice (exit 2), or a provider that answered no entry (1).
[[nodiscard]] CommandResult<ChosenEntry> chooseEntry(const HostContext& context,
                                                     const WidgetChoiceOptions& options);

struct ChosenWidget {
  const WidgetConfiguration* widget;
  WidgetFamily family;
  DeviceClass device;
  AnyEntry entry;     // from the provider, as `options.source` says
  WidgetScene scene;  // of `entry`, in `family` on `device`
};

// The chosen widget entry and its scene on the chosen device; else why not, as
// for `chooseEntry`.
[[nodiscard]] CommandResult<ChosenWidget> chooseWidget(const HostContext& context,
                                                       const WidgetChoiceOptions& options);

// Whether `folder` is there, made with its parents when missing.
[[nodiscard]] bool madeFolder(const std::filesystem::path& folder);

// Draws `scene` and writes it to `path` (atomically); else what failed.
[[nodiscard]] CommandResult<void> writePicture(const WidgetScene& scene, PictureFormat format,
                                               const std::filesystem::path& path);

}  // namespace brisklane
