// What the words say when a widget's layout changes, and what a report that
// is not one is refused for.
#include "host/snapshot/semantic_diff.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;

Json text(std::string region, std::string shown, double y, double width, bool cut = false,
          std::string color = "white") {
  return Json{{"region", region.empty() ? Json(nullptr) : Json(region)},
              {"text", shown},
              {"frame", {{"x", 14}, {"y", y}, {"width", width}, {"height", 14.5}}},
              {"font", {{"size", 12}, {"weight", "regular"}}},
              {"color", color},
              {"lineLimit", 1},
              {"cut", cut}};
}

// A Today widget with two rows and an overflow line.
Json todayReport() {
  return Json{
      {"kind", "BrisklaneWidget"},
      {"family", "systemMedium"},
      {"deviceClass", "393x852"},
      {"size", {{"width", 338}, {"height", 158}}},
      {"texts",
       {text("header", "URGENT", 23, 50, false, "urgent"),
        text("row 1", "Call the plumber", 46, 140), text("row 2", "Renew passport", 66, 112),
        text("overflow line", "+2 more", 90, 43, false, "muted")}},
      {"symbols", Json::array()},
      {"fills",
       {{{"region", nullptr},
         {"frame", {{"x", 0}, {"y", 0}, {"width", 338}, {"height", 158}}},
         {"color", "background"}}}},
      {"tapTargets",
       {{{"frame", {{"x", 0}, {"y", 0}, {"width", 338}, {"height", 158}}},
         {"url", "brisklane://today"}}}}};
}

std::vector<std::string> differences(const Json& before, const Json& now) {
  const auto was = decodeLayoutReport(before.dump());
  const auto is = decodeLayoutReport(now.dump());
  EXPECT_TRUE(was && is);
  if (!was || !is) return {};
  return semanticDifferences(*was, *is);
}

TEST(SemanticDiff, TellsEachChangeInTheWidgetsOwnWordsAndNothingForTheSameLayout) {
  const Json before = todayReport();
  EXPECT_TRUE(differences(before, before).empty());

  Json now = before;
  now["texts"][2]["text"] = "Renew passport for the trip";
  now["texts"][2]["cut"] = true;
  now["texts"][0]["color"] = "calm";
  now["texts"][3]["frame"]["y"] = 94;
  now["texts"][1]["frame"]["y"] = 46.2;  // below what a picture shows
  now["tapTargets"] = Json::array();
  EXPECT_EQ(differences(before, now),
            (std::vector<std::string>{
                "header: colour urgent → calm",
                "row 2: the text 'Renew passport' is now 'Renew passport for the trip'",
                "row 2: the text 'Renew passport for the trip' is cut at 112 pt (was whole)",
                "overflow line moved 4 pt down",
                "tap target lost (brisklane://today)",
            }));
}

TEST(SemanticDiff, TellsRegionsThatCameOrWentAndAWidgetOfAnotherSize) {
  const Json before = todayReport();
  Json now = before;
  now["texts"].erase(2);  // row 2 went
  now["texts"].push_back(text("", "Updated now", 140, 60));
  now["size"]["height"] = 170;
  EXPECT_EQ(differences(before, now), (std::vector<std::string>{
                                          "the widget is 338×170 pt (was 338×158 pt)",
                                          "row 2 is gone (it showed 'Renew passport')",
                                          "widget is new (it shows 'Updated now')",
                                      }));
}

TEST(SemanticDiff, RefusesAReportThatIsNotOneAndSaysWhere) {
  EXPECT_EQ(decodeLayoutReport("[1]").reason(), "it is not a JSON object");
  EXPECT_EQ(decodeLayoutReport("{\"kind\"").reason(), "it is not JSON");
  Json broken = todayReport();
  broken["texts"][2]["frame"]["x"] = "14";
  EXPECT_EQ(decodeLayoutReport(broken.dump()).reason(), "texts[2].frame.x is not a number");
  broken = todayReport();
  broken["tapTargets"] = Json::object();
  EXPECT_EQ(decodeLayoutReport(broken.dump()).reason(), "tapTargets is not a list");
  broken = todayReport();
  broken.erase("size");
  EXPECT_EQ(decodeLayoutReport(broken.dump()).reason(), "size is not an object");
}

}  // namespace
}  // namespace brisklane
