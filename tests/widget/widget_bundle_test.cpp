#include "widget/widget_bundle.h"

#include <gtest/gtest.h>

#include "platform/foundation/process_info.h"
#include "tests/support/temporary_device.h"
#include "tests/support/view_inspection.h"
#include "widget/today/entry_view.h"
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

// The view of each family is the same whatever the entry's date, and carries
// the one voice link.
View voiceView(WidgetFamily family) {
  auto at = [family](double seconds) {
    VoiceWidgetEntryView view{.entry =
                                  VoiceEntry{.date = Date::fromTimeIntervalSince1970(seconds)}};
    return evaluated(environmentReader(view), EnvironmentValues{.widgetFamily = family});
  };
  const View view = at(0);
  EXPECT_EQ(view, at(4e9)) << name(family);
  std::vector<std::optional<URL>> urls;
  testing::collectWidgetURLs(view, urls);
  EXPECT_EQ(urls, (std::vector{URL::fromString("brisklane://voice")})) << name(family);
  return view;
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

// The content function's version test, against the process's simulated
// system version, which each test sets and then restores.
class ContentFunction : public ::testing::Test {
 protected:
  ~ContentFunction() override { setOperatingSystemVersion(defaultOperatingSystemVersion); }
};

TEST_F(ContentFunction, AttachesTheContainerBackgroundFromSeventeenExactly) {
  const std::pair<OperatingSystemVersion, bool> cases[] = {
      {{16, 0, 0}, false}, {{16, 4, 0}, false}, {{16, 65535, 65535}, false}, {{17, 0, 0}, true},
      {{17, 0, 1}, true},  {{17, 4, 0}, true},  {{18, 0, 0}, true}};
  const auto today = BrisklaneWidget{}.body();
  const auto voice = VoiceWidget{}.body();
  for (const auto& [version, background] : cases) {
    SCOPED_TRACE(version.text());
    setOperatingSystemVersion(version);
    for (const auto& [content, color, type] :
         {std::tuple{today.content(TodayEntry{.date = Date::now(), .payload = samplePayload()}),
                     backgroundColor(), "BrisklaneWidgetEntryView"},
          std::tuple{voice.content(VoiceEntry{.date = Date::now()}), Color::clear,
                     "VoiceWidgetEntryView"}}) {
      const View* entryView = &content;
      if (const auto* modifier = content.as<ContainerBackgroundModifier>()) {
        EXPECT_EQ(modifier->color, color);
        EXPECT_EQ(modifier->placement, ContainerBackgroundPlacement::widget);
        entryView = &modifier->content;
      }
      EXPECT_EQ(entryView != &content, background) << "asked on every call";
      const auto* reader = entryView->as<EnvironmentReader>();
      ASSERT_NE(reader, nullptr) << "got " << kindName(entryView->node());
      EXPECT_EQ(reader->typeName, type);
    }
  }
}

// What each provider answers is its own test's; here, that the erased
// configuration carries each widget's entries through to its content.
TEST(ErasedConfiguration, CarriesEachWidgetsEntriesToItsContentFunction) {
  testing::TemporaryDevice device;
  std::vector<WidgetConfiguration> widgets = BrisklaneWidgetBundle{}.body();
  ASSERT_EQ(widgets.size(), 2u);
  const WidgetConfiguration& today = widgets[0];
  const WidgetConfiguration& voice = widgets[1];

  AnyEntry placeholder = today.placeholder(TimelineProviderContext{});
  const auto* todayEntry = std::any_cast<TodayEntry>(&placeholder.value);
  ASSERT_NE(todayEntry, nullptr);
  EXPECT_EQ(todayEntry->date, placeholder.date);

  int calls = 0;
  today.getTimeline(TimelineProviderContext{}, [&](Timeline<AnyEntry> timeline) {
    ++calls;
    ASSERT_EQ(timeline.entries.size(), 1u);
    EXPECT_NE(std::any_cast<TodayEntry>(&timeline.entries[0].value), nullptr);
  });
  voice.getSnapshot(TimelineProviderContext{}, [&](AnyEntry entry) {
    ++calls;
    EXPECT_NE(std::any_cast<VoiceEntry>(&entry.value), nullptr);
  });
  EXPECT_EQ(calls, 2);

  EnvironmentValues inlineFamily{.widgetFamily = WidgetFamily::accessoryInline};
  AnyEntry voiceEntry = voice.placeholder(TimelineProviderContext{});
  EXPECT_EQ(evaluated(voice.content(voiceEntry), inlineFamily),
            evaluated(VoiceWidget{}.body().content(std::any_cast<VoiceEntry>(voiceEntry.value)),
                      inlineFamily));
}

}  // namespace
}  // namespace brisklane
