#include "widget/today/provider.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/foundation/user_defaults.h"
#include "tests/support/temporary_device.h"
#include "widget/app_group.h"

namespace brisklane {
namespace {

using testing::TemporaryDevice;

// A clock that moves one second on at every reading, so that each reading can
// be told apart.
std::atomic<int> clockReadings{0};
Date steppingClock() {
  return Date::fromTimeIntervalSince1970(1'765'000'000.0 + clockReadings.fetch_add(1));
}

class ProviderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clockReadings = 0;
    setClock(&steppingClock);
  }
  void TearDown() override { setClock(nullptr); }

  static void publish(std::string_view json) {
    ASSERT_TRUE(UserDefaults::open(appGroupIdentifier)->set(json, todayKey));
  }

  static Timeline<TodayEntry> timeline() {
    int calls = 0;
    std::optional<Timeline<TodayEntry>> answer;
    Provider{}.getTimeline({}, [&](Timeline<TodayEntry> value) {
      ++calls;
      answer = std::move(value);
    });
    EXPECT_EQ(calls, 1);
    return answer.value_or(Timeline<TodayEntry>{{}, TimelineReloadPolicy::never()});
  }

  TemporaryDevice device;
};

TEST_F(ProviderTest, PlaceholderShowsTheSampleAndNeverTouchesTheStore) {
  TodayEntry entry = Provider{}.placeholder({});
  ASSERT_TRUE(entry.payload);
  EXPECT_EQ(entry.payload->tier, "urgent");
  EXPECT_EQ(entry.payload->count, 3);
  ASSERT_EQ(entry.payload->items.size(), 1u);
  EXPECT_EQ(entry.payload->items[0], (TodayItem{"Envoyer galerie", "Mariage"}));
  EXPECT_FALSE(entry.payload->updatedAt);
  EXPECT_EQ(entry.date.timeIntervalSince1970(), 1'765'000'000.0);
  EXPECT_EQ(clockReadings, 1);
  // Opening the store would have created it on this fresh device.
  EXPECT_FALSE(std::filesystem::exists(device.root() / "AppGroup"));
}

TEST_F(ProviderTest, TimelineHoldsOneEntryAndReloadsThirtyMinutesAfterTheSecondReading) {
  publish(R"({"tier":"important","count":1,"items":[]})");
  Timeline<TodayEntry> answer = timeline();
  ASSERT_EQ(answer.entries.size(), 1u);
  EXPECT_EQ(answer.entries[0].date.timeIntervalSince1970(), 1'765'000'000.0);
  ASSERT_TRUE(answer.entries[0].payload);
  EXPECT_EQ(answer.entries[0].payload->tier, "important");
  ASSERT_TRUE(answer.policy.reloadMoment());
  EXPECT_EQ(answer.policy.reloadMoment()->timeIntervalSince1970(), 1'765'000'001.0 + 1800.0);
  EXPECT_EQ(clockReadings, 2);
}

TEST_F(ProviderTest, SnapshotAndTimelineCarryNoPayloadWhenNoneIsValid) {
  publish(R"({"count":2.5,"items":[]})");
  int calls = 0;
  Provider{}.getSnapshot({.family = WidgetFamily::systemMedium, .isPreview = true},
                         [&](TodayEntry entry) {
                           ++calls;
                           EXPECT_FALSE(entry.payload);
                         });
  EXPECT_EQ(calls, 1);
  Timeline<TodayEntry> answer = timeline();
  ASSERT_EQ(answer.entries.size(), 1u);
  EXPECT_FALSE(answer.entries[0].payload);
  EXPECT_TRUE(answer.policy.reloadMoment());  // never `.never`
  EXPECT_TRUE(Provider{}.placeholder({}).payload);
}

TEST_F(ProviderTest, SecondTimelineSeesWhatWasPublishedAfterTheFirst) {
  publish(R"({"count":1,"items":[{"title":"first"}]})");
  Timeline<TodayEntry> first = timeline();
  publish(R"({"count":2,"items":[{"title":"second"}]})");
  Timeline<TodayEntry> second = timeline();
  EXPECT_EQ(first.entries[0].payload->items[0].title, "first");
  EXPECT_EQ(second.entries[0].payload->items[0].title, "second");
  EXPECT_LT(first.entries[0].date, second.entries[0].date);
}

TEST_F(ProviderTest, TimelineWithoutAStoreStillAnswers) {
  ::setenv("BRISKLANE_HOME", "/dev/null/below", 1);
  Timeline<TodayEntry> answer = timeline();
  ASSERT_EQ(answer.entries.size(), 1u);
  EXPECT_FALSE(answer.entries[0].payload);
  EXPECT_TRUE(Provider{}.placeholder({}).payload);
}

}  // namespace
}  // namespace brisklane
