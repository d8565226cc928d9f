#pragma once

#include <string>

namespace velmora {

// A local calendar date and time of day, as read from the clock.
struct LocalDateTime {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The one seam through which the system reads the local date and time.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalDateTime now() const = 0;
};

// The clock in use: the system's local clock unless a test installed another.
const Clock& clock();

// Installs `replacement` as the clock (not owned); nullptr restores the
// system clock.
void set_clock(const Clock* replacement);

// Calendar arithmetic on the date part; the time of day is kept.
LocalDateTime add_days(const LocalDateTime& when, int days);

// "yyyy-mm-dd", e.g. 2026-12-07.
std::string date_text(const LocalDateTime& when);
// "yyyy_mm_dd", e.g. 2026_12_06.
std::string underscore_date_text(const LocalDateTime& when);
// 24-hour "HH:MM:SS" whatever the host's locale, e.g. 00:30:00.
std::string clock_text(const LocalDateTime& when);

// Texts read from the clock at the moment of the call.
std::string today_text();        // date text of today
std::string snapshot_suffix();   // today minus one day, "yyyy_mm_dd"
std::string retention_suffix();  // today minus two days, "yyyy_mm_dd"
std::string now_clock_text();    // clock text of now

}  // namespace velmora
