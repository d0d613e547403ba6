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

class VoiceProviderTest : public ::testing::Test {
 protected:
  VoiceProviderTest() { setClock(&fixedMoment); }
  ~VoiceProviderTest() override { setClock(nullptr); }
};

TEST_F(VoiceProviderTest, AnswersOnceWithOneEntryDatedNowThatNeverReloads) {
  EXPECT_EQ(VoiceProvider{}.placeholder(TimelineProviderContext{}).date, fixedMoment());
  int calls = 0;
  VoiceProvider{}.getTimeline(TimelineProviderContext{}, [&](Timeline<VoiceEntry> timeline) {
    ++calls;
    ASSERT_EQ(timeline.entries.size(), 1u);
    EXPECT_EQ(timeline.entries[0].date, fixedMoment());
    EXPECT_EQ(timeline.policy, TimelineReloadPolicy::never());
  });
  VoiceProvider{}.getSnapshot(
      TimelineProviderContext{.family = WidgetFamily::accessoryInline, .isPreview = true},
      [&](VoiceEntry entry) {
        ++calls;
        EXPECT_EQ(entry.date, fixedMoment());
      });
  EXPECT_EQ(calls, 2) << "each completion runs once, before its call returns";
}

View voiceView(WidgetFamily family, Date date = Date::now()) {
  return evaluated(environmentReader(VoiceWidgetEntryView{.entry = VoiceEntry{.date = date}}),
                   EnvironmentValues{.widgetFamily = family});
}

// The symbol over the words on the widget's background, or alone on the
// accessory backdrop, whose colour the host's accessory rendering decides.
TEST(VoiceWidgetEntryView, ShowsEachFamilysLayout) {
  const View symbolOnBackdrop =
      ZStack{.alignment = Alignment::center,
             .children = {AccessoryWidgetBackground{},
                          View(Image{"mic.fill"}).font(Font::system(20, FontWeight::semibold))}};
  EXPECT_EQ(peel(voiceView(WidgetFamily::accessoryCircular)).leaf, symbolOnBackdrop);
  EXPECT_EQ(peel(voiceView(WidgetFamily::accessoryInline)).leaf,
            View(Label{.title = Text::key("Quick add"), .icon = Image{"mic.fill"}}));
  for (WidgetFamily family : {WidgetFamily::systemSmall, WidgetFamily::systemMedium}) {
    SCOPED_TRACE(std::string(name(family)));
    const View root = peel(voiceView(family)).leaf;
    const auto* stack = root.as<ZStack>();
    ASSERT_NE(stack, nullptr);
    ASSERT_EQ(stack->children.size(), 2u);
    EXPECT_EQ(stack->children[0], View(ColorFill{backgroundColor()}));
    const auto* column = stack->children[1].as<VStack>();
    ASSERT_NE(column, nullptr);
    ASSERT_EQ(column->children.size(), 2u);
    auto symbol = peel(column->children[0]);
    EXPECT_EQ(symbol.leaf, View(Image{"mic.fill"}));
    EXPECT_EQ(symbol.foregroundColor, Color::white);
    auto words = peel(column->children[1]);
    EXPECT_EQ(words.leaf, View(Text::key("Quick add")));
    EXPECT_EQ(words.foregroundColor, mutedTextColor());
    EXPECT_FALSE(words.lineLimit) << "no layout adds a line limit";
  }
}

TEST(VoiceWidgetEntryView, EveryLayoutCarriesOnlyTheVoiceLinkWhateverTheDate) {
  for (WidgetFamily family : allWidgetFamilies) {
    SCOPED_TRACE(std::string(name(family)));
    std::vector<std::optional<URL>> urls;
    testing::collectWidgetURLs(voiceView(family), urls);
    EXPECT_EQ(urls, (std::vector{URL::fromString("brisklane://voice")}));
    EXPECT_EQ(voiceView(family, Date::fromTimeIntervalSince1970(0)),
              voiceView(family, Date::fromTimeIntervalSince1970(4e9)));
  }
}

}  // namespace
}  // namespace brisklane
