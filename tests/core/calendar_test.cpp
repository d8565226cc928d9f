#include <gtest/gtest.h>

#include "core/clock.h"
#include "tests/support/fixtures.h"

namespace velmora {
namespace {

struct DayShift {
  DateTime when;
  int days;
  const char* expected;
};

TEST(Clock, CalendarArithmeticCrossesMonthYearAndLeapYearEnds) {
  const DayShift cases[] = {
      {{2027, 1, 1}, -1, "2026_12_31"}, {{2028, 3, 1}, -1, "2028_02_29"},
      {{2024, 3, 1}, -2, "2024_02_28"}, {{2025, 3, 1}, -2, "2025_02_27"},
      {{2025, 1, 1}, -2, "2024_12_30"}, {{2100, 3, 1}, -1, "2100_02_28"},
      {{2000, 3, 1}, -1, "2000_02_29"}, {{2024, 3, 6}, -1, "2024_03_05"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(underscore_date_text(add_days(c.when, c.days)), c.expected)
        << c.when.year << "-" << c.when.month << "-" << c.when.day << " " << c.days;
  }
}

TEST(Clock, TextsReadTheInstalledClock) {
  testing::FakeClock fake;
  fake.set(2026, 12, 7, 0, 30, 0);
  set_clock(&fake);
  EXPECT_EQ(today_text(), "2026-12-07");
  EXPECT_EQ(snapshot_suffix(), "2026_12_06");
  EXPECT_EQ(retention_suffix(), "2026_12_05");
  EXPECT_EQ(now_clock_text(), "00:30:00");
  fake.set(2026, 12, 7, 23, 5, 9);
  EXPECT_EQ(now_clock_text(), "23:05:09");
  set_clock(nullptr);
}

}  // namespace
}  // namespace velmora
