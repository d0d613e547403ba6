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
  EXPECT_EQ(entry.payload->items, (std::vector<TodayItem>{{"Envoyer galerie", "Mariage"}}));
  EXPECT_EQ(entry.date.timeIntervalSince1970(), 1'765'000'000.0);
  EXPECT_EQ(clockReadings, 1);
  // Opening the store would have created it on this fresh device.
  EXPECT_FALSE(std::filesystem::exists(device.root() / "AppGroup"));
}

TEST_F(ProviderTest, TimelineReadsTheStoreAfreshAndReloadsThirtyMinutesAfterTheSecondReading) {
  publish(R"({"tier":"important","count":1,"items":[{"title":"first"}]})");
  Timeline<TodayEntry> first = timeline();
  ASSERT_EQ(first.entries.size(), 1u);
  EXPECT_EQ(first.entries[0].date.timeIntervalSince1970(), 1'765'000'000.0);
  EXPECT_EQ(first.entries[0].payload->items[0].title, "first");
  ASSERT_TRUE(first.policy.reloadMoment());
  EXPECT_EQ(first.policy.reloadMoment()->timeIntervalSince1970(), 1'765'000'001.0 + 1800.0);
  EXPECT_EQ(clockReadings, 2);

  publish(R"({"count":2,"items":[{"title":"second"}]})");
  EXPECT_EQ(timeline().entries[0].payload->items[0].title, "second");
}

TEST_F(ProviderTest, SnapshotAndTimelineCarryNoPayloadWhenNoneIsValidOrNoStoreIsThere) {
  publish(R"({"count":2.5,"items":[]})");
  int calls = 0;
  Provider{}.getSnapshot({.family = WidgetFamily::systemMedium, .isPreview = true},
                         [&](TodayEntry entry) {
                           ++calls;
                           EXPECT_FALSE(entry.payload);
                         });
  EXPECT_EQ(calls, 1);
  for (bool storeThere : {true, false}) {
    if (!storeThere) ::setenv("BRISKLANE_HOME", "/dev/null/below", 1);
    Timeline<TodayEntry> answer = timeline();
    ASSERT_EQ(answer.entries.size(), 1u);
    EXPECT_FALSE(answer.entries[0].payload);
    EXPECT_TRUE(answer.policy.reloadMoment());  // never `.never`
  }
}

}  // namespace
}  // namespace brisklane
