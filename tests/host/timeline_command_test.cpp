// The extension's process answers the host's `timeline` command with what the
// provider built from the shared store.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/foundation/date.h"
#include "platform/foundation/user_defaults.h"
#include "tests/support/process.h"
#include "tests/support/temporary_device.h"
#include "widget/app_group.h"

namespace brisklane {
namespace {

using testing::builtProgram;
using testing::runProcess;

TEST(TimelineCommand, PrintsTheEntryAndItsReloadMomentAsJson) {
  testing::TemporaryDevice device;
  auto before = runProcess({builtProgram("BrisklaneWidgetExtension"), "timeline"});
  ASSERT_EQ(before.exitCode, 0) << before.err;
  auto empty = nlohmann::json::parse(before.out);
  EXPECT_TRUE(empty["entries"][0]["payload"].is_null());

  ASSERT_TRUE(
      UserDefaults::open(appGroupIdentifier)
          ->set(R"({"tier":"urgent","count":1,"items":[{"title":"caf\u00e9"}]})", todayKey));
  auto after = runProcess({builtProgram("BrisklaneWidgetExtension"), "timeline"});
  ASSERT_EQ(after.exitCode, 0) << after.err;
  auto timeline = nlohmann::json::parse(after.out);
  ASSERT_EQ(timeline["entries"].size(), 1u);
  EXPECT_EQ(timeline["entries"][0]["payload"]["items"][0]["title"], "caf\xc3\xa9");
  EXPECT_EQ(timeline["policy"]["kind"], "after");
  auto date = Date::fromIso8601(timeline["entries"][0]["date"].get<std::string>());
  auto reload = Date::fromIso8601(timeline["policy"]["date"].get<std::string>());
  ASSERT_TRUE(date && reload);
  EXPECT_NEAR(reload->timeIntervalSince1970() - date->timeIntervalSince1970(), 1800.0, 1.0);
}

TEST(TimelineCommand, RefusesABadCommandLineWithExitCodeTwo) {
  testing::TemporaryDevice device;
  auto help = runProcess({builtProgram("BrisklaneWidgetExtension"), "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("timeline"), std::string::npos);
  for (std::vector<std::string> arguments : {std::vector<std::string>{},
                                             {"no-such-command"},
                                             {"--os-version", "seventeen", "timeline"},
                                             {"timeline", "--no-such-option"}}) {
    arguments.insert(arguments.begin(), builtProgram("BrisklaneWidgetExtension"));
    auto result = runProcess(arguments);
    EXPECT_EQ(result.exitCode, 2) << arguments.back();
    EXPECT_FALSE(result.err.empty()) << arguments.back();
  }
}

}  // namespace
}  // namespace brisklane
