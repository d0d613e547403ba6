// `serve` as the device's widget host: a separate process that draws every
// widget, and draws again when the application asks for a reload.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <regex>
#include <thread>

#include "host/home_screen_settings.h"
#include "platform/foundation/user_defaults.h"
#include "platform/widgetkit/widget_center.h"
#include "tests/support/dead_host_socket.h"
#include "tests/support/process.h"
#include "tests/support/temporary_device.h"
#include "widget/app_group.h"

extern char** environ;

namespace brisklane {
namespace {

using Json = nlohmann::json;

class Serve : public ::testing::Test {
 protected:
  void TearDown() override {
    if (host_ > 0) {
      ::kill(host_, SIGKILL);
      ::waitpid(host_, nullptr, 0);
    }
  }

  // Starts the host with its output in `log()`.
  void start(std::vector<std::string> options = {}) {
    options.insert(options.begin(), {testing::builtProgram("BrisklaneWidgetExtension"), "serve"});
    std::vector<char*> arguments;
    for (std::string& option : options) arguments.push_back(option.data());
    arguments.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log().c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    ASSERT_EQ(::posix_spawn(&host_, arguments[0], &actions, nullptr, arguments.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
  }

  // Sends SIGTERM and answers the host's exit code.
  int stop() {
    ::kill(host_, SIGTERM);
    int status = 0;
    ::waitpid(host_, &status, 0);
    host_ = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The manifest once `shows` holds for it, waiting up to ten seconds.
  Json manifestWhere(const std::function<bool(const Json&)>& shows) const {
    Json manifest;
    for (int attempt = 0; attempt < 1000; ++attempt) {
      auto text = testing::readFile(device_.root() / "widgets/manifest.json");
      manifest = Json::parse(text.value_or(""), nullptr, false);
      if (!manifest.is_discarded() && shows(manifest)) return manifest;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << "the manifest never showed what was waited for: " << manifest.dump();
    return manifest;
  }
  Json manifestOfRound(int number) const {
    return manifestWhere([number](const Json& manifest) { return manifest["round"] == number; });
  }

  static void publish(const std::string& summary) {
    ASSERT_TRUE(UserDefaults::open(appGroupIdentifier)->set(summary, todayKey));
    WidgetCenter::shared().reloadAllTimelines();
  }

  std::filesystem::path log() const { return device_.root() / "serve.log"; }

  testing::TemporaryDevice device_;
  pid_t host_ = 0;
};

TEST_F(Serve, TakesOverADeadHostsSocketAndDrawsAgainOnEveryReloadRequest) {
  ASSERT_NO_FATAL_FAILURE(testing::leaveSocketOfDeadHost());
  start({"--http", "--port", "0"});
  auto first = manifestOfRound(1);
  EXPECT_EQ(first["reason"], "start");
  ASSERT_EQ(first["widgets"].size(), 5u);  // two Today families, three Quick-add ones
  for (const auto& shown : first["widgets"]) {
    EXPECT_TRUE(std::filesystem::exists(shown["picture"].get<std::string>())) << shown;
  }

  auto second = testing::runProcess({testing::builtProgram("BrisklaneWidgetExtension"), "serve"});
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_NE(second.err.find("another widget host"), std::string::npos);

  publish(R"({"tier":"urgent","count":1,"items":[{"title":"Now"}]})");
  auto reloaded = manifestOfRound(2);
  EXPECT_EQ(reloaded["reason"], "reloadAllTimelines");
  EXPECT_EQ(reloaded["widgets"][0]["entry"]["payload"]["items"][0]["title"], "Now");

  constexpr int burst = 300;
  for (int index = 1; index <= burst; ++index) {
    publish(R"({"count":)" + std::to_string(index) + R"(,"items":[]})");
  }
  auto last = manifestWhere([](const Json& manifest) {
    return manifest["widgets"][0]["entry"]["payload"]["count"] == burst;
  });
  EXPECT_LT(last["round"].get<int>(), burst + 2) << "requests that arrive together make one round";

  EXPECT_EQ(stop(), 0);
  EXPECT_FALSE(std::filesystem::exists(widgetHostSocketPath()));
  const int rounds = manifestWhere([](const Json&) { return true; })["round"].get<int>();
  const std::string lines = testing::readFile(log()).value_or("");
  EXPECT_TRUE(std::regex_search(
      lines, std::regex(R"(^http://127\.0\.0\.1:[0-9]+/\?token=[0-9a-f]{32}\n\{"round":1,)")))
      << "the page's address comes first: " << lines;
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), rounds + 1) << "then one line a round";
}

TEST_F(Serve, ShowsThePlacementsKeptInTheDeviceFolderOnTheirDevice) {
  ASSERT_TRUE(saveHomeScreenSettings(HomeScreenSettings{
      .placements = {{.kind = "BrisklaneVoiceWidget", .family = "accessoryCircular"},
                     {.kind = "BrisklaneWidget", .family = "systemMedium"}},
      .deviceClass = "375x667",
      .systemVersion = {16, 4, 0}}));
  start({"--device", "430x932"});
  auto manifest = manifestOfRound(1);
  ASSERT_EQ(manifest["widgets"].size(), 2u);
  EXPECT_EQ(manifest["widgets"][0]["id"], "BrisklaneVoiceWidget-accessoryCircular");
  EXPECT_EQ(manifest["widgets"][1]["size"]["width"], 364) << "--device overrides the kept class";
  EXPECT_EQ(manifest["systemVersion"], "16.4.0");
  EXPECT_EQ(stop(), 0);
  EXPECT_EQ(loadHomeScreenSettings({}).settings.deviceClass, "375x667")
      << "an option is for one run; the kept settings stay";
}

}  // namespace
}  // namespace brisklane
