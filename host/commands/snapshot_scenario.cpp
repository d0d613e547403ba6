#include "host/commands/snapshot_scenario.h"

#include <nlohmann/json.hpp>

#include "widget/widget_kit.h"

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;

// The placements of every widget that offers one of `families`, by family
// first; else why not.
Result<Json> familyPlacements(const Json& families,
                              const std::vector<WidgetConfiguration>& widgets) {
  if (!families.is_array())
    return Failure{std::string("\"families\" must be a list of family names")};
  Json placements = Json::array();
  for (const Json& entry : families) {
    const std::optional<WidgetFamily> family =
        entry.is_string() ? widgetFamilyNamed(entry.get<std::string>()) : std::nullopt;
    if (!family) return Failure{"\"families\" names no family " + entry.dump()};
    for (const WidgetConfiguration& widget : widgets) {
      for (WidgetFamily offered : widget.supportedFamilies) {
        if (offered == *family)
          placements.push_back({{"kind", widget.kind}, {"family", name(offered)}});
      }
    }
  }
  return placements;
}

// The home screen the scenario names, the defaults filling in what it leaves out.
Result<HomeScreenSettings> scenarioHome(const Json& scenario,
                                        const std::vector<WidgetConfiguration>& widgets) {
  Json settings = homeScreenSettingsJson(defaultHomeScreen(widgets));
  settings["systemVersion"] = operatingSystemVersion().text();
  for (const char* key : {"placements", "deviceClass", "systemVersion", "language"}) {
    if (scenario.contains(key)) settings[key] = scenario[key];
  }
  if (scenario.contains("families")) {
    if (scenario.contains("placements")) {
      return Failure{std::string("a scenario names \"families\" or \"placements\", not both")};
    }
    Result<Json> placements = familyPlacements(scenario["families"], widgets);
    if (!placements) return Failure{placements.reason()};
    settings["placements"] = std::move(placements).value();
  }
  return decodeHomeScreenSettings(settings.dump());
}

}  // namespace

Result<Scenario> decodeScenario(std::string_view json,
                                const std::vector<WidgetConfiguration>& widgets) {
  const Json scenario = Json::parse(json, nullptr, /*allow_exceptions=*/false);
  if (scenario.is_discarded() || !scenario.is_object()) {
    return Failure{std::string("the scenario is not a JSON object")};
  }
  std::optional<std::string> summary;
  if (const auto found = scenario.find("summary"); found != scenario.end() && !found->is_null()) {
    summary = found->is_string() ? found->get<std::string>() : found->dump();
  }
  std::optional<Date> now = Date::fromIso8601(defaultScenarioMoment);
  if (const auto found = scenario.find("now"); found != scenario.end()) {
    now = found->is_string() ? Date::fromIso8601(found->get<std::string>()) : std::nullopt;
    if (!now)
      return Failure{std::string("\"now\" must be a moment such as \"") +
                     std::string(defaultScenarioMoment) + "\""};
  }
  Result<HomeScreenSettings> home = scenarioHome(scenario, widgets);
  if (!home) return Failure{home.reason()};
  return Scenario{.summary = std::move(summary), .now = *now, .home = std::move(home).value()};
}

}  // namespace brisklane
