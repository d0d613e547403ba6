#include <gtest/gtest.h>

#include "tests/support/view_inspection.h"
#include "widget/today/palette.h"
#include "widget/voice/entry_view.h"
#include "widget/voice/provider.h"

namespace brisklane {
namespace {

using testing::peel;

Date fixedMoment() {
  return Date::fromTimeIntervalSince1970(1'800'000'000.5);
}

class FixedClock : public ::testing::Test {
 protected:
  FixedClock() { setClock(&fixedMoment); }
  ~FixedClock() override { setClock(nullptr); }
};

using VoiceProviderTest = FixedClock;

TEST_F(VoiceProviderTest, TimelineIsOneEntryDatedNowThatNeverReloads) {
  int calls = 0;
  VoiceProvider{}.getTimeline(TimelineProviderContext{}, [&](Timeline<VoiceEntry> timeline) {
    ++calls;
    ASSERT_EQ(timeline.entries.size(), 1u);
    EXPECT_EQ(timeline.entries[0].date, fixedMoment());
    EXPECT_EQ(timeline.policy, TimelineReloadPolicy::never());
    EXPECT_FALSE(timeline.policy.reloadMoment());
  });
  EXPECT_EQ(calls, 1) << "the completion runs once, before getTimeline returns";
}

TEST_F(VoiceProviderTest, PlaceholderAndSnapshotAreDatedNow) {
  EXPECT_EQ(VoiceProvider{}.placeholder(TimelineProviderContext{}).date, fixedMoment());
  int calls = 0;
  VoiceProvider{}.getSnapshot(
      TimelineProviderContext{.family = WidgetFamily::accessoryInline, .isPreview = true},
      [&](VoiceEntry entry) {
        ++calls;
        EXPECT_EQ(entry.date, fixedMoment());
      });
  EXPECT_EQ(calls, 1);
}

View voiceView(WidgetFamily family, Date date = Date::now()) {
  return evaluated(environmentReader(VoiceWidgetEntryView{.entry = VoiceEntry{.date = date}}),
                   EnvironmentValues{.widgetFamily = family});
}

const std::optional<URL> voiceURL = URL::fromString("brisklane://voice");

TEST(VoiceWidgetEntryView, CircularIsTheSymbolOnTheAccessoryBackdrop) {
  View root = voiceView(WidgetFamily::accessoryCircular);
  const auto* url = root.as<WidgetURLModifier>();
  ASSERT_NE(url, nullptr);
  EXPECT_EQ(url->url, voiceURL);
  const auto* stack = url->content.as<ZStack>();
  ASSERT_NE(stack, nullptr);
  EXPECT_EQ(stack->alignment, Alignment::center);
  ASSERT_EQ(stack->children.size(), 2u);
  EXPECT_EQ(stack->children[0], View(AccessoryWidgetBackground{}));
  auto symbol = peel(stack->children[1]);
  EXPECT_EQ(symbol.leaf, View(Image{"mic.fill"}));
  EXPECT_EQ(symbol.font, Font::system(20, FontWeight::semibold));
  EXPECT_EQ(symbol.modifiers, std::vector<std::string>{"font"})
      << "no colour: the host's accessory rendering decides it";
}

TEST(VoiceWidgetEntryView, InlineIsALabelWithNothingElseSet) {
  View expected =
      View(Label{.title = Text::key("Quick add"), .icon = Image{"mic.fill"}}).widgetURL(voiceURL);
  EXPECT_EQ(voiceView(WidgetFamily::accessoryInline), expected);
}

TEST(VoiceWidgetEntryView, EveryOtherFamilyIsTheSymbolOverTheWordsOnTheBackground) {
  for (WidgetFamily family : {WidgetFamily::systemSmall, WidgetFamily::systemMedium}) {
    SCOPED_TRACE(std::string(name(family)));
    View root = voiceView(family);
    const auto* url = root.as<WidgetURLModifier>();
    ASSERT_NE(url, nullptr);
    EXPECT_EQ(url->url, voiceURL);
    const auto* stack = url->content.as<ZStack>();
    ASSERT_NE(stack, nullptr);
    EXPECT_EQ(stack->alignment, Alignment::center);
    ASSERT_EQ(stack->children.size(), 2u);
    EXPECT_EQ(stack->children[0], View(ColorFill{backgroundColor()}));
    const auto* column = stack->children[1].as<VStack>();
    ASSERT_NE(column, nullptr);
    EXPECT_EQ(column->alignment, HorizontalAlignment::center);
    EXPECT_EQ(column->spacing, Length(6));
    ASSERT_EQ(column->children.size(), 2u);

    auto symbol = peel(column->children[0]);
    EXPECT_EQ(symbol.leaf, View(Image{"mic.fill"}));
    EXPECT_EQ(symbol.font, Font::system(34, FontWeight::semibold));
    EXPECT_EQ(symbol.foregroundColor, Color::white);

    auto words = peel(column->children[1]);
    EXPECT_EQ(words.leaf, View(Text::key("Quick add")));
    EXPECT_EQ(words.text().size(), 9u);
    EXPECT_EQ(words.font, Font::system(12, FontWeight::semibold));
    EXPECT_EQ(words.foregroundColor, mutedTextColor());
    EXPECT_FALSE(words.lineLimit) << "no layout adds a line limit";
  }
}

TEST(VoiceWidgetEntryView, EveryLayoutCarriesOnlyTheVoiceLink) {
  for (WidgetFamily family : allWidgetFamilies) {
    std::vector<std::optional<URL>> urls;
    testing::collectWidgetURLs(voiceView(family), urls);
    ASSERT_EQ(urls.size(), 1u) << name(family);
    EXPECT_EQ(urls[0], voiceURL);
    EXPECT_EQ(urls[0]->absoluteString.size(), 17u);
  }
}

TEST(VoiceWidgetEntryView, RendersTheSameWhateverTheEntryDate) {
  for (WidgetFamily family : allWidgetFamilies) {
    EXPECT_EQ(voiceView(family, Date::fromTimeIntervalSince1970(0)),
              voiceView(family, Date::fromTimeIntervalSince1970(4e9)))
        << name(family);
  }
}

}  // namespace
}  // namespace brisklane
