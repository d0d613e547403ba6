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
  const View circularRoot = peel(voiceView(WidgetFamily::accessoryCircular)).leaf;
  const auto* circular = circularRoot.as<ZStack>();
  ASSERT_NE(circular, nullptr);
  EXPECT_EQ(circular->children.at(0), View(AccessoryWidgetBackground{}));
  EXPECT_EQ(peel(circular->children.at(1)).leaf, View(Image{"mic.fill"}));
  EXPECT_EQ(peel(voiceView(WidgetFamily::accessoryInline)).leaf,
            View(Label{.title = Text::key("Quick add"), .icon = Image{"mic.fill"}}));
  for (WidgetFamily family : {WidgetFamily::systemSmall, WidgetFamily::systemMedium}) {
    SCOPED_TRACE(std::string(name(family)));
    const View root = peel(voiceView(family)).leaf;
    const auto* stack = root.as<ZStack>();
    ASSERT_TRUE(stack && stack->children.size() == 2u);
    EXPECT_EQ(stack->children[0], View(ColorFill{backgroundColor()}));
    const auto* column = stack->children[1].as<VStack>();
    ASSERT_TRUE(column && column->children.size() == 2u);
    EXPECT_EQ(peel(column->children[0]).leaf, View(Image{"mic.fill"}));
    EXPECT_EQ(peel(column->children[1]).leaf, View(Text::key("Quick add")));
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
