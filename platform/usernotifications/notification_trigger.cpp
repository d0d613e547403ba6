#include "platform/usernotifications/notification_trigger.h"

#include <ctime>
#include <limits>

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;

// Whole seconds since 1970 as the calendar's arithmetic takes them.
std::time_t secondsOf(Date moment) {
  return std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::seconds>(moment.instant));
}
// The moment `seconds` after 1970 with `rest` below a second; nothing
// beyond the clock's range, which spans some centuries either side of 1970.
std::optional<Date> momentOfSeconds(long long seconds,
                                    Date::Clock::duration rest = Date::Clock::duration::zero()) {
  constexpr long long latest =
      std::chrono::duration_cast<std::chrono::seconds>(Date::Clock::duration::max()).count() - 1;
  if (seconds >= latest || seconds <= -latest) return std::nullopt;
  return Date{std::chrono::system_clock::from_time_t(static_cast<std::time_t>(seconds)) + rest};
}

std::optional<std::tm> localCalendar(std::time_t seconds) {
  std::tm fields{};
  if (::localtime_r(&seconds, &fields) == nullptr) return std::nullopt;
  return fields;
}
std::optional<std::time_t> fromLocalCalendar(std::tm fields) {
  fields.tm_isdst = -1;
  const std::time_t seconds = std::mktime(&fields);
  if (seconds == static_cast<std::time_t>(-1)) return std::nullopt;
  return seconds;
}

// The component named `key` of `on` within its range; nothing when left out.
Result<std::optional<int>> component(const Json& on, const char* key, int lowest, int highest) {
  auto found = on.find(key);
  if (found == on.end()) return std::optional<int>();
  if (!found->is_number_integer() || found->get<std::int64_t>() < lowest ||
      found->get<std::int64_t>() > highest) {
    return Failure{std::string("schedule.on.") + key + " must be a whole number from " +
                   std::to_string(lowest) + " to " + std::to_string(highest)};
  }
  return std::optional<int>(found->get<int>());
}

Result<DateComponents> decodeComponents(const Json& on) {
  if (!on.is_object()) return Failure{"schedule.on must be an object"};
  struct Range {
    std::optional<int> DateComponents::*field;
    const char* key;
    int lowest, highest;
  };
  constexpr Range ranges[] = {
      {&DateComponents::year, "year", 1970, 9999}, {&DateComponents::month, "month", 1, 12},
      {&DateComponents::day, "day", 1, 31},        {&DateComponents::weekday, "weekday", 1, 7},
      {&DateComponents::hour, "hour", 0, 23},      {&DateComponents::minute, "minute", 0, 59},
      {&DateComponents::second, "second", 0, 59}};
  DateComponents components;
  for (const Range& range : ranges) {
    auto value = component(on, range.key, range.lowest, range.highest);
    if (!value) return Failure{value.reason()};
    components.*range.field = *value;
  }
  return components;
}

bool matchesDay(const DateComponents& on, const std::tm& day) {
  return (!on.year || *on.year == day.tm_year + 1900) &&
         (!on.month || *on.month == day.tm_mon + 1) && (!on.day || *on.day == day.tm_mday) &&
         (!on.weekday || *on.weekday == day.tm_wday + 1);
}

// The first moment after `after` whose local date and time match `on`: the
// days from `after`'s on, for eight years (a 29 February comes within
// them), and in a matching day the times in order.
std::optional<Date> nextMatch(const DateComponents& on, Date after) {
  const std::time_t start = secondsOf(after);
  auto today = localCalendar(start);
  if (!today) return std::nullopt;
  constexpr int daysSearched = 8 * 366;
  for (int offset = 0; offset < daysSearched; ++offset) {
    std::tm day = *today;
    day.tm_mday += offset;
    day.tm_hour = 12;  // a time every day has, whatever its clock change
    day.tm_min = day.tm_sec = 0;
    auto noon = fromLocalCalendar(day);
    if (!noon) return std::nullopt;
    auto normal = localCalendar(*noon);
    if (!normal || !matchesDay(on, *normal)) continue;
    for (int hour = on.hour.value_or(0); hour <= on.hour.value_or(23); ++hour) {
      for (int minute = on.minute.value_or(0); minute <= on.minute.value_or(59); ++minute) {
        std::tm moment = *normal;
        moment.tm_hour = hour;
        moment.tm_min = minute;
        moment.tm_sec = on.second.value_or(0);
        auto seconds = fromLocalCalendar(moment);
        if (seconds && *seconds > start) return momentOfSeconds(*seconds);
      }
    }
  }
  return std::nullopt;
}

// `count` intervals after `from`: calendar days, months and years in local
// time (a day across a clock change is 23 or 25 hours), hours and less as
// the clock counts them.
std::optional<Date> afterIntervals(RepeatInterval every, int count, Date from) {
  const std::time_t start = secondsOf(from);
  const auto rest = from.instant - std::chrono::system_clock::from_time_t(start);
  auto fields = localCalendar(start);
  if (!fields) return std::nullopt;
  switch (every) {
    case RepeatInterval::year:
      fields->tm_year += count;
      break;
    case RepeatInterval::month:
      fields->tm_mon += count;
      break;
    case RepeatInterval::twoWeeks:
      fields->tm_mday += 14 * count;
      break;
    case RepeatInterval::week:
      fields->tm_mday += 7 * count;
      break;
    case RepeatInterval::day:
      fields->tm_mday += count;
      break;
    case RepeatInterval::hour:
      return momentOfSeconds(start + 3600LL * count, rest);
    case RepeatInterval::minute:
      return momentOfSeconds(start + 60LL * count, rest);
    case RepeatInterval::second:
      return momentOfSeconds(start + count, rest);
  }
  auto seconds = fromLocalCalendar(*fields);
  if (!seconds) return std::nullopt;
  return momentOfSeconds(*seconds, rest);
}

}  // namespace

Result<NotificationTrigger> decodeNotificationTrigger(const Json* schedule) {
  NotificationTrigger trigger;
  if (schedule == nullptr) return trigger;
  if (!schedule->is_object()) return Failure{"schedule must be an object"};
  if (auto at = schedule->find("at"); at != schedule->end()) {
    auto moment = at->is_string() ? Date::fromIso8601(at->get<std::string>()) : std::nullopt;
    if (!moment) return Failure{"schedule.at must be a date"};
    trigger.at = moment;
  }
  if (auto every = schedule->find("every"); every != schedule->end()) {
    trigger.every =
        every->is_string() ? named<RepeatInterval>(every->get<std::string>()) : std::nullopt;
    if (!trigger.every) {
      return Failure{
          "schedule.every must be one of year, month, two-weeks, week, day, hour, "
          "minute, second"};
    }
  }
  if (auto count = schedule->find("count"); count != schedule->end()) {
    if (!count->is_number_integer() || count->get<std::int64_t>() < 1 ||
        count->get<std::int64_t>() > 1000000) {
      return Failure{"schedule.count must be a whole number from 1 to 1000000"};
    }
    trigger.count = count->get<int>();
  }
  if (auto on = schedule->find("on"); on != schedule->end()) {
    auto components = decodeComponents(*on);
    if (!components) return Failure{components.reason()};
    trigger.on = *components;
  }
  if (auto repeats = schedule->find("repeats"); repeats != schedule->end()) {
    if (!repeats->is_boolean()) return Failure{"schedule.repeats must be true or false"};
    trigger.repeats = repeats->get<bool>();
  }
  if (trigger.on && (trigger.at || trigger.every)) {
    return Failure{"schedule.on cannot be given with schedule.at or schedule.every"};
  }
  return trigger;
}

std::optional<Date> firstTriggerDate(const NotificationTrigger& trigger, Date now) {
  if (trigger.on) return nextMatch(*trigger.on, now);
  if (trigger.at) {
    if (*trigger.at <= now) return std::nullopt;
    return trigger.at;
  }
  if (trigger.every) return afterIntervals(*trigger.every, trigger.count, now);
  return now;
}

std::optional<Date> nextTriggerDate(const NotificationTrigger& trigger, Date delivered) {
  if (trigger.on) return trigger.repeats ? nextMatch(*trigger.on, delivered) : std::nullopt;
  if (trigger.every) return afterIntervals(*trigger.every, trigger.count, delivered);
  return std::nullopt;
}

}  // namespace brisklane
