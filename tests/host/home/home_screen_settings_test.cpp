#include "host/home/home_screen_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "tests/support/temporary_device.h"
#include "widget/widget_bundle.h"

namespace brisklane {
namespace {

const std::vector<WidgetConfiguration> widgets = BrisklaneWidgetBundle{}.body();

// Why `json` is refused, or "(decoded)".
std::string reasonOf(std::string_view json) {
  const auto decoded = decodeHomeScreenSettings(json);
  return decoded ? "(decoded)" : decoded.reason();
}

TEST(HomeScreenSettings, KeepsAPlacementNamedTwiceOnceWhereItFirstAppears) {
  auto decoded = decodeHomeScreenSettings(
      R"({"placements":[{"kind":"A","family":"systemSmall"},{"kind":"B","family":"systemSmall"},)"
      R"({"kind":"A","family":"systemSmall"}],"deviceClass":"393x852","systemVersion":"17"})");
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->placements,
            (std::vector<Placement>{{"A", "systemSmall"}, {"B", "systemSmall"}}));
}

TEST(HomeScreenSettings, RefusesWhatIsNotASetup) {
  const std::string valid = R"("deviceClass":"393x852","systemVersion":"17.4")";
  std::string tooMany = R"({"placements":[)";
  for (std::size_t index = 0; index <= maximumPlacements; ++index) {
    tooMany += (index ? "," : "") + std::string(R"({"kind":"K)") + std::to_string(index) +
               R"(","family":"systemSmall"})";
  }
  tooMany += "]," + valid + "}";
  const std::pair<std::string, std::string> cases[] = {
      {"[]", "the settings are not a JSON object"},
      {"{", "the settings are not a JSON object"},
      {"{\"placements\":[]," + std::string("\"deviceClass\":\"393x852\"}"),
       "\"systemVersion\" is missing"},
      {R"({"placements":{},)" + valid + "}", "\"placements\" must be an array"},
      {R"({"placements":[{"kind":"A"}],)" + valid + "}",
       "each placement must be an object with the strings \"kind\" and \"family\""},
      {R"({"placements":[{"kind":1,"family":"systemSmall"}],)" + valid + "}",
       "each placement must be an object with the strings \"kind\" and \"family\""},
      {R"({"placements":[],"deviceClass":"1x1","systemVersion":"17.4"})",
       "\"deviceClass\" must name a device class"},
      {R"({"placements":[],"deviceClass":"393x852","systemVersion":"seventeen"})",
       "\"systemVersion\" must be a version such as \"17.4\""},
      {R"({"placements":[],"deviceClass":"393x852","systemVersion":17.4})",
       "\"systemVersion\" must be a version such as \"17.4\""},
      {tooMany, "a home screen holds at most 32 widgets"},
  };
  for (const auto& [json, reason] : cases) EXPECT_EQ(reasonOf(json), reason) << json;
}

TEST(HomeScreenSettings, AreKeptPrivatelyInTheDeviceFolderAndABrokenFileIsLeftAlone) {
  testing::TemporaryDevice device;
  const HomeScreenSettings settings{
      .placements = {{"BrisklaneVoiceWidget", "accessoryInline"}, {"Gone", "systemLarge"}},
      .deviceClass = "375x667",
      .systemVersion = {16, 4, 1}};
  ASSERT_TRUE(saveHomeScreenSettings(settings));
  struct stat status {};
  ASSERT_EQ(::stat(homeScreenSettingsPath().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  LoadedHomeScreenSettings loaded = loadHomeScreenSettings(widgets);
  EXPECT_EQ(loaded.settings, settings);
  EXPECT_EQ(loaded.problem, "");

  const std::string broken = R"({"placements":[],"deviceClass":"9x9"})";
  std::ofstream(homeScreenSettingsPath()) << broken;
  loaded = loadHomeScreenSettings(widgets);
  EXPECT_EQ(loaded.settings, defaultHomeScreen(widgets));
  EXPECT_EQ(loaded.problem, homeScreenSettingsPath().string() +
                                ": \"systemVersion\" is missing; using the default home screen");
  EXPECT_EQ(testing::readFile(homeScreenSettingsPath()), broken);
}

}  // namespace
}  // namespace brisklane
