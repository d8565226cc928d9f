#include "core/clock.h"

#include <cstdio>
#include <ctime>

namespace velmora {
namespace {

// Reads the system's local time, so that a process whose clock is moved by
// a preloaded time library follows the moved clock.
class SystemClock final : public Clock {
 public:
  LocalDateTime now() const override {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  }
};

const SystemClock kSystemClock;
const Clock* g_clock = &kSystemClock;

// Days since 1970-01-01 for a proleptic Gregorian date (H. Hinnant's algorithm).
long days_from_civil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

void civil_from_days(long z, int& y, int& m, int& d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<long>(yoe) + era * 400 + (m <= 2));
}

std::string format_date(const LocalDateTime& w, char sep) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%c%02d%c%02d", w.year, sep, w.month, sep, w.day);
  return buf;
}

}  // namespace

const Clock& clock() { return *g_clock; }

void set_clock(const Clock* replacement) { g_clock = replacement ? replacement : &kSystemClock; }

LocalDateTime add_days(const LocalDateTime& when, int days) {
  LocalDateTime out = when;
  civil_from_days(days_from_civil(when.year, static_cast<unsigned>(when.month),
                                  static_cast<unsigned>(when.day)) +
                      days,
                  out.year, out.month, out.day);
  return out;
}

std::string date_text(const LocalDateTime& when) { return format_date(when, '-'); }
std::string underscore_date_text(const LocalDateTime& when) { return format_date(when, '_'); }

std::string clock_text(const LocalDateTime& when) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", when.hour, when.minute, when.second);
  return buf;
}

std::string today_text() { return date_text(clock().now()); }
std::string snapshot_suffix() { return underscore_date_text(add_days(clock().now(), -1)); }
std::string retention_suffix() { return underscore_date_text(add_days(clock().now(), -2)); }
std::string now_clock_text() { return clock_text(clock().now()); }

}  // namespace velmora
