#include "platform/foundation/date.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/foundation/process_info.h"

namespace brisklane {
namespace {

TEST(Calendar, AddsMinutesAsSixtySecondsEachAndGivesNothingPastTheEndOfTime) {
  Date start = Date::fromTimeIntervalSince1970(1'765'000'000.25);
  auto later = Calendar::current().date(CalendarComponent::minute, 30, start);
  ASSERT_TRUE(later.has_value());
  EXPECT_DOUBLE_EQ(later->timeIntervalSince1970() - start.timeIntervalSince1970(), 1800.0);
  Date end{Date::Clock::time_point::max()};
  EXPECT_FALSE(Calendar::current().date(CalendarComponent::minute, 30, end).has_value());
  EXPECT_FALSE(Calendar::current()
                   .date(CalendarComponent::minute, std::numeric_limits<long long>::max(), Date{})
                   .has_value());
}

TEST(Date, WritesAndReadsIso8601InUtc) {
  Date moment = Date::fromTimeIntervalSince1970(1'765'132'200.25);
  EXPECT_EQ(moment.iso8601(), "2025-12-07T18:30:00.250Z");
  EXPECT_EQ(Date::fromIso8601("2025-12-07T18:30:00.250Z"), moment);
  EXPECT_EQ(Date::fromIso8601("2025-12-07T18:30:00Z"),
            Date::fromTimeIntervalSince1970(1'765'132'200));
  EXPECT_EQ(Date::fromTimeIntervalSince1970(-0.5).iso8601(), "1969-12-31T23:59:59.500Z");
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
