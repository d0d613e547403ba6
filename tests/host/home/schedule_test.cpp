// The widget host's schedule of rounds on fixed dates: which round is due and
// why, which widgets it asks for a timeline, which entry shows, and how long
// the host sleeps.
#include "host/home/schedule.h"

#include <gtest/gtest.h>

namespace brisklane {
namespace {

using namespace std::chrono_literals;

const Date startMoment = *Date::fromIso8601("2026-12-07T18:00:00Z");
Date at(Date::Clock::duration sinceStart) {
  return Date{startMoment.instant + sinceStart};
}

// As the bundle's widgets answer: Today asks again in 30 minutes, Quick-add never.
std::vector<ShownTimeline> timelinesAskedAt(Date asked) {
  return {{.id = "today", .entryDates = {asked}, .reloadMoment = Date{asked.instant + 30min}},
          {.id = "voice", .entryDates = {asked}, .reloadMoment = std::nullopt}};
}

// One round for `reason` at `now` that gives the widgets `timelines`.
void runRound(RoundSchedule& schedule, RoundReason reason, Date now,
              std::vector<ShownTimeline> timelines) {
  static_cast<void>(schedule.roundBegins(reason, now));
  schedule.roundEnded(std::move(timelines), now);
}

RoundSchedule startedSchedule() {
  RoundSchedule schedule;
  runRound(schedule, RoundReason::start, startMoment, timelinesAskedAt(startMoment));
  return schedule;
}

TEST(RoundSchedule, AReloadMomentIsServedOnceAndAsksOnlyItsWidget) {
  RoundSchedule schedule = startedSchedule();
  EXPECT_EQ(schedule.dueAt(at(30min - 1ms)), std::nullopt);
  ASSERT_EQ(schedule.dueAt(at(30min)), RoundReason::reloadMoment);

  const RoundPlan plan = schedule.roundBegins(RoundReason::reloadMoment, at(31min));
  EXPECT_TRUE(plan.asks("today"));
  EXPECT_FALSE(plan.asks("voice"));
  EXPECT_TRUE(plan.asks("placedSince")) << "a widget without a timeline is always asked";
  schedule.roundEnded(timelinesAskedAt(at(31min)), at(31min));

  EXPECT_EQ(schedule.dueAt(at(31min + 1s)), std::nullopt) << "not asked again on the next tick";
  EXPECT_EQ(schedule.nextMoment(), at(61min));
}

// A timeline that never reloads is asked again only on a request: the burst
// test's requests and the home screen's rounds check that.
TEST(RoundSchedule, AWidgetNoLongerPlacedIsForgottenAndAskedAnewWhenPlacedAgain) {
  RoundSchedule placed = startedSchedule();
  placed.placementsChanged({"voice"});
  EXPECT_TRUE(placed.roundBegins(RoundReason::settings, at(1min)).asks("today"))
      << "a widget placed again is asked anew";
  EXPECT_EQ(placed.nextMoment(), std::nullopt);
}

TEST(RoundSchedule, ABurstOfRequestsMakesOneRoundAndNoneIsLost) {
  RoundSchedule schedule = startedSchedule();
  for (int request = 0; request < 3; ++request) schedule.reloadRequested();
  EXPECT_EQ(schedule.wakeAfter(at(1min)), 0ms);
  ASSERT_EQ(schedule.dueAt(at(1min)), RoundReason::reloadAllTimelines);
  runRound(schedule, RoundReason::reloadAllTimelines, at(1min), timelinesAskedAt(at(1min)));
  EXPECT_EQ(schedule.dueAt(at(1min)), std::nullopt) << "one round served the whole burst";

  // A request that arrives while a round runs, or before a round that does
  // not ask every timeline, makes one more round.
  static_cast<void>(schedule.roundBegins(RoundReason::reloadAllTimelines, at(2min)));
  schedule.reloadRequested();
  schedule.roundEnded(timelinesAskedAt(at(2min)), at(2min));
  runRound(schedule, RoundReason::settings, at(3min), timelinesAskedAt(at(2min)));
  ASSERT_EQ(schedule.dueAt(at(3min)), RoundReason::reloadAllTimelines);
  runRound(schedule, RoundReason::reloadAllTimelines, at(3min), timelinesAskedAt(at(3min)));
  EXPECT_EQ(schedule.dueAt(at(3min)), std::nullopt);
}

TEST(RoundSchedule, LaterEntriesBecomeCurrentAtTheirDates) {
  const std::vector<Date> dates{startMoment, at(10min), at(20min)};
  const struct {
    Date now;
    std::size_t shown;
  } cases[] = {{at(-1min), 0}, {at(10min - 1ms), 0}, {at(10min), 1}, {at(25min), 2}};
  for (const auto& [now, shown] : cases)
    EXPECT_EQ(entryShownAt(dates, now), shown) << now.iso8601();

  RoundSchedule schedule;
  const std::vector<ShownTimeline> later{{.id = "later", .entryDates = dates, .reloadMoment = {}}};
  runRound(schedule, RoundReason::start, startMoment, later);
  EXPECT_EQ(schedule.nextMoment(), at(10min));
  EXPECT_EQ(schedule.wakeAfter(at(10min - 1500ms)), 1500ms);
  EXPECT_EQ(schedule.dueAt(at(10min - 1ms)), std::nullopt);
  ASSERT_EQ(schedule.dueAt(at(10min)), RoundReason::entryDate);
  EXPECT_FALSE(schedule.roundBegins(RoundReason::entryDate, at(10min)).asks("later"));

  runRound(schedule, RoundReason::entryDate, at(10min), later);
  EXPECT_EQ(schedule.nextMoment(), at(20min));
  runRound(schedule, RoundReason::entryDate, at(25min), later);
  EXPECT_EQ(schedule.nextMoment(), std::nullopt) << "the last entry stays";
  EXPECT_EQ(schedule.wakeAfter(at(25min)), std::nullopt);
}

TEST(RoundSchedule, SleepsAtMostAMinuteAndNeverBelowZero) {
  const RoundSchedule schedule = startedSchedule();  // the next moment is at 30 minutes
  const struct {
    Date now;
    std::chrono::milliseconds wait;
  } cases[] = {{startMoment, RoundSchedule::longestWait},
               {at(30min - 1500us), 2ms},
               {at(30min), 0ms},
               {at(2h), 0ms}};
  for (const auto& [now, wait] : cases) EXPECT_EQ(schedule.wakeAfter(now), wait) << now.iso8601();
}

}  // namespace
}  // namespace brisklane
