#include "platform/foundation/date.h"

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace brisklane {
namespace {

std::atomic<ClockFunction> replacedClock{nullptr};

}  // namespace

Date Date::now() {
  if (ClockFunction clock = replacedClock.load(std::memory_order_acquire)) return clock();
  return Date{Clock::now()};
}

void setClock(ClockFunction clock) {
  replacedClock.store(clock, std::memory_order_release);
}

Date Date::fromTimeIntervalSince1970(double seconds) {
  // Whole seconds and the fraction apart, so that a fraction such as .25
  // lands on its exact tick instead of the nearest double of the product.
  double whole = std::floor(seconds);
  auto wholeTicks = std::chrono::duration_cast<Clock::duration>(
      std::chrono::seconds(static_cast<long long>(whole)));
  auto fractionTicks =
      std::chrono::round<Clock::duration>(std::chrono::duration<double>(seconds - whole));
  return Date{Clock::time_point(wholeTicks + fractionTicks)};
}

double Date::timeIntervalSince1970() const {
  return std::chrono::duration<double>(instant.time_since_epoch()).count();
}

std::string Date::iso8601() const {
  using namespace std::chrono;
  auto moment = floor<milliseconds>(instant);
  auto day = floor<days>(moment);
  year_month_day civil{day};
  hh_mm_ss time{moment - day};
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ",
                static_cast<int>(civil.year()), static_cast<unsigned>(civil.month()),
                static_cast<unsigned>(civil.day()), static_cast<long long>(time.hours().count()),
                static_cast<long long>(time.minutes().count()),
                static_cast<long long>(time.seconds().count()),
                static_cast<long long>(time.subseconds().count()));
  return text;
}

std::optional<Date> Date::fromIso8601(std::string_view text) {
  // "YYYY-MM-DDTHH:MM:SSZ" or "YYYY-MM-DDTHH:MM:SS.mmmZ", nothing else.
  if (text.size() != 20 && text.size() != 24) return std::nullopt;
  if (text.back() != 'Z' || (text.size() == 24 && text[19] != '.')) return std::nullopt;
  auto number = [&](size_t at, size_t length) -> std::optional<int> {
    int value = 0;
    auto [end, error] = std::from_chars(text.data() + at, text.data() + at + length, value);
    if (error != std::errc{} || end != text.data() + at + length) return std::nullopt;
    return value;
  };
  constexpr std::string_view separators = "--T::";
  constexpr size_t separatorPositions[] = {4, 7, 10, 13, 16};
  for (size_t i = 0; i < separators.size(); ++i) {
    if (text[separatorPositions[i]] != separators[i]) return std::nullopt;
  }
  auto year = number(0, 4), month = number(5, 2), day = number(8, 2);
  auto hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  std::optional<int> millisecond = text.size() == 24 ? number(20, 3) : 0;
  if (!year || !month || !day || !hour || !minute || !second || !millisecond || *hour > 23 ||
      *minute > 59 || *second > 59) {
    return std::nullopt;
  }
  using namespace std::chrono;
  auto civil = year_month_day{std::chrono::year{*year}, std::chrono::month{unsigned(*month)},
                              std::chrono::day{unsigned(*day)}};
  if (!civil.ok()) return std::nullopt;
  auto moment = sys_days{civil} + hours{*hour} + minutes{*minute} + seconds{*second} +
                milliseconds{*millisecond};
  // The clock counts in units fine enough that its range spans only some
  // centuries either side of 1970; a moment outside it is no date of its.
  constexpr auto latest = duration_cast<milliseconds>(Clock::duration::max());
  if (moment.time_since_epoch() >= latest || moment.time_since_epoch() <= -latest) {
    return std::nullopt;
  }
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
