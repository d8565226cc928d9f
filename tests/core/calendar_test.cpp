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

// Dates are written digit by digit; what printf's %04d and %02d would write,
// padding included, and printf itself for parts that do not fit.
TEST(Clock, DateTextsPadEveryPartAndKeepOddParts) {
  const struct {
    DateTime when;
    const char* expected;
  } cases[] = {
      {{5, 1, 2}, "0005-01-02"},
      {{999, 12, 31, 9, 5, 7}, "0999-12-31 09:05:07"},
      {{2026, 12, 7, 0, 0, 1}, "2026-12-07 00:00:01"},
      {{9999, 10, 10, 23, 59, 59}, "9999-10-10 23:59:59"},
      {{10000, 1, 1}, "10000-01-01"},
      {{-1, 1, 1}, "-001-01-01"},
      {{2026, 1, 1, 100, 0, 0}, "2026-01-01 100:00:00"},
  };
  for (const auto& c : cases) EXPECT_EQ(date_time_text(c.when), c.expected) << c.expected;
  EXPECT_EQ(underscore_date_text({7, 3, 4}), "0007_03_04");
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
