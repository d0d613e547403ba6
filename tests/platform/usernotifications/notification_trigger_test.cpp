#include "platform/usernotifications/notification_trigger.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

namespace brisklane {
namespace {

Date dateAt(std::string_view iso) {
  return *Date::fromIso8601(iso);
}

NotificationTrigger triggerOf(std::string_view schedule) {
  const auto json = nlohmann::ordered_json::parse(schedule);
  auto trigger = decodeNotificationTrigger(&json);
  EXPECT_TRUE(trigger) << schedule;
  return trigger ? *trigger : NotificationTrigger{};
}

// The calendar is the local one; these run in a zone with a clock change.
class NotificationTriggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
  }
  void TearDown() override {
    ::unsetenv("TZ");
    ::tzset();
  }
};

TEST_F(NotificationTriggerTest, RepeatsEveryIntervalFromTheLastDeliveryInLocalTime) {
  const Date now = dateAt("2026-03-28T09:00:00.000Z");  // 10:00 in Berlin, before the change
  const auto daily = triggerOf(R"({"every":"day"})");
  const auto first = firstTriggerDate(daily, now);
  ASSERT_TRUE(first);
  // The clocks went forward in the night: a day later is 23 hours on.
  EXPECT_EQ(first->iso8601(), "2026-03-29T08:00:00.000Z");
  EXPECT_EQ(nextTriggerDate(daily, *first)->iso8601(), "2026-03-30T08:00:00.000Z");
  EXPECT_EQ(firstTriggerDate(triggerOf(R"({"every":"minute","count":30})"), now)->iso8601(),
            "2026-03-28T09:30:00.000Z");
}

TEST_F(NotificationTriggerTest, FiresOnTheNextMatchingDateAndAgainOnlyWhenItRepeats) {
  const Date now = dateAt("2026-12-10T12:00:00.000Z");  // a Thursday, 13:00 in Berlin
  // Mondays at 9:30.
  const auto monday = triggerOf(R"({"on":{"weekday":2,"hour":9,"minute":30},"repeats":true})");
  const auto first = firstTriggerDate(monday, now);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->iso8601(), "2026-12-14T08:30:00.000Z");
  EXPECT_EQ(nextTriggerDate(monday, *first)->iso8601(), "2026-12-21T08:30:00.000Z");
  const auto once = triggerOf(R"({"on":{"minute":15}})");
  EXPECT_EQ(firstTriggerDate(once, now)->iso8601(), "2026-12-10T12:15:00.000Z");
  EXPECT_FALSE(nextTriggerDate(once, *firstTriggerDate(once, now)));
  EXPECT_EQ(firstTriggerDate(triggerOf(R"({"on":{"month":2,"day":29}})"), now)->iso8601(),
            "2028-02-28T23:00:00.000Z");
}

TEST_F(NotificationTriggerTest, AtFiresOnceAndOnlyAheadOfNow) {
  const Date now = dateAt("2026-12-10T12:00:00.000Z");
  const auto at = triggerOf(R"({"at":"2026-12-10T12:30:00.000Z"})");
  EXPECT_EQ(firstTriggerDate(at, now)->iso8601(), "2026-12-10T12:30:00.000Z");
  EXPECT_FALSE(nextTriggerDate(at, *firstTriggerDate(at, now)));
  EXPECT_FALSE(firstTriggerDate(at, dateAt("2026-12-10T12:30:00.000Z")));
  EXPECT_EQ(firstTriggerDate(triggerOf("{}"), now), now);
}

}  // namespace
}  // namespace brisklane
