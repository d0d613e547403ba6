#include "widget/widget_bundle.h"

#include <gtest/gtest.h>

#include "platform/foundation/process_info.h"
#include "widget/palette.h"
#include "widget/today/entry_view.h"
#include "widget/voice/entry_view.h"
#include "widget/voice/provider.h"

namespace brisklane {
namespace {

Date fixedMoment() {
  return Date::fromTimeIntervalSince1970(1'800'000'000.5);
}

class VoiceProviderTest : public ::testing::Test {
 protected:
  VoiceProviderTest() { setClock(&fixedMoment); }
  ~VoiceProviderTest() override { setClock(nullptr); }
};

// The snapshot is asked through the bundle's erased configuration, as the
// host asks it; the extension's commands carry the other answers through it.
TEST_F(VoiceProviderTest, AnswersOnceWithOneEntryDatedNowThatNeverReloads) {
  int calls = 0;
  VoiceProvider{}.getTimeline(TimelineProviderContext{}, [&](Timeline<VoiceEntry> timeline) {
    ++calls;
    ASSERT_EQ(timeline.entries.size(), 1u);
    EXPECT_EQ(timeline.entries[0].date, fixedMoment());
    EXPECT_EQ(timeline.policy, TimelineReloadPolicy::never());
  });
  const WidgetConfiguration voice = BrisklaneWidgetBundle{}.body().at(1);
  voice.getSnapshot(
      TimelineProviderContext{.family = WidgetFamily::accessoryInline, .isPreview = true},
      [&](AnyEntry entry) {
        ++calls;
        const auto* voiceEntry = std::any_cast<VoiceEntry>(&entry.value);
        ASSERT_NE(voiceEntry, nullptr);
        EXPECT_EQ(voiceEntry->date, fixedMoment());
      });
  EXPECT_EQ(calls, 2) << "each completion runs once, before its call returns";
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
    for (const auto& [content, color] :
         {std::pair{today.content(TodayEntry{.date = Date::now(), .payload = samplePayload()}),
                    backgroundColor()},
          std::pair{voice.content(VoiceEntry{.date = Date::now()}), Color::clear}}) {
      const auto* modifier = content.as<ContainerBackgroundModifier>();
      EXPECT_EQ(modifier != nullptr, background) << "asked on every call";
      if (modifier) {
        EXPECT_EQ(modifier->color, color);
        EXPECT_EQ(modifier->placement, ContainerBackgroundPlacement::widget);
      }
    }
  }
}

}  // namespace
}  // namespace brisklane
