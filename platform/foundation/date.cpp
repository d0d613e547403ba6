#include "platform/foundation/date.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

namespace brisklane {
namespace {

std::atomic<ClockFunction> replacedClock{nullptr};

}  // namespace

Date Date::now() {
  if (ClockFunction clock = replacedClock.load(std::memory_order_acquire)) return clock();
  return Date{Clock::now()};
}

void setClock(ClockFunction clock) { replacedClock.store(clock, std::memory_order_release); }

Date Date::fromTimeIntervalSince1970(double seconds) {
  auto span = std::chrono::duration<double>(seconds);
  return Date{Clock::time_point(std::chrono::duration_cast<Clock::duration>(span))};
}

double Date::timeIntervalSince1970() const {
  return std::chrono::duration<double>(instant.time_since_epoch()).count();
}

std::string Date::iso8601() const {
  using namespace std::chrono;
  auto milliseconds = floor<std::chrono::milliseconds>(instant.time_since_epoch()).count();
  auto seconds = static_cast<std::time_t>(std::floor(static_cast<double>(milliseconds) / 1000.0));
  auto fraction = milliseconds - static_cast<long long>(seconds) * 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03lldZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, fraction);
  return text;
}

std::optional<Date> Date::fromIso8601(std::string_view text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  char zone = 0;
  int consumed = 0;
  std::string copy(text);
  if (std::sscanf(copy.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day, &hour, &minute,
                  &second, &consumed) != 6) {
    return std::nullopt;
  }
  std::string_view rest = text.substr(static_cast<size_t>(consumed));
  if (rest.size() == 5 && rest[0] == '.') {
    if (std::sscanf(copy.c_str() + consumed, ".%3d%c", &millisecond, &zone) != 2) {
      return std::nullopt;
    }
  } else if (rest == "Z") {
    zone = 'Z';
  }
  if (zone != 'Z' || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
      second > 60) {
    return std::nullopt;
  }
  using namespace std::chrono;
  auto civil = year_month_day{std::chrono::year{year}, std::chrono::month{unsigned(month)},
                              std::chrono::day{unsigned(day)}};
  if (!civil.ok()) return std::nullopt;
  auto moment = sys_days{civil} + hours{hour} + minutes{minute} + seconds{second} +
                milliseconds{millisecond};
  return Date{time_point_cast<Clock::duration>(moment)};
}

std::optional<Date> Calendar::date(CalendarComponent byAdding, long long value, Date to) const {
  switch (byAdding) {
    case CalendarComponent::minute: {
      using Ticks = Date::Clock::duration;
      constexpr long long ticksPerMinute =
          std::chrono::duration_cast<Ticks>(std::chrono::minutes{1}).count();
      long long added = 0;
      long long sum = 0;
      if (__builtin_mul_overflow(value, ticksPerMinute, &added) ||
          __builtin_add_overflow(to.instant.time_since_epoch().count(), added, &sum)) {
        return std::nullopt;
      }
      return Date{Date::Clock::time_point(Ticks(sum))};
    }
  }
  return std::nullopt;
}

}  // namespace brisklane
