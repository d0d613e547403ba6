// The extension's executable end to end: its entry hands the bundle to the
// host, whose commands answer on standard output with exit codes.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/foundation/user_defaults.h"
#include "tests/support/process.h"
#include "tests/support/temporary_device.h"
#include "widget/app_group.h"

namespace brisklane {
namespace {

using Json = nlohmann::json;

class Extension : public ::testing::Test {
 protected:
  static testing::ProcessResult run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), testing::builtProgram("BrisklaneWidgetExtension"));
    return testing::runProcess(arguments);
  }
  testing::TemporaryDevice device_;
};

TEST_F(Extension, ListsBothDeclarationsInOrder) {
  auto result = run({"list", "--json"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Json widgets = Json::parse(result.out).at("widgets");
  ASSERT_EQ(widgets.size(), 2u);
  EXPECT_EQ(widgets[0]["kind"], "BrisklaneWidget");
  EXPECT_EQ(widgets[1]["displayName"], "Brisklane \u2014 Voice add");
  EXPECT_EQ(widgets[1]["supportedFamilies"].size(), 3u);
  auto text = run({"list"});
  ASSERT_EQ(text.exitCode, 0);
  EXPECT_LT(text.out.find("BrisklaneWidget\n"), text.out.find("BrisklaneVoiceWidget\n"));
}

// The version test itself is the content function's (widget_bundle_test);
// here, that the option reaches it.
TEST_F(Extension, PrintsTheViewOfTheContentFunctionOnTheSystemAsked) {
  auto result = run({"view", "--kind", "BrisklaneWidget", "--family", "systemMedium", "--source",
                     "placeholder", "--json"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  Json document = Json::parse(result.out);
  EXPECT_EQ(document.at("source"), "placeholder");
  EXPECT_EQ(document["view"]["type"], "containerBackground") << "the default system is 17 or later";
  EXPECT_NE(result.out.find("Envoyer galerie  \xC2\xB7  Mariage"), std::string::npos)
      << "texts are written as UTF-8";

  auto sixteen = run({"--os-version", "16.4", "view", "--kind", "BrisklaneVoiceWidget", "--family",
                      "accessoryInline", "--json"});
  ASSERT_EQ(sixteen.exitCode, 0) << sixteen.err;
  EXPECT_EQ(Json::parse(sixteen.out)["osVersion"], "16.4.0");
  EXPECT_EQ(Json::parse(sixteen.out)["view"]["type"], "widgetURL");
}

TEST_F(Extension, RefusesABadCommandLineWithExitCodeTwoAndSaysWhatIsOffered) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"view", "--kind", "BrisklaneVoiceWidget", "--family", "systemMedium"},
       "accessoryCircular, accessoryInline, systemSmall"},
      {{"view", "--kind", "BrisklaneWidget", "--family", "accessoryCircular"},
       "systemSmall, systemMedium"},
      {{"timeline", "--kind", "Brisklanewidget"}, "BrisklaneWidget, BrisklaneVoiceWidget"},
      {{"view", "--kind", "BrisklaneWidget", "--source", "preview"}, ""},
      {{"--os-version", "seventeen", "timeline"}, ""},
      {{"timeline", "--no-such-option"}, ""},
      {{"no-such-command"}, ""},
      {{}, ""},
  };
  for (const auto& [arguments, offered] : cases) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    auto result = run(arguments);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.out.empty());
    EXPECT_FALSE(result.err.empty());
    EXPECT_NE(result.err.find(offered), std::string::npos) << result.err;
  }
  auto help = run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("timeline"), std::string::npos);
}

// The timelines' entries and reload moments are the providers' tests; here,
// that the command reads the store.
TEST_F(Extension, PrintsTheTimelineWithTheStoresSummary) {
  auto voice = run({"timeline", "--kind", "BrisklaneVoiceWidget"});
  ASSERT_EQ(voice.exitCode, 0) << voice.err;
  EXPECT_EQ(Json::parse(voice.out)["policy"]["kind"], "never");

  ASSERT_TRUE(
      UserDefaults::open(appGroupIdentifier)
          ->set(R"({"tier":"urgent","count":1,"items":[{"title":"caf\u00e9"}]})", todayKey));
  auto after = run({"timeline"});
  ASSERT_EQ(after.exitCode, 0) << after.err;
  Json timeline = Json::parse(after.out);
  EXPECT_EQ(timeline["kind"], "BrisklaneWidget");
  EXPECT_EQ(timeline["entries"][0]["payload"]["items"][0]["title"], "caf\xc3\xa9");
  EXPECT_EQ(timeline["policy"]["kind"], "after");
}

}  // namespace
}  // namespace brisklane
