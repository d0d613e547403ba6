// What the drawing commands (render, gallery, tap) share: the device option,
// the scene of one widget entry, and writing pictures.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "host/devices.h"
#include "host/draw.h"
#include "host/host_command.h"

namespace brisklane {

enum class PictureFormat { png, svg };

[[nodiscard]] std::string_view extension(PictureFormat format);

// The device class named `name`; nothing after telling `context.err` the
// names there are.
[[nodiscard]] std::optional<DeviceClass> chosenDevice(const HostContext& context,
                                                      std::string_view name);

// "430x932, 393x852 (default), 375x667", for option help.
[[nodiscard]] std::string deviceClassNames();

// The view `widget` shows for `entry`, evaluated in `family` and laid out on
// `device`.
[[nodiscard]] WidgetScene widgetScene(const WidgetConfiguration& widget, const AnyEntry& entry,
                                      WidgetFamily family, const DeviceClass& device);

// Draws `scene` and writes it to `path`; false after telling `context.err`
// what failed.
[[nodiscard]] bool writePicture(const HostContext& context, const WidgetScene& scene,
                                PictureFormat format, const std::filesystem::path& path);

}  // namespace brisklane
