#include "host/commands/view_description.h"

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

// The whole tree's shape is the text form's test below; the JSON form's
// own choices are its key order, "infinity", null for the host default,
// the shown text beside the key and exact colours.
TEST(ViewJson, WritesTheDocumentedShape) {
  Json json = viewJson(sampleTree());
  EXPECT_EQ(json.dump().rfind("{\"type\":\"widgetURL\",\"url\"", 0), 0u) << "keys in order";
  const Json& frame = json["content"];
  EXPECT_EQ(frame["maxWidth"], "infinity");
  const Json& stack = frame["content"]["content"];
  EXPECT_EQ(stack["spacing"], nullptr);
  EXPECT_EQ(
      stack["children"][1]["content"],
      Json::parse(R"({"type": "Text", "key": "+%lld more", "argument": 4, "text": "+4 more"})"));
  EXPECT_EQ(
      viewJson(Text::key("+%lld more", 2), StringTable{{"+%lld more", "%lld de plus"}})["text"],
      "2 de plus");
  EXPECT_EQ(viewJson(ColorFill{Color::sRGB(0.059, 0.106, 0.176)}).dump(),
            R"({"type":"Color","color":{"red":0.059,"green":0.106,"blue":0.176,"opacity":1.0}})");
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
