// `serve` as the device's widget host: a separate process that draws every
// widget, and draws again when the application asks for a reload.
#include <gtest/gtest.h>
#include <signal.h>

#include <functional>
#include <nlohmann/json.hpp>

#include "host/home/home_screen_settings.h"
#include "platform/foundation/user_defaults.h"
#include "platform/widgetkit/widget_center.h"
#include "tests/support/subprocess.h"
#include "tests/support/temporary_device.h"
#include "widget/app_group.h"

namespace brisklane {
namespace {

using Json = nlohmann::json;

class Serve : public ::testing::Test {
 protected:
  void start(std::vector<std::string> options = {}) {
    options.insert(options.begin(), "serve");
    host_ = std::make_unique<testing::Process>(testing::builtProgram("BrisklaneWidgetExtension"),
                                               options, device_.root() / "serve.err");
  }

  // The host prints each round's manifest on a line of its own: the first
  // after the one the host has printed so far for which `shows` holds.
  Json roundWhere(const std::function<bool(const Json&)>& shows) {
    while (auto line = host_->readLine(std::chrono::seconds(30))) {
      Json manifest = Json::parse(*line, nullptr, false);
      if (!manifest.is_discarded() && shows(manifest)) return manifest;
    }
    ADD_FAILURE() << "the host printed no such round: " << host_->standardError();
    return Json::object();
  }
  Json round(int number) {
    return roundWhere([number](const Json& manifest) { return manifest["round"] == number; });
  }

  static void publish(const std::string& summary) {
    ASSERT_TRUE(UserDefaults::open(appGroupIdentifier)->set(summary, todayKey));
    WidgetCenter::shared().reloadAllTimelines();
  }

  testing::TemporaryDevice device_;
  std::unique_ptr<testing::Process> host_;
};

// The rounds themselves are the home screen's tests; a host taking over the
// socket of one that was killed is the fault test's.
TEST_F(Serve, RefusesASecondHostAndServesABurstOfReloadRequestsInFewRounds) {
  start();
  round(1);
  auto second = testing::runProcess(testing::builtProgram("BrisklaneWidgetExtension"), {"serve"});
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_NE(second.err.find("another widget host"), std::string::npos);

  constexpr int burst = 300;
  for (int index = 1; index <= burst; ++index) {
    publish(R"({"count":)" + std::to_string(index) + R"(,"items":[]})");
  }
  auto last = roundWhere([](const Json& manifest) {
    return manifest["widgets"][0]["entry"]["payload"]["count"] == burst;
  });
  EXPECT_LT(last["round"].get<int>(), burst + 1) << "requests that arrive together make one round";
}

TEST_F(Serve, ShowsThePlacementsKeptInTheDeviceFolderOnTheirDevice) {
  ASSERT_TRUE(saveHomeScreenSettings(HomeScreenSettings{
      .placements = {{.kind = "BrisklaneVoiceWidget", .family = "accessoryCircular"},
                     {.kind = "BrisklaneWidget", .family = "systemMedium"}},
      .deviceClass = "375x667",
      .systemVersion = {16, 4, 0}}));
  start({"--device", "430x932"});
  auto manifest = round(1);
  ASSERT_EQ(manifest["widgets"].size(), 2u);
  EXPECT_EQ(manifest["widgets"][0]["id"], "BrisklaneVoiceWidget-accessoryCircular");
  EXPECT_EQ(manifest["widgets"][1]["size"]["width"], 364) << "--device overrides the kept class";
  EXPECT_EQ(manifest["systemVersion"], "16.4.0");
  host_->signal(SIGTERM);
  EXPECT_EQ(host_->wait(), 0);
  EXPECT_EQ(loadHomeScreenSettings({}).settings.deviceClass, "375x667")
      << "an option is for one run; the kept settings stay";
}

}  // namespace
}  // namespace brisklane
