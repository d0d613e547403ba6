#include "host/home/home_screen_settings.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "host/render/devices.h"
#include "platform/device/device_folder.h"
#include "platform/os/files.h"

namespace brisklane {
namespace {

Result<std::vector<Placement>> decodePlacements(const nlohmann::json& list) {
  if (!list.is_array()) return Failure{"\"placements\" must be an array"};
  std::vector<Placement> placements;
  for (const nlohmann::json& item : list) {
    if (!item.is_object() || !item.contains("kind") || !item["kind"].is_string() ||
        !item.contains("family") || !item["family"].is_string()) {
      return Failure{"each placement must be an object with the strings \"kind\" and \"family\""};
    }
    Placement placement{.kind = item["kind"].get<std::string>(),
                        .family = item["family"].get<std::string>()};
    if (std::find(placements.begin(), placements.end(), placement) != placements.end()) continue;
    if (placements.size() == maximumPlacements) {
      return Failure{"a home screen holds at most " + std::to_string(maximumPlacements) +
                     " widgets"};
    }
    placements.push_back(std::move(placement));
  }
  return placements;
}

}  // namespace

HomeScreenSettings defaultHomeScreen(const std::vector<WidgetConfiguration>& widgets) {
  HomeScreenSettings settings{.placements = {},
                              .deviceClass = std::string(defaultDeviceClass.name),
                              .systemVersion = defaultOperatingSystemVersion,
                              .language = std::string(defaultDeviceLanguage)};
  for (const WidgetConfiguration& widget : widgets) {
    for (WidgetFamily family : widget.supportedFamilies) {
      if (settings.placements.size() == maximumPlacements) return settings;
      settings.placements.push_back(
          Placement{.kind = widget.kind, .family = std::string(name(family))});
    }
  }
  return settings;
}

Result<HomeScreenSettings> decodeHomeScreenSettings(std::string_view json) {
  const nlohmann::json document = nlohmann::json::parse(json, nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded() || !document.is_object()) {
    return Failure{"the settings are not a JSON object"};
  }
  for (const char* key : {"placements", "deviceClass", "systemVersion"}) {
    if (!document.contains(key)) return Failure{"\"" + std::string(key) + "\" is missing"};
  }
  auto placements = decodePlacements(document["placements"]);
  if (!placements) return Failure{placements.reason()};

  const nlohmann::json& device = document["deviceClass"];
  if (!device.is_string() || !deviceClassNamed(device.get<std::string>())) {
    return Failure{"\"deviceClass\" must name a device class"};
  }
  const nlohmann::json& version = document["systemVersion"];
  std::optional<OperatingSystemVersion> systemVersion;
  if (version.is_string())
    systemVersion = OperatingSystemVersion::parse(version.get<std::string>());
  if (!systemVersion) return Failure{"\"systemVersion\" must be a version such as \"17.4\""};

  std::string language(defaultDeviceLanguage);
  if (document.contains("language")) {
    const nlohmann::json& tag = document["language"];
    if (!tag.is_string() || !isLanguageTag(tag.get<std::string>())) {
      return Failure{"\"language\" must be a language tag such as \"en\" or \"pt-BR\""};
    }
    language = tag.get<std::string>();
  }
  return HomeScreenSettings{.placements = std::move(placements).value(),
                            .deviceClass = device.get<std::string>(),
                            .systemVersion = *systemVersion,
                            .language = std::move(language)};
}

nlohmann::ordered_json homeScreenSettingsJson(const HomeScreenSettings& settings) {
  nlohmann::ordered_json placements = nlohmann::ordered_json::array();
  for (const Placement& placement : settings.placements) {
    placements.push_back({{"kind", placement.kind}, {"family", placement.family}});
  }
  return {{"placements", std::move(placements)},
          {"deviceClass", settings.deviceClass},
          {"systemVersion", settings.systemVersion.text()},
          {"language", settings.language}};
}

std::string encodeHomeScreenSettings(const HomeScreenSettings& settings) {
  return homeScreenSettingsJson(settings).dump(2, ' ', false,
                                               nlohmann::ordered_json::error_handler_t::replace) +
         "\n";
}

std::filesystem::path homeScreenSettingsPath() {
  return deviceRoot() / "home-screen.json";
}

LoadedHomeScreenSettings loadHomeScreenSettings(const std::vector<WidgetConfiguration>& widgets) {
  const std::filesystem::path path = homeScreenSettingsPath();
  std::error_code error;
  if (!std::filesystem::exists(path, error)) {
    return {.settings = defaultHomeScreen(widgets), .problem = {}};
  }
  const auto text = readFile(path);
  if (!text) {
    return {.settings = defaultHomeScreen(widgets),
            .problem = "cannot read " + path.string() + "; using the default home screen"};
  }
  auto decoded = decodeHomeScreenSettings(*text);
  if (!decoded) {
    return {.settings = defaultHomeScreen(widgets),
            .problem = path.string() + ": " + decoded.reason() + "; using the default home screen"};
  }
  return {.settings = std::move(decoded).value(), .problem = {}};
}

Status saveHomeScreenSettings(const HomeScreenSettings& settings) {
  return asStatus(
      writeFileMakingFolders(homeScreenSettingsPath(), encodeHomeScreenSettings(settings)));
}

}  // namespace brisklane
