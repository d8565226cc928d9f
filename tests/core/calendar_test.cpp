#include "core/calendar.h"

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

TEST(Clock, CalendarArithmeticSpansTheWholeCalendarAndKeepsTheTime) {
  const DayShift cases[] = {
      {{1970, 1, 1}, 20000, "2024_10_04"}, {{1970, 1, 1}, -719162, "0001_01_01"},
      {{1, 1, 1}, 3652058, "9999_12_31"},  {{9999, 12, 31}, -3652058, "0001_01_01"},
      {{2026, 12, 8}, -900, "2024_06_21"}, {{2026, 12, 8}, 0, "2026_12_08"},
      {{2024, 2, 29}, 365, "2025_02_28"},  {{2024, 2, 29}, 366, "2025_03_01"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(underscore_date_text(add_days(c.when, c.days)), c.expected)
        << c.when.year << "-" << c.when.month << "-" << c.when.day << " " << c.days;
  }
  EXPECT_EQ(add_days({2026, 12, 31, 23, 59, 58}, 1), (DateTime{2027, 1, 1, 23, 59, 58}));
}

// A real day of the years 1 to 9999 with a time of day below 24:00:00;
// nothing outside the ranges passes by wrapping around.
TEST(Clock, RealDatesAndTimesOnly) {
  const struct {
    DateTime when;
    bool real;
  } cases[] = {
      {{2028, 2, 29}, true},
      {{2027, 2, 29}, false},
      {{2000, 2, 29}, true},
      {{1900, 2, 29}, false},
      {{2026, 4, 31}, false},
      {{2026, 12, 31, 23, 59, 59}, true},
      {{1, 1, 1}, true},
      {{9999, 12, 31}, true},
      {{0, 12, 31}, false},
      {{10000, 1, 1}, false},
      {{-2026, 1, 1}, false},
      {{2026, 0, 1}, false},
      {{2026, 13, 1}, false},
      {{2026, 257, 1}, false},
      {{2026, -255, 1}, false},
      {{2026, 1, 0}, false},
      {{2026, 1, 257}, false},
      {{2026, 1, -255}, false},
      {{65536 + 2026, 1, 1}, false},
      {{2026, 1, 1, 24, 0, 0}, false},
      {{2026, 1, 1, 0, 60, 0}, false},
      {{2026, 1, 1, 0, 0, 60}, false},
      {{2026, 1, 1, -1, 0, 0}, false},
      {{2026, 1, 1, 0, 0, -1}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(is_real_date_time(c.when), c.real)
        << c.when.year << "-" << c.when.month << "-" << c.when.day << " " << c.when.hour << ":"
        << c.when.minute << ":" << c.when.second;
  }
  const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int month = 1; month <= 12; ++month) {
    EXPECT_EQ(days_in_month(2026, month), days[month - 1]) << month;
    EXPECT_EQ(days_in_month(2028, month), month == 2 ? 29 : days[month - 1]) << month;
  }
  EXPECT_EQ(days_in_month(2100, 2), 28);
  EXPECT_EQ(days_in_month(2400, 2), 29);
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
