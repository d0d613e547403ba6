// The extension's executable end to end: its entry hands the bundle to the
// host, whose commands answer on standard output with exit codes.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/process.h"
#include "tests/support/temporary_device.h"

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
  Json widgets = Json::parse(result.out).at("widgets");
  ASSERT_EQ(widgets.size(), 2u);
  EXPECT_EQ(widgets[0], Json::parse(R"({"kind": "BrisklaneWidget",
      "displayName": "Brisklane \u2014 Today",
      "description": "The most urgent tasks due right now.",
      "supportedFamilies": ["systemSmall", "systemMedium"]})"));
  EXPECT_EQ(widgets[1].at("kind"), "BrisklaneVoiceWidget");
  EXPECT_EQ(widgets[1].at("supportedFamilies"),
            Json::parse(R"(["accessoryCircular", "accessoryInline", "systemSmall"])"));

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
  EXPECT_EQ(link.at("type"), "widgetURL");
  EXPECT_EQ(link.at("url"), "brisklane://today");
  // widgetURL > background > frame > padding > VStack > row > title
  Json stack = link["content"]["content"]["content"]["content"];
  ASSERT_EQ(stack.at("type"), "VStack");
  EXPECT_EQ(stack.at("spacing"), 6.0);
  Json title = stack["children"][1]["children"][1];
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

TEST_F(Extension, RefusesAFamilyTheWidgetIsNotOfferedIn) {
  auto result = run({"view", "--kind", "BrisklaneVoiceWidget", "--family", "systemMedium"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_TRUE(result.out.empty());
  EXPECT_NE(result.err.find("accessoryCircular, accessoryInline, systemSmall"), std::string::npos)
      << result.err;

  auto accessory = run({"view", "--kind", "BrisklaneWidget", "--family", "accessoryCircular"});
  EXPECT_EQ(accessory.exitCode, 2);
  EXPECT_NE(accessory.err.find("systemSmall, systemMedium"), std::string::npos) << accessory.err;
}

TEST_F(Extension, RefusesUnknownKindsAndBadOptions) {
  auto kind = run({"timeline", "--kind", "Brisklanewidget"});
  EXPECT_EQ(kind.exitCode, 2);
  EXPECT_NE(kind.err.find("BrisklaneWidget, BrisklaneVoiceWidget"), std::string::npos) << kind.err;

  EXPECT_EQ(run({"view", "--kind", "BrisklaneWidget", "--source", "preview"}).exitCode, 2);
  EXPECT_EQ(run({"--os-version", "seventeen", "list"}).exitCode, 2);
  EXPECT_EQ(run({}).exitCode, 2);
  EXPECT_EQ(run({"--help"}).exitCode, 0);
}

TEST_F(Extension, PrintsBothTimelines) {
  auto voice = run({"timeline", "--kind", "BrisklaneVoiceWidget"});
  ASSERT_EQ(voice.exitCode, 0) << voice.err;
  Json timeline = Json::parse(voice.out);
  EXPECT_EQ(timeline.at("entries").size(), 1u);
  EXPECT_EQ(timeline.at("policy"), Json::parse(R"({"kind": "never"})"));

  auto today = run({"timeline"});
  ASSERT_EQ(today.exitCode, 0) << today.err;
  Json todayTimeline = Json::parse(today.out);
  EXPECT_EQ(todayTimeline.at("kind"), "BrisklaneWidget");
  EXPECT_EQ(todayTimeline.at("policy").at("kind"), "after");
  EXPECT_TRUE(todayTimeline.at("entries").at(0).at("payload").is_null());
}

}  // namespace
}  // namespace brisklane
