#include "core/calendar.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace velmora {
namespace {

namespace chrono = std::chrono;

// The date part as a chrono date; the fields must already lie in the ranges
// that chrono's year, month and day keep (they hold them narrower than int).
chrono::year_month_day calendar_date(const DateTime& when) {
  return chrono::year{when.year} / chrono::month{static_cast<unsigned>(when.month)} /
         chrono::day{static_cast<unsigned>(when.day)};
}

// `value` as `width` digits with leading zeros, as %0*d writes it for values
// that fit; dates are written for every statement value, so without printf.
void append_digits(std::string& out, int value, int width) {
  char digits[4];
  for (int k = width - 1; k >= 0; --k, value /= 10) digits[k] = static_cast<char>('0' + value % 10);
  out.append(digits, static_cast<std::size_t>(width));
}

bool fits(int value, int width) { return value >= 0 && value < (width == 4 ? 10000 : 100); }

std::string format_date(const DateTime& w, char separator) {
  if (!fits(w.year, 4) || !fits(w.month, 2) || !fits(w.day, 2)) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d%c%02d%c%02d", w.year, separator, w.month, separator,
                  w.day);
    return buf;
  }
  std::string out;
  out.reserve(10);
  append_digits(out, w.year, 4);
  out += separator;
  append_digits(out, w.month, 2);
  out += separator;
  append_digits(out, w.day, 2);
  return out;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A cursor over a text being parsed; every read either consumes what it
// asked for or fails without a trace of its own.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  // Between `min` and `max` digits as a number.
  bool number(std::size_t min, std::size_t max, int& out) {
    std::size_t n = 0;
    int value = 0;
    while (n < max && at_ + n < text_.size() && is_digit(text_[at_ + n])) {
      value = value * 10 + (text_[at_ + n] - '0');
      ++n;
    }
    if (n < min) return false;
    at_ += n;
    out = value;
    return true;
  }
  bool literal(char c) {
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  bool done() const { return at_ == text_.size(); }

  // The optional time of day after a date: "h:mm" or "hh:mm", then
  // optionally ":ss" and ".fff"; `hour_digits_min` is 1 or 2.
  bool time_of_day(std::size_t hour_digits_min, DateTime& d) {
    if (!number(hour_digits_min, 2, d.hour) || !literal(':') || !number(2, 2, d.minute)) {
      return false;
    }
    if (done()) return true;
    if (!literal(':') || !number(2, 2, d.second)) return false;
    if (done()) return true;
    if (!literal('.')) return false;
    int ignored = 0;
    while (number(1, 9, ignored)) {
    }
    return text_[at_ - 1] != '.' && done();
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

std::optional<DateTime> real(const DateTime& d) {
  if (!is_real_date_time(d)) return std::nullopt;
  return d;
}

}  // namespace

bool is_leap_year(int y) { return chrono::year{y}.is_leap(); }

int days_in_month(int year, int month) {
  const chrono::year_month_day_last last{
      chrono::year{year}, chrono::month_day_last{chrono::month{static_cast<unsigned>(month)}}};
  return static_cast<int>(static_cast<unsigned>(last.day()));
}

bool is_real_date_time(const DateTime& w) {
  // The ranges first: chrono keeps a month or a day in one byte, so 257
  // would pass as 1.
  if (w.year < 1 || w.year > 9999 || w.month < 1 || w.month > 12 || w.day < 1 || w.day > 31) {
    return false;
  }
  return calendar_date(w).ok() && w.hour >= 0 && w.hour < 24 && w.minute >= 0 && w.minute < 60 &&
         w.second >= 0 && w.second < 60;
}

DateTime add_days(const DateTime& when, int days) {
  const chrono::year_month_day moved{chrono::sys_days{calendar_date(when)} + chrono::days{days}};
  DateTime out = when;
  out.year = static_cast<int>(moved.year());
  out.month = static_cast<int>(static_cast<unsigned>(moved.month()));
  out.day = static_cast<int>(static_cast<unsigned>(moved.day()));
  return out;
}

std::string date_text(const DateTime& when) { return format_date(when, '-'); }
std::string underscore_date_text(const DateTime& when) { return format_date(when, '_'); }

std::string clock_text(const DateTime& when) {
  if (!fits(when.hour, 2) || !fits(when.minute, 2) || !fits(when.second, 2)) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", when.hour, when.minute, when.second);
    return buf;
  }
  std::string out;
  out.reserve(8);
  append_digits(out, when.hour, 2);
  out += ':';
  append_digits(out, when.minute, 2);
  out += ':';
  append_digits(out, when.second, 2);
  return out;
}

std::string date_time_text(const DateTime& when) {
  if (!when.has_time()) return date_text(when);
  return date_text(when) + " " + clock_text(when);
}

std::optional<DateTime> parse_iso_date_time(std::string_view text) {
  Reader in(text);
  DateTime d;
  if (!in.number(4, 4, d.year) || !in.literal('-') || !in.number(2, 2, d.month) ||
      !in.literal('-') || !in.number(2, 2, d.day)) {
    return std::nullopt;
  }
  if (in.done()) return real(d);
  if (!(in.literal(' ') || in.literal('T')) || !in.time_of_day(2, d)) return std::nullopt;
  return real(d);
}

std::optional<DateTime> parse_regional_date_time(std::string_view text) {
  Reader in(text);
  DateTime d;
  if (!in.number(1, 2, d.day) || !in.literal('/') || !in.number(1, 2, d.month) ||
      !in.literal('/') || !in.number(4, 4, d.year)) {
    return std::nullopt;
  }
  if (in.done()) return real(d);
  if (!in.literal(' ') || !in.time_of_day(1, d)) return std::nullopt;
  return real(d);
}

}  // namespace velmora
