// `App` and the widget extension as the separate processes they are, on a
// fresh simulated device: what the web layer sends on standard input reaches
// the widget's timeline, and the transcript is Capacitor's messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/foundation/user_defaults.h"
#include "tests/app/app_programs.h"
#include "widget/app_group.h"

namespace brisklane {
namespace {

using testing::setLine;
using Json = nlohmann::json;

constexpr std::string_view summary =
    R"({"tier":"urgent","count":4,"items":[{"title":"Envoyer galerie","project":"Mariage"},{"title":"Call the florist"}],"updatedAt":"2026-12-07T08:00:00Z"})";

using AppProcessTest = testing::ProgramsTest;

TEST_F(AppProcessTest, ASummarySetOnStandardInputReachesTheWidgetsTimelineAndNoInputStopsIt) {
  auto app = startApp();
  app->writeLine(R"({"callbackId":"1","pluginId":"SharedTodayWidget","methodName":"status"})");
  app->writeLine(setLine(2, summary));
  app->writeLine(
      R"({"callbackId":"3","pluginId":"SharedTodayWidget","methodName":"set","options":{"payload":null}})");
  // What each malformed message decodes to, the bridge message corpus checks.
  app->writeLine("this is not a message");
  app->writeLine(
      R"({"callbackId":"4","pluginId":"SharedTodayWidget","methodName":"status","options":{}})");
  app->writeLine(
      R"({"callbackId":"9","pluginId":"App","methodName":"addListener","options":{"eventName":"appUrlOpen"}})");
  app->closeInput();
  auto transcript = app->readAllLines();
  EXPECT_EQ(app->wait(), 0);
  EXPECT_FALSE(std::filesystem::exists(device.root() / "run" / "App.sock"));

  auto defaults = UserDefaults::open(appGroupIdentifier);
  const std::string diag = defaults ? defaults->string(diagKey).value_or("") : "";
  EXPECT_TRUE(diag.starts_with("loaded @")) << diag;
  std::vector<std::string> expected = {
      R"({"callbackId":"1","pluginId":"SharedTodayWidget","methodName":"status","save":false,"success":true,"data":{"appGroupOk":true,"hasPayload":false,"diag":")" +
          diag + R"(","group":"group.app.brisklane.shared"}})",
      R"({"callbackId":"2","pluginId":"SharedTodayWidget","methodName":"set","save":false,"success":true,"data":{"appGroupOk":true}})",
      R"({"callbackId":"3","pluginId":"SharedTodayWidget","methodName":"set","save":false,"success":false,"error":{"message":"payload (JSON string) is required"}})",
      R"({"callbackId":"4","pluginId":"SharedTodayWidget","methodName":"status","save":false,"success":true,"data":{"appGroupOk":true,"hasPayload":true,"diag":")" +
          diag + R"(","group":"group.app.brisklane.shared"}})",
  };
  EXPECT_EQ(transcript, expected);
  EXPECT_NE(app->standardError().find("not JSON"), std::string::npos) << app->standardError();

  EXPECT_EQ(timelinePayload(), Json::parse(summary));
}

TEST_F(AppProcessTest, AURLOpenedOnTheDeviceReachesTheListeningWebLayerUntilSIGTERM) {
  auto app = startApp();
  const auto socket = device.root() / "run" / "App.sock";
  for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  ASSERT_TRUE(std::filesystem::exists(socket));
  app->writeLine(
      R"({"callbackId":"9","pluginId":"App","methodName":"addListener","options":{"eventName":"appUrlOpen"}})");
  auto opener = startApp({"open", "brisklane://today", "--source-application", "com.example.Home"});
  EXPECT_EQ(opener->wait(), 0) << opener->standardError();
  auto opened = app->readLine();
  ASSERT_TRUE(opened);
  EXPECT_EQ(
      *opened,
      R"({"callbackId":"9","pluginId":"App","methodName":"addListener","save":true,"success":true,"data":{"url":"brisklane://today","iosSourceApplication":"com.example.Home"}})");

  auto activity = startApp({"continue-activity", "--type", "NSUserActivityTypeBrowsingWeb", "--url",
                            "https://brisklane.example/today"});
  EXPECT_EQ(activity->wait(), 0) << activity->standardError();
  auto continued = app->readLine();
  ASSERT_TRUE(continued);
  EXPECT_EQ(Json::parse(*continued)["data"], Json({{"url", "https://brisklane.example/today"}}));

  // Home and back, from a script: each move answers the state it leaves, the
  // page hears it, and a link brings App back before it arrives.
  app->writeLine(
      R"({"callbackId":"10","pluginId":"App","methodName":"addListener","options":{"eventName":"appStateChange"}})");
  app->writeLine(
      R"({"callbackId":"11","pluginId":"App","methodName":"addListener","options":{"eventName":"resume"}})");
  app->writeLine(R"({"callbackId":"12","pluginId":"App","methodName":"getState"})");
  ASSERT_TRUE(app->readLine());  // getState's answer: the listeners are in
  auto home = startApp({"background"});
  EXPECT_EQ(home->readAllLines(), std::vector<std::string>{"background"});
  EXPECT_EQ(home->wait(), 0);
  auto back = startApp({"open", "brisklane://voice"});
  EXPECT_EQ(back->wait(), 0) << back->standardError();
  std::vector<std::string> heard;
  for (int line = 0; line < 4; ++line) {
    auto event = app->readLine();
    ASSERT_TRUE(event);
    const Json message = Json::parse(*event);
    heard.push_back(message["callbackId"].get<std::string>() + " " +
                    message.value("data", Json::object()).dump());
  }
  EXPECT_EQ(heard, (std::vector<std::string>{R"(10 {"isActive":false})", "11 {}",
                                             R"(10 {"isActive":true})",
                                             R"(9 {"url":"brisklane://voice"})"}));

  auto second = startApp();
  EXPECT_EQ(second->wait(), 1);
  EXPECT_NE(second->standardError().find("another App is running"), std::string::npos);

  app->signal(SIGTERM);
  EXPECT_EQ(app->wait(), 0) << "SIGTERM ends App cleanly";
  EXPECT_FALSE(std::filesystem::exists(socket));
  auto nobody = startApp({"foreground"});
  EXPECT_EQ(nobody->wait(), 1);
  EXPECT_NE(nobody->standardError().find("no App runs on this device"), std::string::npos);
}

TEST_F(AppProcessTest, ExplainsABadCommandLineAndPrintsItsEntitlementsWithoutStarting) {
  // What it prints, the doctor reads and checks (DoctorCommand).
  EXPECT_EQ(startApp({"--print-entitlements"})->wait(), 0);
  EXPECT_FALSE(std::filesystem::exists(device.root() / "AppGroup")) << "no plug-in loaded";
  EXPECT_FALSE(std::filesystem::exists(device.root() / "run")) << "no lock taken";

  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--web-layer", "bluetooth"},
        {"open"},
        {"open", "not a url"},
        {"open", "today"},
        {"--os-version", "sixteen"},
        {"--frobnicate"},
        {"continue-activity", "--url", "https://x.example"},
        {"--web-layer", "none", "--web-layer", "stdio"}}) {
    auto app = startApp(arguments);
    EXPECT_EQ(app->wait(), 2) << arguments[0];
    EXPECT_FALSE(app->standardError().empty()) << arguments[0];
  }
}

}  // namespace
}  // namespace brisklane
