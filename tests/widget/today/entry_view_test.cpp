// What the Today entry view shows for each entry and family: row limits,
// overflow, tiers and the one link. Sizes and spacing, and the status line of
// an entry without payload, are the layout tests' to check.
#include "widget/today/entry_view.h"

#include <gtest/gtest.h>

#include "tests/support/view_inspection.h"
#include "widget/today/palette.h"

namespace brisklane {
namespace {

using testing::peel;
using testing::PeeledView;

constexpr WidgetFamily bothFamilies[] = {WidgetFamily::systemSmall, WidgetFamily::systemMedium};

TodayPayload payload(std::optional<std::string> tier, std::int64_t count, int items) {
  TodayPayload summary{.tier = std::move(tier), .count = count, .items = {}};
  for (int index = 1; index <= items; ++index) {
    summary.items.push_back(TodayItem{.title = "Task " + std::to_string(index)});
  }
  return summary;
}

// What the content stack shows, read back from the tree: the header's label
// and count, each row's bullet and title, and the texts below them.
struct Shown {
  PeeledView tierLabel;
  std::optional<PeeledView> count;
  std::vector<std::pair<PeeledView, PeeledView>> rows;
  std::optional<PeeledView> message;
  std::optional<PeeledView> overflow;
};

// Every case of the body carries the one Today link, whatever else it shows.
Shown shown(const std::optional<TodayPayload>& summary, WidgetFamily family) {
  BrisklaneWidgetEntryView entryView{.entry = TodayEntry{.date = Date::now(), .payload = summary}};
  const View root =
      evaluated(environmentReader(entryView), EnvironmentValues{.widgetFamily = family});
  std::vector<std::optional<URL>> urls;
  testing::collectWidgetURLs(root, urls);
  EXPECT_EQ(urls, (std::vector{URL::fromString("brisklane://today")}));
  Shown result;
  const VStack* stack = peel(root).leaf.as<VStack>();
  if (!stack || stack->children.empty()) {
    ADD_FAILURE() << "no content stack";
    return result;
  }
  if (const HStack* header = stack->children.front().as<HStack>()) {
    result.tierLabel = peel(header->children.at(0));
    if (header->children.size() == 3) result.count = peel(header->children[2]);
  }
  for (std::size_t index = 1; index < stack->children.size(); ++index) {
    const View& child = stack->children[index];
    if (const auto* row = child.as<HStack>(); row && row->children.size() == 2) {
      result.rows.emplace_back(peel(row->children[0]), peel(row->children[1]));
    } else if (PeeledView text = peel(child); text.isText()) {
      const bool key = std::holds_alternative<LocalizedStringKey>(text.leaf.as<Text>()->content);
      (key ? result.overflow : result.message) = text;
    }
  }
  return result;
}

TEST(TodayEntryView, WritesRowsByteExactlyAndTellsAnEmptyProjectFromNone) {
  TodayPayload summary{.tier = "important",
                       .count = 3,
                       .items = {{.title = "A", .project = "P"},
                                 {.title = "Empty", .project = ""},
                                 {.title = "None", .project = std::nullopt}}};
  Shown view = shown(summary, WidgetFamily::systemSmall);
  ASSERT_EQ(view.rows.size(), 3u);
  const auto& [bullet, title] = view.rows[0];
  EXPECT_EQ(bullet.leaf, View(Text::key("\xE2\x80\xA2"))) << "the bullet is the key U+2022";
  EXPECT_EQ(bullet.foregroundColor, importantColor());
  EXPECT_EQ(title.leaf, View(Text::verbatim("A  \xC2\xB7  P")));
  EXPECT_EQ(view.rows[1].second.text(), "Empty  \xC2\xB7  ");
  EXPECT_EQ(view.rows[2].second.text(), "None");
}

TEST(TodayEntryView, LimitsRowsByFamilyAndCountsOverflowFromCount) {
  const struct {
    WidgetFamily family;
    std::int64_t count;
    int items;
    std::size_t rows;
    std::optional<std::string> overflow;
  } cases[] = {
      {WidgetFamily::systemSmall, 10, 7, 3, "+7 more"},
      {WidgetFamily::systemMedium, 10, 7, 5, "+5 more"},
      {WidgetFamily::systemSmall, 10, 2, 2, "+7 more"},
      {WidgetFamily::systemMedium, 4, 4, 4, std::nullopt},
      {WidgetFamily::systemSmall, 4, 4, 3, "+1 more"},
      {WidgetFamily::systemMedium, 6, 6, 5, "+1 more"},
      {WidgetFamily::systemMedium, 5, 9, 5, std::nullopt},
      {WidgetFamily::systemSmall, 3, 9, 3, std::nullopt},
      {WidgetFamily::systemSmall, 2, 0, 0, std::nullopt},
      // Families the widget is not offered in take the smaller limit.
      {WidgetFamily::accessoryInline, 10, 7, 3, "+7 more"},
      {WidgetFamily::systemSmall, INT64_MAX, 1, 1, "+9223372036854775804 more"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(std::string(name(test.family)) + " count " + std::to_string(test.count) +
                 " items " + std::to_string(test.items));
    Shown view = shown(payload("urgent", test.count, test.items), test.family);
    ASSERT_EQ(view.rows.size(), test.rows);
    for (std::size_t index = 0; index < view.rows.size(); ++index) {
      EXPECT_EQ(view.rows[index].second.text(), "Task " + std::to_string(index + 1));
    }
    EXPECT_FALSE(view.message);
    ASSERT_TRUE(view.count);
    EXPECT_EQ(view.count->text(), std::to_string(test.count));
    ASSERT_EQ(view.overflow.has_value(), test.overflow.has_value());
    if (test.overflow) {
      EXPECT_EQ(view.overflow->text(), *test.overflow);
      EXPECT_EQ(view.overflow->foregroundColor, mutedTextColor());
    }
  }
}

TEST(TodayEntryView, ShowsNothingDueWithoutTierOrWithCountBelowOne) {
  const struct {
    std::optional<std::string> tier;
    std::int64_t count;
    std::string label;
    bool countShown;
  } cases[] = {
      {std::nullopt, 4, "ALL CLEAR", true},  {"urgent", 0, "URGENT", false},
      {"urgent", -1, "URGENT", false},       {"important", INT64_MIN, "IMPORTANT", false},
      {std::nullopt, 0, "ALL CLEAR", false},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.tier.value_or("(none)") + " " + std::to_string(test.count));
    for (WidgetFamily family : bothFamilies) {
      Shown view = shown(payload(test.tier, test.count, 6), family);
      EXPECT_EQ(view.tierLabel.text(), test.label);
      EXPECT_EQ(view.count ? view.count->text() : "",
                test.countShown ? std::to_string(test.count) : "");
      EXPECT_TRUE(view.rows.empty()) << "whatever the items hold";
      EXPECT_FALSE(view.overflow);
      ASSERT_TRUE(view.message);
      EXPECT_EQ(view.message->text(), "Nothing due right now \xE2\x9C\x93");
    }
  }
}

}  // namespace
}  // namespace brisklane
