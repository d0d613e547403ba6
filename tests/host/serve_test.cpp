// `serve` as the device's widget host: a separate process that draws every
// widget, and draws again when the application asks for a reload.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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

class Serve : public ::testing::Test {
 protected:
  void TearDown() override {
    if (host_ > 0) {
      ::kill(host_, SIGKILL);
      ::waitpid(host_, nullptr, 0);
    }
  }

  void start(std::vector<std::string> options = {}) {
    options.insert(options.begin(), {testing::builtProgram("BrisklaneWidgetExtension"), "serve"});
    std::vector<char*> arguments;
    for (std::string& option : options) arguments.push_back(option.data());
    arguments.push_back(nullptr);
    const std::string& program = options.front();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log().c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    ASSERT_EQ(::posix_spawn(&host_, program.c_str(), &actions, nullptr, arguments.data(), environ),
              0);
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

  // The manifest once it reports round `number`, waiting up to ten seconds.
  nlohmann::json manifestOfRound(int number) const {
    for (int attempt = 0; attempt < 1000; ++attempt) {
      if (auto text = testing::readFile(device_.root() / "widgets/manifest.json")) {
        auto manifest = nlohmann::json::parse(*text, nullptr, false);
        if (!manifest.is_discarded() && manifest["round"] == number) return manifest;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << "no round " << number;
    return {};
  }

  std::filesystem::path log() const { return device_.root() / "serve.log"; }

  testing::TemporaryDevice device_;
  pid_t host_ = 0;
};

TEST_F(Serve, DrawsEveryWidgetAndDrawsAgainWhenAReloadIsRequested) {
  start();
  auto first = manifestOfRound(1);
  EXPECT_EQ(first["reason"], "start");
  ASSERT_EQ(first["widgets"].size(), 5u);  // two Today families, three Quick-add ones
  for (const auto& shown : first["widgets"]) {
    EXPECT_TRUE(std::filesystem::exists(shown["picture"].get<std::string>())) << shown;
  }
  EXPECT_TRUE(first["widgets"][0]["entry"]["payload"].is_null());
  EXPECT_EQ(first["widgets"][0]["policy"]["kind"], "after");
  EXPECT_EQ(first["widgets"][2]["policy"]["kind"], "never");

  // A second host on the same device is refused.
  auto second = testing::runProcess({testing::builtProgram("BrisklaneWidgetExtension"), "serve"});
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_NE(second.err.find("another widget host"), std::string::npos);

  ASSERT_TRUE(UserDefaults::open(appGroupIdentifier)
                  ->set(R"({"tier":"urgent","count":1,"items":[{"title":"Now"}]})", todayKey));
  WidgetCenter::shared().reloadAllTimelines();
  auto reloaded = manifestOfRound(2);
  EXPECT_EQ(reloaded["reason"], "reloadAllTimelines");
  EXPECT_EQ(reloaded["widgets"][0]["entry"]["payload"]["items"][0]["title"], "Now");

  EXPECT_EQ(stop(), 0);
  EXPECT_FALSE(std::filesystem::exists(widgetHostSocketPath()));
  auto lines = testing::readFile(log());
  ASSERT_TRUE(lines);
  EXPECT_EQ(std::count(lines->begin(), lines->end(), '\n'), 2);  // one JSON line a round
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

TEST_F(Serve, ABurstOfReloadRequestsEndsWithTheLastSummaryShown) {
  start();
  manifestOfRound(1);
  constexpr int burst = 300;
  for (int index = 1; index <= burst; ++index) {
    ASSERT_TRUE(UserDefaults::open(appGroupIdentifier)
                    ->set(R"({"count":)" + std::to_string(index) + R"(,"items":[]})", todayKey));
    WidgetCenter::shared().reloadAllTimelines();
  }
  nlohmann::json last;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    auto text = testing::readFile(device_.root() / "widgets/manifest.json");
    last = nlohmann::json::parse(text.value_or(""), nullptr, false);
    if (!last.is_discarded() && last["widgets"][0]["entry"]["payload"]["count"] == burst) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(last["widgets"][0]["entry"]["payload"]["count"], burst);
  EXPECT_LT(last["round"].get<int>(), burst + 1) << "requests that arrive together make one round";
  EXPECT_EQ(stop(), 0);
}

TEST_F(Serve, WithTheHomeScreenPagePrintsItsAddressFirst) {
  start({"--http", "--port", "0"});
  manifestOfRound(1);
  EXPECT_EQ(stop(), 0);
  auto lines = testing::readFile(log());
  ASSERT_TRUE(lines);
  EXPECT_TRUE(std::regex_search(
      *lines, std::regex(R"(^http://127\.0\.0\.1:[0-9]+/\?token=[0-9a-f]{32}\n\{"round":1,)")))
      << *lines;
}

TEST_F(Serve, TakesOverTheSocketOfAHostThatDied) {
  ASSERT_NO_FATAL_FAILURE(testing::leaveSocketOfDeadHost());
  start();
  EXPECT_EQ(manifestOfRound(1)["round"], 1);
  EXPECT_EQ(stop(), 0);
}

}  // namespace
}  // namespace brisklane
