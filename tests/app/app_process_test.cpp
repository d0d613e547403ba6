// `App` and the widget extension as the separate processes they are, on a
// fresh simulated device: what the web layer sends on standard input reaches
// the widget's timeline, and the transcript is Capacitor's messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/foundation/user_defaults.h"
#include "tests/support/process.h"
#include "tests/support/temporary_device.h"
#include "widget/app_group.h"

namespace brisklane {
namespace {

using testing::builtProgram;
using testing::Process;
using Json = nlohmann::ordered_json;

constexpr std::string_view summary =
    R"({"tier":"urgent","count":4,"items":[{"title":"Envoyer galerie","project":"Mariage"},{"title":"Call the florist"}],"updatedAt":"2026-12-07T08:00:00Z"})";

class AppProcessTest : public ::testing::Test {
 protected:
  std::unique_ptr<Process> start(const std::vector<std::string>& arguments = {},
                                 std::string_view name = "App") {
    auto errors = device.root() / ("stderr-" + std::to_string(++started));
    return std::make_unique<Process>(builtProgram(name), arguments, errors);
  }

  // Waits until the running App listens on its control socket.
  bool controlSocketAppears() {
    auto socket = device.root() / "run" / "App.sock";
    for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return std::filesystem::exists(socket);
  }

  std::string storedDiag() {
    auto defaults = UserDefaults::open(appGroupIdentifier);
    return defaults ? defaults->string(diagKey).value_or("") : "";
  }

  testing::TemporaryDevice device;
  int started = 0;
};

std::string setLine(std::string_view callbackId, std::string_view payload) {
  return Json{{"type", "message"},
              {"callbackId", callbackId},
              {"pluginId", "SharedTodayWidget"},
              {"methodName", "set"},
              {"options", {{"payload", payload}}}}
      .dump();
}

TEST_F(AppProcessTest, ASummarySetOnStandardInputReachesTheWidgetsTimeline) {
  auto app = start();
  app->writeLine(R"({"callbackId":"1","pluginId":"SharedTodayWidget","methodName":"status"})");
  app->writeLine(setLine("2", summary));
  app->writeLine(
      R"({"callbackId":"3","pluginId":"SharedTodayWidget","methodName":"set","options":{"payload":null}})");
  app->writeLine("this is not a message");
  app->writeLine(
      R"({"callbackId":"4","pluginId":"SharedTodayWidget","methodName":"status","options":{}})");
  app->writeLine(R"({"callbackId":"5","pluginId":"Badge","methodName":"set"})");
  app->writeLine(R"({"callbackId":"6","pluginId":"SharedTodayWidget","methodName":"delete"})");
  app->writeLine(
      R"({"callbackId":"9","pluginId":"App","methodName":"addListener","options":{"eventName":"appUrlOpen"}})");
  app->closeInput();
  auto transcript = app->readAllLines();
  EXPECT_EQ(app->wait(), 0);

  std::string diag = storedDiag();
  EXPECT_TRUE(diag.starts_with("loaded @")) << diag;
  std::vector<std::string> expected = {
      R"({"callbackId":"1","pluginId":"SharedTodayWidget","methodName":"status","save":false,"success":true,"data":{"appGroupOk":true,"hasPayload":false,"diag":")" +
          diag + R"(","group":"group.app.brisklane.shared"}})",
      R"({"callbackId":"2","pluginId":"SharedTodayWidget","methodName":"set","save":false,"success":true,"data":{"appGroupOk":true}})",
      R"({"callbackId":"3","pluginId":"SharedTodayWidget","methodName":"set","save":false,"success":false,"error":{"message":"payload (JSON string) is required"}})",
      R"({"callbackId":"4","pluginId":"SharedTodayWidget","methodName":"status","save":false,"success":true,"data":{"appGroupOk":true,"hasPayload":true,"diag":")" +
          diag + R"(","group":"group.app.brisklane.shared"}})",
      R"({"callbackId":"5","pluginId":"Badge","methodName":"set","save":false,"success":false,"error":{"message":"\"Badge\" plugin is not implemented on ios","code":"UNIMPLEMENTED"}})",
      R"({"callbackId":"6","pluginId":"SharedTodayWidget","methodName":"delete","save":false,"success":false,"error":{"message":"\"SharedTodayWidget.delete()\" is not implemented on ios","code":"UNIMPLEMENTED"}})",
  };
  EXPECT_EQ(transcript, expected);
  EXPECT_NE(app->standardError().find("not JSON"), std::string::npos) << app->standardError();

  auto extension = start({"timeline"}, "BrisklaneWidgetExtension");
  std::string output;
  for (const auto& line : extension->readAllLines()) output += line + "\n";
  ASSERT_EQ(extension->wait(), 0) << extension->standardError();
  Json timeline = Json::parse(output);
  EXPECT_EQ(timeline["entries"][0]["payload"], Json::parse(summary));
}

TEST_F(AppProcessTest, AURLOpenedOnTheDeviceReachesTheListeningWebLayer) {
  auto app = start();
  ASSERT_TRUE(controlSocketAppears());
  app->writeLine(
      R"({"callbackId":"9","pluginId":"App","methodName":"addListener","options":{"eventName":"appUrlOpen"}})");
  auto opener = start({"open", "brisklane://today", "--source-application", "com.example.Home"});
  EXPECT_EQ(opener->wait(), 0) << opener->standardError();
  EXPECT_EQ(
      app->readLine(),
      R"({"callbackId":"9","pluginId":"App","methodName":"addListener","save":true,"success":true,"data":{"url":"brisklane://today","iosSourceApplication":"com.example.Home"}})");

  auto activity = start({"continue-activity", "--type", "NSUserActivityTypeBrowsingWeb", "--url",
                         "https://brisklane.example/today"});
  EXPECT_EQ(activity->wait(), 0) << activity->standardError();
  EXPECT_EQ(Json::parse(app->readLine().value_or("null"))["data"],
            Json({{"url", "https://brisklane.example/today"}}));

  auto second = start();
  EXPECT_EQ(second->wait(), 1);
  EXPECT_NE(second->standardError().find("another App is running"), std::string::npos);

  app->closeInput();
  EXPECT_EQ(app->wait(), 0);
  EXPECT_FALSE(std::filesystem::exists(device.root() / "run" / "App.sock"));
}

TEST_F(AppProcessTest, AURLThatStartsTheAppWaitsForTheFirstListener) {
  auto app = start({"open", "brisklane://voice"});
  app->writeLine(R"({"callbackId":"1","pluginId":"SharedTodayWidget","methodName":"status"})");
  EXPECT_EQ(Json::parse(app->readLine().value_or("null"))["callbackId"], "1");
  app->writeLine(
      R"({"callbackId":"2","pluginId":"App","methodName":"addListener","options":{"eventName":"appUrlOpen"}})");
  EXPECT_EQ(
      app->readLine(),
      R"({"callbackId":"2","pluginId":"App","methodName":"addListener","save":true,"success":true,"data":{"url":"brisklane://voice"}})");
  app->closeInput();
  EXPECT_EQ(app->wait(), 0);
}

TEST_F(AppProcessTest, SIGTERMEndsTheAppCleanly) {
  auto app = start({"--web-layer", "none"});
  ASSERT_TRUE(controlSocketAppears());
  app->signal(SIGTERM);
  EXPECT_EQ(app->wait(), 0);
  EXPECT_FALSE(std::filesystem::exists(device.root() / "run" / "App.sock"));
  EXPECT_TRUE(storedDiag().starts_with("loaded @")) << "the plug-in loaded at start-up";
}

TEST_F(AppProcessTest, NothingOnStandardInputStopsIt) {
  auto app = start({"--no-control-socket"});
  std::string hostile;
  hostile += std::string(100000, '[') + std::string(100000, ']') + "\n";
  hostile += "{\"callbackId\":\"1\",\"pluginId\":\"\xff\xfe\",\"methodName\":\"x\"}\n";
  hostile += std::string("{\"callbackId\":\"2\"\0}\n", 19);
  hostile += "\n\r\n   \n";
  hostile += R"({"callbackId":{"a":1},"pluginId":"SharedTodayWidget","methodName":"status"})"
             "\n";
  hostile +=
      R"({"callbackId":"3","pluginId":"SharedTodayWidget","methodName":"set","options":{"payload":"x"},"options":7})"
      "\n";
  app->write(hostile);
  app->writeLine(R"({"callbackId":"last","pluginId":"SharedTodayWidget","methodName":"status"})");
  app->closeInput();
  auto transcript = app->readAllLines();
  EXPECT_EQ(app->wait(), 0);
  ASSERT_FALSE(transcript.empty());
  EXPECT_EQ(Json::parse(transcript.back())["callbackId"], "last");
  for (const auto& line : transcript) EXPECT_TRUE(Json::accept(line)) << line;
}

TEST_F(AppProcessTest, PrintsItsEntitlementsWithoutStarting) {
  auto app = start({"--print-entitlements"});
  EXPECT_EQ(app->readAllLines(),
            std::vector<std::string>{R"({"applicationGroups":["group.app.brisklane.shared"]})"});
  EXPECT_EQ(app->wait(), 0);
  EXPECT_FALSE(std::filesystem::exists(device.root() / "AppGroup")) << "no plug-in loaded";
  EXPECT_FALSE(std::filesystem::exists(device.root() / "run")) << "no lock taken";
}

TEST_F(AppProcessTest, ExplainsABadCommandLine) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--web-layer", "bluetooth"},
        {"open"},
        {"open", "not a url"},
        {"open", "today"},
        {"--os-version", "sixteen"},
        {"--frobnicate"},
        {"continue-activity", "--url", "https://x.example"},
        {"--web-layer", "none", "--web-layer", "stdio"}}) {
    auto app = start(arguments);
    EXPECT_EQ(app->wait(), 2) << arguments[0];
    EXPECT_FALSE(app->standardError().empty()) << arguments[0];
  }
  auto help = start({"--help"});
  auto lines = help->readAllLines();
  EXPECT_EQ(help->wait(), 0);
  ASSERT_FALSE(lines.empty());
  bool mentionsUsage = false;
  for (const auto& line : lines) mentionsUsage |= line.starts_with("Usage: App");
  EXPECT_TRUE(mentionsUsage);
}

}  // namespace
}  // namespace brisklane
