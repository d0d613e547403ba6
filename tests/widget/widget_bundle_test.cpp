#include "widget/widget_bundle.h"

#include <gtest/gtest.h>

#include "platform/foundation/process_info.h"
#include "tests/support/temporary_device.h"
#include "widget/today/entry_view.h"
#include "widget/today/palette.h"
#include "widget/voice/entry_view.h"

namespace brisklane {
namespace {

using Families = std::vector<WidgetFamily>;

TEST(WidgetBundle, DeclaresTheTodayWidgetThenTheVoiceWidget) {
  std::vector<WidgetConfiguration> widgets = BrisklaneWidgetBundle{}.body();
  ASSERT_EQ(widgets.size(), 2u);
  EXPECT_EQ(widgets[0].kind, "BrisklaneWidget");
  EXPECT_EQ(widgets[0].kind.size(), 15u);
  EXPECT_EQ(widgets[1].kind, "BrisklaneVoiceWidget");
  EXPECT_EQ(widgets[1].kind.size(), 20u);
  EXPECT_EQ(BrisklaneWidget{}.kind, widgets[0].kind);
  EXPECT_EQ(VoiceWidget{}.kind, widgets[1].kind);
}

TEST(WidgetBundle, OffersEachWidgetInItsFamiliesInOrder) {
  std::vector<WidgetConfiguration> widgets = BrisklaneWidgetBundle{}.body();
  ASSERT_EQ(widgets.size(), 2u);
  EXPECT_EQ(widgets[0].supportedFamilies,
            (Families{WidgetFamily::systemSmall, WidgetFamily::systemMedium}));
  EXPECT_EQ(widgets[1].supportedFamilies,
            (Families{WidgetFamily::accessoryCircular, WidgetFamily::accessoryInline,
                      WidgetFamily::systemSmall}));
}

TEST(WidgetBundle, HandsTheDisplayTextsOverAsKeysByteExactly) {
  StaticConfiguration<Provider> today = BrisklaneWidget{}.body();
  StaticConfiguration<VoiceProvider> voice = VoiceWidget{}.body();
  EXPECT_EQ(today.displayName, (LocalizedStringKey{"Brisklane \xE2\x80\x94 Today", std::nullopt}));
  EXPECT_EQ(today.displayName.key.size(), 19u);
  EXPECT_EQ(today.description.key, "The most urgent tasks due right now.");
  EXPECT_EQ(today.description.key.size(), 36u);
  EXPECT_EQ(voice.displayName,
            (LocalizedStringKey{"Brisklane \xE2\x80\x94 Voice add", std::nullopt}));
  EXPECT_EQ(voice.displayName.key.size(), 23u);
  EXPECT_EQ(voice.description.key, "Tap to add a task by voice.");
  EXPECT_EQ(voice.description.key.size(), 27u);
  EXPECT_FALSE(today.description.argument);
}

TEST(WidgetBundle, EveryBodyCallGivesAnEqualDeclaration) {
  auto first = BrisklaneWidgetBundle{}.body();
  auto second = BrisklaneWidgetBundle{}.body();
  ASSERT_EQ(first.size(), second.size());
  for (std::size_t index = 0; index < first.size(); ++index) {
    EXPECT_EQ(first[index].kind, second[index].kind);
    EXPECT_EQ(first[index].displayName, second[index].displayName);
    EXPECT_EQ(first[index].description, second[index].description);
    EXPECT_EQ(first[index].supportedFamilies, second[index].supportedFamilies);
  }
}

// The content function's version test, against the process's simulated
// system version, which each test sets and then restores.
class ContentFunction : public ::testing::Test {
 protected:
  ~ContentFunction() override { setOperatingSystemVersion(defaultOperatingSystemVersion); }

  static View todayContent() {
    return BrisklaneWidget{}.body().content(
        TodayEntry{.date = Date::now(), .payload = samplePayload()});
  }
  static View voiceContent() {
    return VoiceWidget{}.body().content(VoiceEntry{.date = Date::now()});
  }
};

// The entry view, with nothing attached, as an environment reader of `type`.
void expectBareEntryView(const View& view, std::string_view type) {
  const auto* reader = view.as<EnvironmentReader>();
  ASSERT_NE(reader, nullptr) << "got " << kindName(view.node());
  EXPECT_EQ(reader->typeName, type);
}

void expectContainerBackground(const View& view, const Color& color, std::string_view type) {
  const auto* background = view.as<ContainerBackgroundModifier>();
  ASSERT_NE(background, nullptr) << "got " << kindName(view.node());
  EXPECT_EQ(background->color, color);
  EXPECT_EQ(background->placement, ContainerBackgroundPlacement::widget);
  expectBareEntryView(background->content, type);
}

TEST_F(ContentFunction, ReturnsTheBareEntryViewBeforeSeventeen) {
  for (OperatingSystemVersion version :
       {OperatingSystemVersion{16, 0, 0}, OperatingSystemVersion{16, 4, 0},
        OperatingSystemVersion{16, 65535, 65535}}) {
    SCOPED_TRACE(version.text());
    setOperatingSystemVersion(version);
    expectBareEntryView(todayContent(), "BrisklaneWidgetEntryView");
    expectBareEntryView(voiceContent(), "VoiceWidgetEntryView");
  }
}

TEST_F(ContentFunction, AttachesTheContainerBackgroundFromSeventeenExactly) {
  for (OperatingSystemVersion version :
       {OperatingSystemVersion{17, 0, 0}, OperatingSystemVersion{17, 0, 1},
        OperatingSystemVersion{17, 4, 0}, OperatingSystemVersion{18, 0, 0}}) {
    SCOPED_TRACE(version.text());
    setOperatingSystemVersion(version);
    expectContainerBackground(todayContent(), backgroundColor(), "BrisklaneWidgetEntryView");
    expectContainerBackground(voiceContent(), Color::clear, "VoiceWidgetEntryView");
  }
  EXPECT_EQ(backgroundColor(), Color::sRGB(0.059, 0.106, 0.176, 1.0));
  EXPECT_EQ(Color::clear.opacity, 0.0);
}

TEST_F(ContentFunction, AsksForTheVersionOnEveryCall) {
  auto configuration = BrisklaneWidget{}.body();
  TodayEntry entry{.date = Date::now(), .payload = samplePayload()};
  setOperatingSystemVersion({17, 0, 0});
  EXPECT_NE(configuration.content(entry).as<ContainerBackgroundModifier>(), nullptr);
  setOperatingSystemVersion({16, 4, 0});
  EXPECT_EQ(configuration.content(entry).as<ContainerBackgroundModifier>(), nullptr);
}

TEST_F(ContentFunction, LeavesTheFamilyToTheEnvironment) {
  setOperatingSystemVersion({16, 0, 0});
  TodayPayload nine{.tier = "urgent", .count = 9, .items = {}};
  for (int index = 0; index < 9; ++index) nine.items.push_back(TodayItem{.title = "t"});
  View content = BrisklaneWidget{}.body().content(TodayEntry{.date = Date::now(), .payload = nine});
  View small = evaluated(content, EnvironmentValues{.widgetFamily = WidgetFamily::systemSmall});
  View medium = evaluated(content, EnvironmentValues{.widgetFamily = WidgetFamily::systemMedium});
  BrisklaneWidgetEntryView entryView{.entry = TodayEntry{.date = Date::now(), .payload = nine}};
  EXPECT_EQ(small, entryView.body(EnvironmentValues{.widgetFamily = WidgetFamily::systemSmall}));
  EXPECT_EQ(medium, entryView.body(EnvironmentValues{.widgetFamily = WidgetFamily::systemMedium}));
  EXPECT_NE(small, medium);
}

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
  EXPECT_EQ(todayEntry->payload->count, 3);

  int calls = 0;
  today.getTimeline(TimelineProviderContext{}, [&](Timeline<AnyEntry> timeline) {
    ++calls;
    ASSERT_EQ(timeline.entries.size(), 1u);
    EXPECT_TRUE(timeline.policy.reloadMoment()) << "the Today widget reloads after a while";
    EXPECT_FALSE(std::any_cast<TodayEntry>(timeline.entries[0].value).payload);
  });
  voice.getTimeline(TimelineProviderContext{}, [&](Timeline<AnyEntry> timeline) {
    ++calls;
    ASSERT_EQ(timeline.entries.size(), 1u);
    EXPECT_EQ(timeline.policy, TimelineReloadPolicy::never());
    EXPECT_NE(std::any_cast<VoiceEntry>(&timeline.entries[0].value), nullptr);
  });
  voice.getSnapshot(TimelineProviderContext{}, [&](AnyEntry entry) {
    ++calls;
    EXPECT_NE(std::any_cast<VoiceEntry>(&entry.value), nullptr);
  });
  EXPECT_EQ(calls, 3);

  EnvironmentValues inlineFamily{.widgetFamily = WidgetFamily::accessoryInline};
  AnyEntry voiceEntry = voice.placeholder(TimelineProviderContext{});
  EXPECT_EQ(evaluated(voice.content(voiceEntry), inlineFamily),
            evaluated(VoiceWidget{}.body().content(std::any_cast<VoiceEntry>(voiceEntry.value)),
                      inlineFamily));
}

}  // namespace
}  // namespace brisklane
