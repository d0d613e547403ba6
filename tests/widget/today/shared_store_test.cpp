// The store's two reads and the provider that answers with them.
#include "widget/today/shared_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "platform/foundation/user_defaults.h"
#include "tests/support/temporary_device.h"
#include "widget/app_group.h"
#include "widget/palette.h"
#include "widget/today/provider.h"

namespace brisklane {
namespace {

using testing::StoreFault;
using testing::StoreFaultInjection;
using testing::TemporaryDevice;

void store(std::string_view key, std::string_view value) {
  auto defaults = UserDefaults::open(appGroupIdentifier);
  ASSERT_TRUE(defaults);
  ASSERT_TRUE(defaults->set(value, key));
}

TEST(LoadPayload, ReadsThePublishedSummaryAndEveryFailureLeavesTheStoreAlone) {
  TemporaryDevice device;
  EXPECT_FALSE(loadPayload());
  store(todayKey, R"({"tier":"urgent","count":3,"items":[{"title":"x"}]})");
  EXPECT_EQ(loadPayload().value().count, 3);

  const std::string broken = R"({"count":"3","items":[]})";
  store(todayKey, broken);
  EXPECT_FALSE(loadPayload());
  EXPECT_EQ(UserDefaults::open(appGroupIdentifier)->string(todayKey), broken);
  store(todayKey, R"({"count":1,"items":[]})");
  for (StoreFault fault : {StoreFault::read, StoreFault::open}) {
    StoreFaultInjection injected(fault);
    EXPECT_FALSE(loadPayload());
  }
  EXPECT_TRUE(loadPayload());  // each call starts afresh
}

TEST(LinkStatus, TellsTheThreeStatesOfTheStoreByteExactly) {
  TemporaryDevice device;
  EXPECT_EQ(linkStatus(), "App can't share data");
  store(todayKey, R"({"count":1,"items":[]})");
  EXPECT_EQ(linkStatus(), "App can't share data");  // "today" is not looked at
  store(todayKey, "");
  store(diagKey, "loaded @1765132200");
  EXPECT_EQ(linkStatus(), "Linked \xe2\x9c\x93 \xe2\x80\x94 reopen app");
  StoreFaultInjection fault(StoreFault::open);
  EXPECT_EQ(linkStatus(), "No App Group (widget)");
}

TEST(TierVocabulary, OnlyTheExactWordsSelectUrgentAndImportant) {
  const std::tuple<std::optional<std::string>, std::string_view, const Color*> cases[] = {
      {"urgent", "URGENT", &urgentColor()},      {"important", "IMPORTANT", &importantColor()},
      {std::nullopt, "ALL CLEAR", &calmColor()}, {"", "ALL CLEAR", &calmColor()},
      {"later", "ALL CLEAR", &calmColor()},      {"Urgent", "ALL CLEAR", &calmColor()},
      {"important ", "ALL CLEAR", &calmColor()},
  };
  for (const auto& [tier, label, color] : cases) {
    EXPECT_EQ(tierLabel(tier), label) << tier.value_or("<absent>");
    EXPECT_EQ(&tierColor(tier), color) << tier.value_or("<absent>");
  }
}

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

// The sample it shows is the extension's test (a view of the placeholder).
TEST_F(ProviderTest, PlaceholderShowsTheSampleAndNeverTouchesTheStore) {
  TodayEntry entry = Provider{}.placeholder({});
  EXPECT_TRUE(entry.payload);
  EXPECT_EQ(entry.date.timeIntervalSince1970(), 1'765'000'000.0);
  EXPECT_EQ(clockReadings, 1);
  // Opening the store would have created it on this fresh device.
  EXPECT_FALSE(std::filesystem::exists(device.root() / "AppGroup"));
}

// That each timeline reads the store afresh, the home screen's rounds show.
TEST_F(ProviderTest, TimelineReadsTheStoreAndReloadsThirtyMinutesAfterTheSecondReading) {
  store(todayKey, R"({"tier":"important","count":1,"items":[{"title":"first"}]})");
  Timeline<TodayEntry> first = timeline();
  ASSERT_EQ(first.entries.size(), 1u);
  EXPECT_EQ(first.entries[0].date.timeIntervalSince1970(), 1'765'000'000.0);
  EXPECT_EQ(first.entries[0].payload->items[0].title, "first");
  ASSERT_TRUE(first.policy.reloadMoment());
  EXPECT_EQ(first.policy.reloadMoment()->timeIntervalSince1970(), 1'765'000'001.0 + 1800.0);
  EXPECT_EQ(clockReadings, 2);
}

TEST_F(ProviderTest, SnapshotAndTimelineCarryNoPayloadWhenNoneIsValidOrNoStoreIsThere) {
  store(todayKey, R"({"count":2.5,"items":[]})");
  int calls = 0;
  Provider{}.getSnapshot({.family = WidgetFamily::systemMedium, .isPreview = true},
                         [&](const TodayEntry& entry) {
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
