#include "platform/foundation/date.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/foundation/process_info.h"

namespace brisklane {
namespace {

// Adding minutes is the timeline's reload test; here, the end of time.
TEST(Calendar, GivesNothingPastTheEndOfTime) {
  Date end{Date::Clock::time_point::max()};
  EXPECT_FALSE(Calendar::current().date(CalendarComponent::minute, 30, end).has_value());
  EXPECT_FALSE(Calendar::current()
                   .date(CalendarComponent::minute, std::numeric_limits<long long>::max(), Date{})
                   .has_value());
}

// Reading the form back serves only the tests, which lean on it throughout.
TEST(Date, WritesIso8601InUtcToTheMillisecond) {
  EXPECT_EQ(Date::fromTimeIntervalSince1970(1'765'132'200.25).iso8601(),
            "2025-12-07T18:30:00.250Z");
  EXPECT_EQ(Date::fromTimeIntervalSince1970(-0.5).iso8601(), "1969-12-31T23:59:59.500Z");
  // A page's dates reach it too (notification schedules): the clock's range
  // ends some centuries either side of 1970.
  EXPECT_EQ(Date::fromIso8601("2200-01-01T00:00:00Z")->iso8601(), "2200-01-01T00:00:00.000Z");
  EXPECT_FALSE(Date::fromIso8601("1010-11-07T00:00:00Z"));
  EXPECT_FALSE(Date::fromIso8601("6279-01-01T00:00:00.000Z"));
}

// The comparison is the defaulted one; where the 16.4 and 17 thresholds
// switch behaviour, the plug-in's and the widget's tests check.
TEST(OperatingSystemVersion, ParsesOneToThreeNumbers) {
  EXPECT_EQ(OperatingSystemVersion::parse("16"), (OperatingSystemVersion{16, 0, 0}));
  EXPECT_EQ(OperatingSystemVersion::parse("16.4"), (OperatingSystemVersion{16, 4, 0}));
  EXPECT_EQ(OperatingSystemVersion::parse("17.0.1"), (OperatingSystemVersion{17, 0, 1}));
  for (const char* bad : {"", "16.", ".4", "16.4.1.2", "v17", "17.-1", "17.0x", "70000"}) {
    EXPECT_FALSE(OperatingSystemVersion::parse(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace brisklane
