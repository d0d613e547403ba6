// `serve` as the device's widget host: a separate process that draws every
// widget, and draws again when the application asks for a reload.
#include <gtest/gtest.h>
#include <signal.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host/commands/command_line.h"
#include "host/home/home_screen_settings.h"
#include "host/home/host.h"
#include "platform/foundation/user_defaults.h"
#include "platform/os/system_faults.h"
#include "platform/widgetkit/widget_center.h"
#include "tests/support/subprocess.h"
#include "tests/support/temporary_device.h"
#include "widget/app_group.h"
#include "widget/widget_bundle.h"

namespace brisklane {

// The extension's entry, which hands its program to the host; here the
// test runs the host's command line itself.
int extensionMain() {
  return 0;
}

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

using testing::SystemFault;
using testing::SystemFaultInjection;

// The host in this test's own process, where the system can be made to fail.
class ServeInProcess : public ::testing::Test {
 protected:
  testing::TemporaryDevice device_;
  std::vector<WidgetConfiguration> widgets_ = BrisklaneWidgetBundle{}.body();
  std::ostringstream out_, err_;
};

TEST_F(ServeInProcess, SaysWhyItCannotBindTheReloadSocketAndEnds) {
  SystemFaultInjection fault(SystemFault::bind);
  const char* argv[] = {"BrisklaneWidgetExtension", "serve"};
  EXPECT_EQ(runHostCommandLine(2, argv, widgets_, out_, err_), 1);
  EXPECT_EQ(err_.str(),
            "error: cannot bind " + widgetHostSocketPath().string() + ": Permission denied\n");
}

// A tap launches the App beside the program, here the link the build puts
// beside this test.
TEST_F(ServeInProcess, TellsWhyATapCouldNotStartAppAndGoesOnServing) {
  boost::asio::io_context loop(1);
  DrawingPool pool(1);
  HomeScreen screen(
      widgets_, defaultHomeScreen(widgets_), PictureFormat::png, device_.root() / "widgets", pool,
      [] { return std::string(); }, err_);
  Host host(widgets_, loop, screen, out_, err_);
  host.reloadAllTimelines();

  SystemFaultInjection fault(SystemFault::spawn);
  const std::string why = "error: opening brisklane://voice in App failed: cannot start " +
                          (testing::builtProgram("tests/host") / "App").string() +
                          ": Resource temporarily unavailable\n";
  for (int tap = 1; tap <= 2; ++tap) {
    err_.str("");
    EXPECT_EQ(host.tap("BrisklaneVoiceWidget-systemSmall", Point{40, 40}).value(),
              "brisklane://voice");
    EXPECT_EQ(err_.str(), why) << "tap " << tap << ": a launch that never started holds no tap";
  }
  EXPECT_EQ(Json::parse(host.state())["application"]["state"], "notRunning");
  host.reloadAllTimelines();
  EXPECT_NE(out_.str().find(R"("round":2)"), std::string::npos) << out_.str();
}

}  // namespace
}  // namespace brisklane
