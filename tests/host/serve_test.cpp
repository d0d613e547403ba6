// `serve` as the device's widget host: a separate process that draws every
// widget, and draws again when the application asks for a reload.
#include <gtest/gtest.h>
#include <signal.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <regex>

#include "host/home_screen_settings.h"
#include "platform/foundation/user_defaults.h"
#include "platform/widgetkit/widget_center.h"
#include "tests/support/dead_host_socket.h"
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
      ++lines_;
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
  int lines_ = 0;
};

TEST_F(Serve, TakesOverADeadHostsSocketAndDrawsAgainOnEveryReloadRequest) {
  ASSERT_NO_FATAL_FAILURE(testing::leaveSocketOfDeadHost());
  start({"--http", "--port", "0"});
  const std::string address = host_->readLine(std::chrono::seconds(30)).value_or("");
  EXPECT_TRUE(
      std::regex_match(address, std::regex(R"(http://127\.0\.0\.1:[0-9]+/\?token=[0-9a-f]{32})")))
      << "the page's address comes first: " << address;
  auto first = round(1);
  EXPECT_EQ(lines_, 1) << "then one line a round";
  EXPECT_EQ(first["reason"], "start");
  ASSERT_EQ(first["widgets"].size(), 5u);  // two Today families, three Quick-add ones
  for (const auto& shown : first["widgets"]) {
    EXPECT_TRUE(std::filesystem::exists(shown["picture"].get<std::string>())) << shown;
  }

  auto second = testing::runProcess({testing::builtProgram("BrisklaneWidgetExtension"), "serve"});
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_NE(second.err.find("another widget host"), std::string::npos);

  publish(R"({"tier":"urgent","count":1,"items":[{"title":"Now"}]})");
  auto reloaded = round(2);
  EXPECT_EQ(reloaded["reason"], "reloadAllTimelines");
  EXPECT_EQ(reloaded["widgets"][0]["entry"]["payload"]["items"][0]["title"], "Now");

  constexpr int burst = 300;
  for (int index = 1; index <= burst; ++index) {
    publish(R"({"count":)" + std::to_string(index) + R"(,"items":[]})");
  }
  auto last = roundWhere([](const Json& manifest) {
    return manifest["widgets"][0]["entry"]["payload"]["count"] == burst;
  });
  EXPECT_LT(last["round"].get<int>(), burst + 2) << "requests that arrive together make one round";

  host_->signal(SIGTERM);
  lines_ += static_cast<int>(host_->readAllLines().size());
  EXPECT_EQ(host_->wait(), 0);
  EXPECT_FALSE(std::filesystem::exists(widgetHostSocketPath()));
  const int rounds =
      Json::parse(
          testing::readFile(device_.root() / "widgets/manifest.json").value_or("{}"))["round"]
          .get<int>();
  EXPECT_EQ(lines_, rounds) << "one line a round";
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
