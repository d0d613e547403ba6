// When the system delivers a notification: the trigger of a notification
// request, read from the "schedule" the application gave with it, and the
// next moment it fires. A notification without a schedule is delivered at
// once; one "at" a moment, then, when it repeats "every" interval, after
// each interval ("count" of them) from there; one "on" date components
// (local time, as the phone's calendar has it) at the next moment that
// matches them all, again at each following one when it "repeats".
//
//   {"at":"2026-12-10T12:00:00.000Z"}   {"every":"day","count":2}
//   {"on":{"hour":8,"minute":30},"repeats":true}   {"at":"...","every":"week"}
#pragma once

#include <nlohmann/json.hpp>
#include <optional>

#include "base/enum_names.h"
#include "base/result.h"
#include "platform/foundation/date.h"

namespace brisklane {

enum class RepeatInterval { year, month, twoWeeks, week, day, hour, minute, second };
template <>
inline constexpr auto enumNames<RepeatInterval> = namesThrough<RepeatInterval::second>(
    {"year", "month", "two-weeks", "week", "day", "hour", "minute", "second"});

// Calendar components to match; a component left out matches any value.
// Weekday 1 is Sunday, as on the phone.
struct DateComponents {
  std::optional<int> year, month, day, weekday, hour, minute, second;

  friend bool operator==(const DateComponents&, const DateComponents&) = default;
};

struct NotificationTrigger {
  std::optional<Date> at;
  std::optional<RepeatInterval> every;
  int count = 1;  // intervals between two deliveries
  std::optional<DateComponents> on;
  bool repeats = false;  // for `on`: again at each following match

  friend bool operator==(const NotificationTrigger&, const NotificationTrigger&) = default;
};

// The trigger `schedule` describes (absent: delivered at once), or why it
// describes none.
Result<NotificationTrigger> decodeNotificationTrigger(const nlohmann::ordered_json* schedule);

// The first moment the trigger fires for a request made at `now`; nothing
// when it never does (its moment has passed, or no date matches).
[[nodiscard]] std::optional<Date> firstTriggerDate(const NotificationTrigger& trigger, Date now);
// The moment after `delivered` at which a repeating trigger fires again;
// nothing for one that fires once.
[[nodiscard]] std::optional<Date> nextTriggerDate(const NotificationTrigger& trigger,
                                                  Date delivered);

}  // namespace brisklane
