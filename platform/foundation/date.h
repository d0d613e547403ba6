// Foundation's Date and Calendar, as far as the system uses them: the present
// moment, seconds since 1970, and adding minutes in the current calendar.
//
// The clock can be replaced for the whole process (tests, and a host that
// moves time forward); the replacement is a plain function pointer held in an
// atomic, so reading the clock stays lock-free and safe from any thread.
#pragma once

#include <chrono>
#include <compare>
#include <optional>
#include <string>

namespace brisklane {

struct Date {
  using Clock = std::chrono::system_clock;
  Clock::time_point instant;

  // The moment the clock reads now (`Date()`).
  [[nodiscard]] static Date now();
  [[nodiscard]] static Date fromTimeIntervalSince1970(double seconds);

  [[nodiscard]] double timeIntervalSince1970() const;
  // ISO 8601 in UTC with milliseconds, e.g. "2026-12-07T18:30:00.250Z".
  [[nodiscard]] std::string iso8601() const;
  // Parses the form `iso8601` writes, with or without the fraction; nothing on
  // any other text, or on a moment beyond the clock's range.
  [[nodiscard]] static std::optional<Date> fromIso8601(std::string_view text);

  friend auto operator<=>(const Date&, const Date&) = default;
};

// Replaces the process's clock; nullptr restores the system clock.
using ClockFunction = Date (*)();
void setClock(ClockFunction clock);

enum class CalendarComponent { minute };

// `Calendar.current`: the Gregorian calendar, in which a minute is always sixty
// seconds of the clock.
struct Calendar {
  [[nodiscard]] static Calendar current() { return {}; }
  // The moment `value` units after `date`, or nothing when it is out of range.
  [[nodiscard]] std::optional<Date> date(CalendarComponent byAdding, long long value,
                                         Date to) const;
};

}  // namespace brisklane
