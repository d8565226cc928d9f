#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// A calendar date, or a date with a time of day (a time of 00:00:00 counts
// as none). Used for the clock's readings and for date values of rows.
struct DateTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0;
  bool has_time() const { return hour != 0 || minute != 0 || second != 0; }
  bool operator==(const DateTime&) const = default;
};

bool is_leap_year(int year);
// Days of `month` (1..12) in `year`.
int days_in_month(int year, int month);
// True for a real day of the years 1 to 9999 and a time of day from
// 00:00:00 to 23:59:59 (2007-02-29 and 24:00:00 are not).
bool is_real_date_time(const DateTime& when);

// Calendar arithmetic on the date part across month and year ends; the time
// of day is kept. `when` must be a real date.
DateTime add_days(const DateTime& when, int days);

// "yyyy-mm-dd", e.g. 2026-12-07.
std::string date_text(const DateTime& when);
// "yyyy_mm_dd", e.g. 2026_12_06.
std::string underscore_date_text(const DateTime& when);
// 24-hour "HH:MM:SS", e.g. 00:30:00.
std::string clock_text(const DateTime& when);
// "yyyy-mm-dd", followed by " HH:MM:SS" when the value carries a time of day.
std::string date_time_text(const DateTime& when);

// Reads "yyyy-mm-dd", optionally followed by a blank or 'T' and "hh:mm",
// "hh:mm:ss" or "hh:mm:ss.fff" (any number of fraction digits, dropped).
// Nothing may stand before or after; the day and time must be real.
std::optional<DateTime> parse_iso_date_time(std::string_view text);
// Reads the regional day-first "d/m/yyyy" (day and month of one or two
// digits), optionally followed by a blank and "h:mm", "h:mm:ss" or
// "h:mm:ss.fff" (hour of one or two digits). The day and time must be real.
std::optional<DateTime> parse_regional_date_time(std::string_view text);

}  // namespace velmora
