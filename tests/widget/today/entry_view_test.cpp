// What the Today entry view shows for each entry and family: row limits,
// overflow, tiers and the one link. Sizes and spacing, and the status line of
// an entry without payload, are the layout tests' to check.
#include "widget/today/entry_view.h"

#include <gtest/gtest.h>

#include "tests/support/view_inspection.h"
#include "widget/palette.h"

namespace brisklane {
namespace {

using testing::peel;
using testing::PeeledView;

TodayPayload payload(std::optional<std::string> tier, std::int64_t count, int items) {
  TodayPayload summary{.tier = std::move(tier), .count = count, .items = {}};
  for (int index = 1; index <= items; ++index) {
    summary.items.push_back(TodayItem{.title = "Task " + std::to_string(index)});
  }
  return summary;
}

// What the content stack shows, read back from the tree: the header's label
// and count, each row's bullet and title, and the texts among them, with the
// identifiers that name the parts to the layout report.
struct Shown {
  PeeledView tierLabel;
  std::optional<PeeledView> count;
  std::vector<std::pair<PeeledView, PeeledView>> rows;
  std::vector<PeeledView> texts;                        // an overflow line or a message
  std::vector<std::optional<std::string>> identifiers;  // of the header, then each part below
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
  for (const View& child : stack->children) {
    if (!child.as<Spacer>()) result.identifiers.push_back(peel(child).identifier);
  }
  if (const HStack* header = peel(stack->children.front()).leaf.as<HStack>()) {
    result.tierLabel = peel(header->children.at(0));
    if (header->children.size() == 3) result.count = peel(header->children[2]);
  }
  for (std::size_t index = 1; index < stack->children.size(); ++index) {
    const View& child = stack->children[index];
    if (const auto* row = peel(child).leaf.as<HStack>(); row && row->children.size() == 2) {
      result.rows.emplace_back(peel(row->children[0]), peel(row->children[1]));
    } else if (PeeledView text = peel(child); text.isText()) {
      result.texts.push_back(text);
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
  EXPECT_EQ(view.identifiers,
            (std::vector<std::optional<std::string>>{"header", "row 1", "row 2", "row 3"}));
}

// Rows up to the family's limit, then an overflow line counted from `count`;
// without a tier, or with a count below one, the nothing-due message instead,
// under the tier's label all the same. The count shows from one up.
TEST(TodayEntryView, LimitsRowsByFamilyAndCountsOverflowFromCountOrShowsNothingDue) {
  const std::string nothingDue = "Nothing due right now \xE2\x9C\x93";
  constexpr auto small = WidgetFamily::systemSmall;
  constexpr auto medium = WidgetFamily::systemMedium;
  const struct {
    std::optional<std::string> tier;
    std::int64_t count;
    int items;
    WidgetFamily family;
    std::size_t rows;
    std::string below;  // the overflow line or the message; empty for none
  } cases[] = {
      {"urgent", 10, 7, small, 3, "+7 more"},
      {"urgent", 10, 7, medium, 5, "+5 more"},
      {"urgent", 10, 2, small, 2, "+7 more"},
      {"urgent", 4, 4, medium, 4, ""},
      {"urgent", 4, 4, small, 3, "+1 more"},
      {"urgent", 6, 6, medium, 5, "+1 more"},
      {"urgent", 5, 9, medium, 5, ""},
      {"urgent", 3, 9, small, 3, ""},
      {"urgent", 2, 0, small, 0, ""},
      // Families the widget is not offered in take the smaller limit.
      {"urgent", 10, 7, WidgetFamily::accessoryInline, 3, "+7 more"},
      {"urgent", INT64_MAX, 1, small, 1, "+9223372036854775804 more"},
      {std::nullopt, 4, 6, small, 0, nothingDue},
      {std::nullopt, 0, 6, medium, 0, nothingDue},
      {"urgent", 0, 6, medium, 0, nothingDue},
      {"urgent", -1, 6, small, 0, nothingDue},
      {"important", INT64_MIN, 6, medium, 0, nothingDue},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.tier.value_or("(none)") + " " + std::string(name(test.family)) + " count " +
                 std::to_string(test.count) + " items " + std::to_string(test.items));
    Shown view = shown(payload(test.tier, test.count, test.items), test.family);
    EXPECT_EQ(view.tierLabel.text(), tierLabel(test.tier));
    EXPECT_EQ(view.count ? view.count->text() : "",
              test.count >= 1 ? std::to_string(test.count) : "");
    ASSERT_EQ(view.rows.size(), test.rows);
    for (std::size_t index = 0; index < view.rows.size(); ++index) {
      EXPECT_EQ(view.rows[index].second.text(), "Task " + std::to_string(index + 1));
    }
    ASSERT_EQ(view.texts.size(), test.below.empty() ? 0u : 1u);
    if (!test.below.empty()) {
      EXPECT_EQ(view.texts[0].text(), test.below);
      EXPECT_EQ(view.texts[0].foregroundColor, mutedTextColor());
      EXPECT_EQ(view.identifiers.back(), test.rows > 0 ? "overflow line" : "message");
    }
  }
}

}  // namespace
}  // namespace brisklane
