#include "widget/today/entry_view.h"

#include <gtest/gtest.h>

#include "platform/foundation/user_defaults.h"
#include "tests/support/temporary_device.h"
#include "tests/support/view_inspection.h"
#include "widget/app_group.h"
#include "widget/today/palette.h"
#include "widget/today/shared_store.h"

namespace brisklane {
namespace {

using testing::peel;
using testing::PeeledView;

View todayView(std::optional<TodayPayload> payload, WidgetFamily family) {
  BrisklaneWidgetEntryView view{.entry = TodayEntry{.date = Date::now(), .payload = payload}};
  return evaluated(environmentReader(view), EnvironmentValues{.widgetFamily = family});
}

std::vector<TodayItem> items(int number) {
  std::vector<TodayItem> list;
  for (int index = 1; index <= number; ++index) {
    list.push_back(TodayItem{.title = "Task " + std::to_string(index), .project = std::nullopt});
  }
  return list;
}

TodayPayload payload(std::optional<std::string> tier, std::int64_t count,
                     std::vector<TodayItem> list) {
  return TodayPayload{.tier = std::move(tier), .count = count, .items = std::move(list)};
}

// The content stack under the root's URL, background, frame and padding.
const VStack& contentStack(const View& root) {
  PeeledView peeled = peel(root);
  const VStack* stack = peeled.leaf.as<VStack>();
  if (!stack) {
    ADD_FAILURE() << "no content stack at " << kindName(peeled.leaf.node());
    static const VStack none;
    return none;
  }
  return *stack;
}

// What the content stack shows, read back from the tree.
struct Shown {
  PeeledView tierLabel;
  std::optional<PeeledView> count;
  std::vector<std::pair<PeeledView, PeeledView>> rows;  // bullet, title
  std::optional<PeeledView> message;
  std::optional<PeeledView> overflow;
};

Shown shown(const View& root) {
  const VStack& stack = contentStack(root);
  Shown result;
  EXPECT_GE(stack.children.size(), 2u);
  if (stack.children.size() < 2) return result;

  const HStack* header = stack.children.front().as<HStack>();
  EXPECT_NE(header, nullptr);
  if (header) {
    EXPECT_EQ(header->alignment, VerticalAlignment::firstTextBaseline);
    EXPECT_TRUE(header->spacing.isHostDefault());
    EXPECT_GE(header->children.size(), 2u);
    result.tierLabel = peel(header->children.at(0));
    EXPECT_EQ(View(header->children.at(1)), View(Spacer{.minLength = hostDefault}));
    if (header->children.size() == 3) result.count = peel(header->children[2]);
    EXPECT_LE(header->children.size(), 3u);
  }

  const View& trailing = stack.children.back();
  EXPECT_EQ(trailing, View(Spacer{.minLength = 0})) << "the trailing space must be last";

  for (std::size_t index = 1; index + 1 < stack.children.size(); ++index) {
    const View& child = stack.children[index];
    if (const auto* row = child.as<HStack>()) {
      EXPECT_EQ(row->alignment, VerticalAlignment::center);
      EXPECT_EQ(row->spacing, Length(5));
      EXPECT_EQ(row->children.size(), 2u);
      if (row->children.size() == 2) {
        result.rows.emplace_back(peel(row->children[0]), peel(row->children[1]));
      }
    } else if (child.as<Spacer>()) {
      EXPECT_EQ(child, View(Spacer{.minLength = 2})) << "the space before a message";
      EXPECT_EQ(index, 1u);
      EXPECT_EQ(index + 3, stack.children.size()) << "a message follows the space, then the end";
    } else {
      PeeledView text = peel(child);
      EXPECT_TRUE(text.isText());
      if (text.leaf.as<Text>() &&
          std::holds_alternative<LocalizedStringKey>(text.leaf.as<Text>()->content)) {
        result.overflow = text;
      } else {
        result.message = text;
      }
    }
  }
  return result;
}

const Font heavy12 = Font::system(12, FontWeight::heavy);

TEST(TodayEntryView, RootFillsTheWidgetOnTheBackgroundAndLinksToToday) {
  View root = todayView(samplePayload(), WidgetFamily::systemSmall);
  const auto* url = root.as<WidgetURLModifier>();
  ASSERT_NE(url, nullptr) << "the link must be on the root";
  ASSERT_TRUE(url->url);
  EXPECT_EQ(url->url->absoluteString, "brisklane://today");

  const auto* background = url->content.as<BackgroundModifier>();
  ASSERT_NE(background, nullptr);
  EXPECT_EQ(background->color, backgroundColor());
  EXPECT_EQ(background->ignoresSafeAreaEdges, EdgeSet::all());

  const auto* frame = background->content.as<FrameModifier>();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->options, (FrameOptions{.maxWidth = unbounded,
                                          .maxHeight = unbounded,
                                          .alignment = Alignment::topLeading}));

  const auto* padding = frame->content.as<PaddingModifier>();
  ASSERT_NE(padding, nullptr);
  EXPECT_EQ(padding->edges, EdgeSet::all());
  EXPECT_EQ(padding->length, Length(14));

  const auto* stack = padding->content.as<VStack>();
  ASSERT_NE(stack, nullptr);
  EXPECT_EQ(stack->alignment, HorizontalAlignment::leading);
  EXPECT_EQ(stack->spacing, Length(6));
}

TEST(TodayEntryView, EveryBodyCaseCarriesExactlyTheTodayLink) {
  testing::TemporaryDevice device;
  for (const auto& entryPayload :
       {std::optional<TodayPayload>(), std::optional(payload("urgent", 0, items(2))),
        std::optional(payload("important", 9, items(9)))}) {
    for (WidgetFamily family : {WidgetFamily::systemSmall, WidgetFamily::systemMedium}) {
      std::vector<std::optional<URL>> urls;
      testing::collectWidgetURLs(todayView(entryPayload, family), urls);
      ASSERT_EQ(urls.size(), 1u);
      EXPECT_EQ(urls[0], URL::fromString("brisklane://today"));
    }
  }
}

TEST(TodayEntryView, ShowsThePlaceholderSampleAlikeInBothFamilies) {
  for (WidgetFamily family : {WidgetFamily::systemSmall, WidgetFamily::systemMedium}) {
    SCOPED_TRACE(std::string(name(family)));
    Shown view = shown(todayView(samplePayload(), family));
    EXPECT_EQ(view.tierLabel.text(), "URGENT");
    EXPECT_EQ(view.tierLabel.foregroundColor, urgentColor());
    EXPECT_EQ(view.tierLabel.font, heavy12);
    ASSERT_TRUE(view.count);
    EXPECT_EQ(view.count->text(), "3");
    EXPECT_EQ(view.count->leaf, View(Text::key("%lld", 3)));
    EXPECT_EQ(view.count->foregroundColor, Color::white);
    EXPECT_EQ(view.count->font, Font::system(22, FontWeight::heavy));
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0].first.foregroundColor, urgentColor());
    EXPECT_EQ(view.rows[0].second.text(), "Envoyer galerie  \xC2\xB7  Mariage");
    EXPECT_FALSE(view.overflow) << "3 is not greater than 3";
    EXPECT_FALSE(view.message);
  }
}

TEST(TodayEntryView, StylesRowsByteExactly) {
  Shown view = shown(todayView(payload("urgent", 1, {TodayItem{.title = "A", .project = "P"}}),
                               WidgetFamily::systemSmall));
  ASSERT_EQ(view.rows.size(), 1u);
  const auto& [bullet, title] = view.rows[0];
  EXPECT_EQ(bullet.leaf, View(Text::key("\xE2\x80\xA2"))) << "the bullet is the key U+2022";
  EXPECT_EQ(bullet.font, Font::system(12, FontWeight::bold));
  EXPECT_FALSE(bullet.lineLimit);
  EXPECT_EQ(title.leaf, View(Text::verbatim("A  \xC2\xB7  P")));
  EXPECT_EQ(title.font, Font::system(12)) << "regular means no weight given";
  EXPECT_EQ(title.foregroundColor, Color::white);
  EXPECT_EQ(title.lineLimit, std::optional<int>(1)) << "only the title is one line";
  EXPECT_FALSE(view.tierLabel.lineLimit);
  EXPECT_FALSE(view.count->lineLimit);
}

TEST(TodayEntryView, TellsAnEmptyProjectFromNone) {
  Shown view = shown(todayView(payload("important", 2,
                                       {TodayItem{.title = "Empty", .project = ""},
                                        TodayItem{.title = "None", .project = std::nullopt}}),
                               WidgetFamily::systemSmall));
  ASSERT_EQ(view.rows.size(), 2u);
  EXPECT_EQ(view.rows[0].second.text(), "Empty  \xC2\xB7  ");
  EXPECT_EQ(view.rows[1].second.text(), "None");
  EXPECT_EQ(view.tierLabel.text(), "IMPORTANT");
  EXPECT_EQ(view.tierLabel.foregroundColor, importantColor());
  EXPECT_EQ(view.rows[0].first.foregroundColor, importantColor());
}

struct RowCase {
  WidgetFamily family;
  std::int64_t count;
  int items;
  std::size_t rows;
  std::optional<std::string> overflow;
};

TEST(TodayEntryView, LimitsRowsByFamilyAndCountsOverflowFromCount) {
  const RowCase cases[] = {
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
  for (const RowCase& row : cases) {
    SCOPED_TRACE(std::string(name(row.family)) + " count " + std::to_string(row.count) + " items " +
                 std::to_string(row.items));
    Shown view = shown(todayView(payload("urgent", row.count, items(row.items)), row.family));
    ASSERT_EQ(view.rows.size(), row.rows);
    for (std::size_t index = 0; index < view.rows.size(); ++index) {
      EXPECT_EQ(view.rows[index].second.text(), "Task " + std::to_string(index + 1))
          << "rows keep the payload order";
    }
    EXPECT_FALSE(view.message);
    ASSERT_EQ(view.overflow.has_value(), row.overflow.has_value());
    if (row.overflow) {
      EXPECT_EQ(view.overflow->text(), *row.overflow);
      EXPECT_EQ(view.overflow->font, Font::system(11));
      EXPECT_EQ(view.overflow->foregroundColor, mutedTextColor());
    }
  }
}

TEST(TodayEntryView, CountTwoWithoutItemsShowsOnlyTheHeader) {
  View root = todayView(payload("urgent", 2, {}), WidgetFamily::systemMedium);
  const VStack& stack = contentStack(root);
  EXPECT_EQ(stack.children.size(), 2u) << "header and trailing space only";
  Shown view = shown(root);
  ASSERT_TRUE(view.count);
  EXPECT_EQ(view.count->text(), "2");
}

TEST(TodayEntryView, ShowsNothingDueWithoutTierOrWithCountBelowOne) {
  struct Case {
    std::optional<std::string> tier;
    std::int64_t count;
    std::string label;
    Color color;
    std::optional<std::string> countText;
  };
  const Case cases[] = {
      {std::nullopt, 4, "ALL CLEAR", calmColor(), "4"},
      {"urgent", 0, "URGENT", urgentColor(), std::nullopt},
      {"urgent", -1, "URGENT", urgentColor(), std::nullopt},
      {"important", INT64_MIN, "IMPORTANT", importantColor(), std::nullopt},
      {std::nullopt, 0, "ALL CLEAR", calmColor(), std::nullopt},
  };
  for (const Case& item : cases) {
    SCOPED_TRACE(item.tier.value_or("(none)") + " " + std::to_string(item.count));
    for (WidgetFamily family : {WidgetFamily::systemSmall, WidgetFamily::systemMedium}) {
      Shown view = shown(todayView(payload(item.tier, item.count, items(6)), family));
      EXPECT_EQ(view.tierLabel.text(), item.label);
      EXPECT_EQ(view.tierLabel.foregroundColor, item.color);
      EXPECT_EQ(view.count.has_value(), item.countText.has_value());
      if (view.count && item.countText) {
        EXPECT_EQ(view.count->text(), *item.countText);
      }
      EXPECT_TRUE(view.rows.empty()) << "whatever the items hold";
      EXPECT_FALSE(view.overflow);
      ASSERT_TRUE(view.message);
      EXPECT_EQ(view.message->text(), "Nothing due right now \xE2\x9C\x93");
      EXPECT_EQ(view.message->font, Font::system(13));
      EXPECT_EQ(view.message->foregroundColor, mutedTextColor());
    }
  }
}

TEST(TodayEntryView, TreatsTierWordsCaseSensitively) {
  for (std::string tier : {"Urgent", "", "URGENT", "important "}) {
    SCOPED_TRACE("tier '" + tier + "'");
    Shown view = shown(todayView(payload(tier, 2, items(2)), WidgetFamily::systemSmall));
    EXPECT_EQ(view.tierLabel.text(), "ALL CLEAR");
    EXPECT_EQ(view.tierLabel.foregroundColor, calmColor());
    ASSERT_TRUE(view.count);
    EXPECT_EQ(view.count->text(), "2");
    ASSERT_EQ(view.rows.size(), 2u) << "a present tier of any word lists the rows";
    for (const auto& row : view.rows) EXPECT_EQ(row.first.foregroundColor, calmColor());
  }
}

TEST(TodayEntryView, ShowsTheStoreStatusWhenThereIsNoPayload) {
  testing::TemporaryDevice device;
  auto statusShown = [] {
    Shown view = shown(todayView(std::nullopt, WidgetFamily::systemMedium));
    EXPECT_EQ(view.tierLabel.text(), "ALL CLEAR");
    EXPECT_EQ(view.tierLabel.foregroundColor, calmColor());
    EXPECT_FALSE(view.count);
    EXPECT_TRUE(view.rows.empty());
    EXPECT_FALSE(view.overflow);
    if (!view.message) return std::string("(no message)");
    EXPECT_EQ(view.message->font, Font::system(13));
    EXPECT_EQ(view.message->foregroundColor, mutedTextColor());
    return view.message->text();
  };

  {
    brisklane::testing::StoreFaultInjection noStore(brisklane::testing::StoreFault::open);
    EXPECT_EQ(statusShown(), "No App Group (widget)");
  }
  EXPECT_EQ(statusShown(), "App can't share data");
  {
    auto store = UserDefaults::open(appGroupIdentifier);
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->set("", diagKey)) << "even an empty stamp counts";
  }
  EXPECT_EQ(statusShown(), "Linked \xE2\x9C\x93 \xE2\x80\x94 reopen app");
}

TEST(TodayEntryView, ReadsTheStoreOnlyForAnEntryWithoutPayload) {
  testing::TemporaryDevice device;
  brisklane::testing::StoreFaultInjection noStore(brisklane::testing::StoreFault::open);
  // With the store unreachable, a present payload must still draw its rows:
  // nothing of it comes from the store.
  Shown view = shown(todayView(payload("urgent", 1, items(1)), WidgetFamily::systemSmall));
  EXPECT_EQ(view.rows.size(), 1u);
  EXPECT_FALSE(view.message);
}

TEST(TodayEntryView, IsTheSameTreeForTheSameEntryAndFamily) {
  TodayPayload summary = payload("important", 7, items(7));
  EXPECT_EQ(todayView(summary, WidgetFamily::systemMedium),
            todayView(summary, WidgetFamily::systemMedium));
  EXPECT_NE(todayView(summary, WidgetFamily::systemMedium),
            todayView(summary, WidgetFamily::systemSmall));
}

}  // namespace
}  // namespace brisklane
