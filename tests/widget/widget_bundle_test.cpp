#include "widget/widget_bundle.h"

#include <gtest/gtest.h>

#include "platform/foundation/process_info.h"
#include "tests/support/temporary_device.h"
#include "widget/today/entry_view.h"
#include "widget/today/palette.h"
#include "widget/voice/entry_view.h"

namespace brisklane {
namespace {

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
