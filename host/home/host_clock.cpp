#include "host/home/host_clock.h"

#include <atomic>
#include <cstdint>

namespace brisklane {
namespace {

std::atomic<std::int64_t> offsetSeconds{0};
// The moment a stopped clock stands at, in the clock's ticks since its epoch.
std::atomic<Date::Clock::rep> stoppedAt{0};

Date hostNow() {
  return Date{Date::Clock::now() +
              std::chrono::seconds(offsetSeconds.load(std::memory_order_relaxed))};
}

Date stoppedNow() {
  return Date{
      Date::Clock::time_point(Date::Clock::duration(stoppedAt.load(std::memory_order_relaxed))) +
      std::chrono::seconds(offsetSeconds.load(std::memory_order_relaxed))};
}

}  // namespace

void installHostClock() {
  offsetSeconds.store(0, std::memory_order_relaxed);
  setClock(&hostNow);
}

void installStoppedClock(Date moment) {
  stoppedAt.store(moment.instant.time_since_epoch().count(), std::memory_order_relaxed);
  offsetSeconds.store(0, std::memory_order_relaxed);
  setClock(&stoppedNow);
}

void moveHostClock(std::chrono::seconds offset) {
  offsetSeconds.fetch_add(offset.count(), std::memory_order_relaxed);
}

void resetHostClock() {
  offsetSeconds.store(0, std::memory_order_relaxed);
}

std::chrono::seconds hostClockOffset() {
  return std::chrono::seconds(offsetSeconds.load(std::memory_order_relaxed));
}

}  // namespace brisklane
