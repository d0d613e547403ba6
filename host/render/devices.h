// The phones the host can pretend to be: a screen size in points and the
// size the home screen and lock screen give each widget family on it (the
// published figures for these screens). Pictures are drawn at 3x.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/render/geometry.h"
#include "widget/widget_kit.h"

namespace brisklane {

struct DeviceClass {
  std::string_view name;  // the screen in points, "393x852"
  Size screen;
  Size systemSmall;
  Size systemMedium;
  Size accessoryCircular;
  Size accessoryInline;
  double widgetCornerRadius;  // points; home-screen widgets have continuous corners
};

inline constexpr double drawingScale = 3;

inline constexpr std::array deviceClasses{
    DeviceClass{.name = "430x932",
                .screen = {430, 932},
                .systemSmall = {170, 170},
                .systemMedium = {364, 170},
                .accessoryCircular = {76, 76},
                .accessoryInline = {257, 26},
                .widgetCornerRadius = 23},
    DeviceClass{.name = "393x852",
                .screen = {393, 852},
                .systemSmall = {158, 158},
                .systemMedium = {338, 158},
                .accessoryCircular = {72, 72},
                .accessoryInline = {234, 26},
                .widgetCornerRadius = 22},
    DeviceClass{.name = "375x667",
                .screen = {375, 667},
                .systemSmall = {148, 148},
                .systemMedium = {321, 148},
                .accessoryCircular = {68, 68},
                .accessoryInline = {225, 26},
                .widgetCornerRadius = 21},
};

inline constexpr const DeviceClass& defaultDeviceClass = deviceClasses[1];

[[nodiscard]] constexpr std::optional<DeviceClass> deviceClassNamed(std::string_view name) {
  for (const DeviceClass& device : deviceClasses) {
    if (device.name == name) return device;
  }
  return std::nullopt;
}

[[nodiscard]] constexpr Size familySize(const DeviceClass& device, WidgetFamily family) {
  switch (family) {
    case WidgetFamily::systemSmall:
      return device.systemSmall;
    case WidgetFamily::systemMedium:
      return device.systemMedium;
    case WidgetFamily::accessoryCircular:
      return device.accessoryCircular;
    case WidgetFamily::accessoryInline:
      return device.accessoryInline;
  }
  return device.systemSmall;
}

[[nodiscard]] constexpr bool isAccessory(WidgetFamily family) {
  return family == WidgetFamily::accessoryCircular || family == WidgetFamily::accessoryInline;
}

// "systemSmall, systemMedium": the families in their order.
[[nodiscard]] inline std::string familyNames(const std::vector<WidgetFamily>& families) {
  std::string names;
  for (WidgetFamily family : families) {
    if (!names.empty()) names += ", ";
    names += name(family);
  }
  return names;
}

}  // namespace brisklane
