#include "host/home/host_clock.h"

#include <atomic>
#include <cstdint>

#include "platform/foundation/date.h"

namespace brisklane {
namespace {

std::atomic<std::int64_t> offsetSeconds{0};

Date hostNow() {
  return Date{Date::Clock::now() +
              std::chrono::seconds(offsetSeconds.load(std::memory_order_relaxed))};
}

}  // namespace

void installHostClock() {
  offsetSeconds.store(0, std::memory_order_relaxed);
  setClock(&hostNow);
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
