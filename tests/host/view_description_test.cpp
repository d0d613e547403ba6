#include "host/view_description.h"

#include <gtest/gtest.h>

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;

View sampleTree() {
  View title = View(Text::verbatim("a  \xC2\xB7  b")).font(Font::system(12)).lineLimit(1);
  View count = View(Text::key("+%lld more", 4)).font(Font::system(11, FontWeight::heavy));
  return View(VStack{.alignment = HorizontalAlignment::leading,
                     .spacing = hostDefault,
                     .children = {HStack{.alignment = VerticalAlignment::firstTextBaseline,
                                         .spacing = 5,
                                         .children = {title, Spacer{}}},
                                  count, Spacer{.minLength = 0}}})
      .padding(14)
      .frame({.maxWidth = unbounded, .alignment = Alignment::topLeading})
      .widgetURL(URL::fromString("brisklane://today"));
}

TEST(ViewJson, WritesTheDocumentedShape) {
  Json json = viewJson(sampleTree());
  Json expected = Json::parse(R"({
    "type": "widgetURL", "url": "brisklane://today",
    "content": {"type": "frame", "maxWidth": "infinity", "maxHeight": null,
      "alignment": "topLeading",
      "content": {"type": "padding", "edges": ["top", "leading", "bottom", "trailing"],
        "length": 14.0,
        "content": {"type": "VStack", "alignment": "leading", "spacing": null, "children": [
          {"type": "HStack", "alignment": "firstTextBaseline", "spacing": 5.0, "children": [
            {"type": "lineLimit", "lines": 1, "content":
              {"type": "font", "font": {"size": 12.0, "weight": null, "design": "default"},
               "content": {"type": "Text", "verbatim": "a  \u00b7  b", "text": "a  \u00b7  b"}}},
            {"type": "Spacer", "minLength": null}]},
          {"type": "font", "font": {"size": 11.0, "weight": "heavy", "design": "default"},
           "content": {"type": "Text", "key": "+%lld more", "argument": 4, "text": "+4 more"}},
          {"type": "Spacer", "minLength": 0.0}]}}}})");
  EXPECT_EQ(json, expected) << json.dump(2);
  EXPECT_EQ(json.dump().rfind("{\"type\":\"widgetURL\",\"url\"", 0), 0u) << "keys in order";
}

TEST(ViewJson, UsesTheTranslationTableForTheShownText) {
  Json json = viewJson(Text::key("+%lld more", 2), StringTable{{"+%lld more", "%lld de plus"}});
  EXPECT_EQ(json.at("text"), "2 de plus");
  EXPECT_EQ(json.at("key"), "+%lld more");
}

TEST(ViewJson, WritesColoursExactlyAndNamesEveryLeaf) {
  View tree = ZStack{.children = {ColorFill{Color::sRGB(0.059, 0.106, 0.176)},
                                  AccessoryWidgetBackground{}, Image{"mic.fill"}, View()}};
  Json json =
      viewJson(View(tree).containerBackground(Color::clear, ContainerBackgroundPlacement::widget));
  EXPECT_EQ(json.at("placement"), "widget");
  EXPECT_EQ(json.at("color"), Json::parse(R"({"red":0.0,"green":0.0,"blue":0.0,"opacity":0.0})"));
  Json children = json.at("content").at("children");
  EXPECT_EQ(children[0].dump(),
            R"({"type":"Color","color":{"red":0.059,"green":0.106,"blue":0.176,"opacity":1.0}})");
  EXPECT_EQ(children[1].at("type"), "AccessoryWidgetBackground");
  EXPECT_EQ(children[2].at("systemName"), "mic.fill");
  EXPECT_EQ(children[3].at("type"), "EmptyView");
}

TEST(ViewTreeText, IndentsEachNodeUnderItsParent) {
  EXPECT_EQ(viewTreeText(sampleTree()),
            "widgetURL \"brisklane://today\"\n"
            "  frame maxWidth=infinity maxHeight=none alignment=topLeading\n"
            "    padding edges=all length=14\n"
            "      VStack alignment=leading spacing=default\n"
            "        HStack alignment=firstTextBaseline spacing=5\n"
            "          lineLimit 1\n"
            "            font system 12 (no weight) default\n"
            "              Text verbatim \"a  \xC2\xB7  b\"\n"
            "          Spacer minLength=default\n"
            "        font system 11 heavy default\n"
            "          Text key \"+%lld more\" argument=4 -> \"+4 more\"\n"
            "        Spacer minLength=0\n");
}

}  // namespace
}  // namespace brisklane
