// How the device's home screen is set up: which widgets are placed in which
// family, the device class the screen is and the system version it runs. The
// setup is kept in the device folder (`$BRISKLANE_HOME/home-screen.json`) so
// that it outlives a host; the home-screen page changes it.
//
// The file holds names, not checked references: a placement may name a kind
// or family that the bundle no longer offers. Such a placement stays placed
// and is shown with the reason it cannot be drawn, as a phone shows a widget
// whose extension has gone.
//
//   {"placements":[{"kind":"BrisklaneWidget","family":"systemSmall"}, ...],
//    "deviceClass":"393x852","systemVersion":"17.4.0","language":"en"}
//
// "language" is the device's preferred language (a BCP 47 tag such as "en"
// or "pt-BR"), which the application reads as its own; "en" when the file
// has none.
#pragma once

#include <cstddef>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "platform/device/application_launch.h"
#include "platform/foundation/process_info.h"
#include "widget/widget_configuration.h"

namespace brisklane {

struct Placement {
  std::string kind;
  std::string family;  // a family name, e.g. "systemSmall"

  friend bool operator==(const Placement&, const Placement&) = default;
};

struct HomeScreenSettings {
  std::vector<Placement> placements;  // in the order they are shown; no placement twice
  std::string deviceClass;            // the name of a device class, e.g. "393x852"
  OperatingSystemVersion systemVersion;
  std::string language = std::string(defaultDeviceLanguage);

  friend bool operator==(const HomeScreenSettings&, const HomeScreenSettings&) = default;
};

// A home screen holds at most this many widgets; more is not a home screen.
inline constexpr std::size_t maximumPlacements = 32;

// One of each widget in each family it offers, on the default device class
// and system version.
[[nodiscard]] HomeScreenSettings defaultHomeScreen(const std::vector<WidgetConfiguration>& widgets);

// The settings in `json`, or why they are not: a device class or version
// that does not exist, placements that are not {kind, family} strings or are
// too many. A placement named twice is kept once, where it first appears.
[[nodiscard]] Result<HomeScreenSettings> decodeHomeScreenSettings(std::string_view json);
[[nodiscard]] nlohmann::ordered_json homeScreenSettingsJson(const HomeScreenSettings& settings);
[[nodiscard]] std::string encodeHomeScreenSettings(const HomeScreenSettings& settings);

[[nodiscard]] std::filesystem::path homeScreenSettingsPath();

// The device's saved settings; the defaults when none are saved. A file that
// cannot be read or decoded gives the defaults too, with `problem` saying why
// (the file is left as it is until the settings are next saved).
struct LoadedHomeScreenSettings {
  HomeScreenSettings settings;
  std::string problem;  // empty when the file was read, or when there was none
};
[[nodiscard]] LoadedHomeScreenSettings loadHomeScreenSettings(
    const std::vector<WidgetConfiguration>& widgets);

// Writes the settings atomically; false when they cannot be written.
[[nodiscard]] Status saveHomeScreenSettings(const HomeScreenSettings& settings);

}  // namespace brisklane
