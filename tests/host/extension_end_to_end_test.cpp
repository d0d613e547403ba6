// The extension's executable end to end: its entry hands the bundle to the
// host, whose commands answer on standard output with exit codes.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/foundation/date.h"
#include "platform/foundation/user_defaults.h"
#include "tests/support/process.h"
#include "tests/support/temporary_device.h"
#include "widget/today/app_group.h"

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
  EXPECT_EQ(Json::parse(result.out).at("widgets"), Json::parse(R"([
      {"kind": "BrisklaneWidget", "displayName": "Brisklane \u2014 Today",
       "description": "The most urgent tasks due right now.",
       "supportedFamilies": ["systemSmall", "systemMedium"]},
      {"kind": "BrisklaneVoiceWidget", "displayName": "Brisklane \u2014 Voice add",
       "description": "Tap to add a task by voice.",
       "supportedFamilies": ["accessoryCircular", "accessoryInline", "systemSmall"]}])"));
  auto text = run({"list"});
  ASSERT_EQ(text.exitCode, 0);
  EXPECT_LT(text.out.find("BrisklaneWidget\n"), text.out.find("BrisklaneVoiceWidget\n"));
  EXPECT_NE(text.out.find("Brisklane \xE2\x80\x94 Voice add"), std::string::npos);
}

TEST_F(Extension, PrintsTheViewOfTheContentFunctionAsJson) {
  auto result = run({"view", "--kind", "BrisklaneWidget", "--family", "systemMedium", "--source",
                     "placeholder", "--json"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  Json document = Json::parse(result.out);
  EXPECT_EQ(document.at("kind"), "BrisklaneWidget");
  EXPECT_EQ(document.at("family"), "systemMedium");
  EXPECT_EQ(document.at("source"), "placeholder");
  Json view = document.at("view");
  EXPECT_EQ(view.at("type"), "containerBackground") << "the default system is 17 or later";
  EXPECT_EQ(view.at("color"),
            Json::parse(R"({"red":0.059,"green":0.106,"blue":0.176,"opacity":1.0})"));
  Json link = view.at("content");
  EXPECT_EQ(link.at("url"), "brisklane://today");
  // widgetURL > background > frame > padding > VStack > row > title
  Json title = link["content"]["content"]["content"]["content"]["children"][1]["children"][1];
  while (title.contains("content")) title = Json(title["content"]);
  EXPECT_EQ(title.at("verbatim"), "Envoyer galerie  \xC2\xB7  Mariage");
  EXPECT_EQ(result.out.find("\\u"), std::string::npos) << "texts are written as UTF-8";
}

TEST_F(Extension, ShowsNoContainerBackgroundOnSixteen) {
  auto result = run({"--os-version", "16.4", "view", "--kind", "BrisklaneVoiceWidget", "--family",
                     "accessoryInline", "--json"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  Json document = Json::parse(result.out);
  EXPECT_EQ(document.at("osVersion"), "16.4.0");
  EXPECT_EQ(document.at("view"), Json::parse(R"({"type": "widgetURL", "url": "brisklane://voice",
      "content": {"type": "Label",
        "title": {"type": "Text", "key": "Quick add", "argument": null, "text": "Quick add"},
        "icon": {"type": "Image", "systemName": "mic.fill"}}})"));

  auto seventeen = run({"view", "--kind", "BrisklaneVoiceWidget", "--os-version", "17.0",
                        "--family", "accessoryInline", "--json"});
  ASSERT_EQ(seventeen.exitCode, 0) << seventeen.err;
  EXPECT_EQ(Json::parse(seventeen.out)["view"]["type"], "containerBackground");
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

TEST_F(Extension, PrintsBothTimelinesWithTheStoresSummaryAndReloadMoment) {
  auto voice = run({"timeline", "--kind", "BrisklaneVoiceWidget"});
  ASSERT_EQ(voice.exitCode, 0) << voice.err;
  EXPECT_EQ(Json::parse(voice.out).at("entries").size(), 1u);
  EXPECT_EQ(Json::parse(voice.out).at("policy"), Json::parse(R"({"kind": "never"})"));

  auto before = run({"timeline"});
  ASSERT_EQ(before.exitCode, 0) << before.err;
  EXPECT_EQ(Json::parse(before.out).at("kind"), "BrisklaneWidget");
  EXPECT_TRUE(Json::parse(before.out)["entries"][0]["payload"].is_null());

  ASSERT_TRUE(
      UserDefaults::open(appGroupIdentifier)
          ->set(R"({"tier":"urgent","count":1,"items":[{"title":"caf\u00e9"}]})", todayKey));
  auto after = run({"timeline"});
  ASSERT_EQ(after.exitCode, 0) << after.err;
  Json timeline = Json::parse(after.out);
  ASSERT_EQ(timeline["entries"].size(), 1u);
  EXPECT_EQ(timeline["entries"][0]["payload"]["items"][0]["title"], "caf\xc3\xa9");
  EXPECT_EQ(timeline["policy"]["kind"], "after");
  auto date = Date::fromIso8601(timeline["entries"][0]["date"].get<std::string>());
  auto reload = Date::fromIso8601(timeline["policy"]["date"].get<std::string>());
  ASSERT_TRUE(date && reload);
  EXPECT_NEAR(reload->timeIntervalSince1970() - date->timeIntervalSince1970(), 1800.0, 1.0);
}

}  // namespace
}  // namespace brisklane
