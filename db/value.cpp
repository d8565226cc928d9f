#include "db/value.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

#include "core/failure.h"

namespace velmora {
namespace {

// Normalises the digits a driver delivered: some write "+1500.50", ".50" or
// "0001500" for values that print as "1500.5", "0.5" and "1500".
std::string decimal_text(const std::string& delivered) {
  std::string_view s = delivered;
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  const auto point = s.find('.');
  std::string_view whole = s.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? "" : s.substr(point + 1);
  const auto all_digits = [](std::string_view part) {
    return std::all_of(part.begin(), part.end(),
                       [](unsigned char c) { return std::isdigit(c) != 0; });
  };
  if (!all_digits(whole) || !all_digits(fraction) || (whole.empty() && fraction.empty())) {
    return delivered;  // not plain digits: shown as delivered
  }
  while (whole.size() > 1 && whole.front() == '0') whole.remove_prefix(1);
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  std::string out(whole.empty() ? "0" : whole);
  if (!fraction.empty()) out.append(".").append(fraction);
  return negative && out != "0" ? "-" + out : out;
}

std::string double_text(double d) {
  char buf[64];
  // Upper-case exponent ("1E+20", "1E-05"), as stored numbers have always
  // been written into the consultation tables.
  std::snprintf(buf, sizeof buf, "%.15G", d);
  std::string s = buf;
  return s == "-0" ? "0" : s;
}

// The text of `v` whatever characters it holds.
std::string any_text(const Value& v, std::string_view column) {
  struct Visitor {
    std::string_view column;
    std::string operator()(const Null&) const { throw invalid_use_of_null(column); }
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(std::int64_t i) const { return std::to_string(i); }
    std::string operator()(const Decimal& d) const { return decimal_text(d.digits); }
    std::string operator()(double d) const { return double_text(d); }
    std::string operator()(const DateTime& d) const { return date_time_text(d); }
  };
  return std::visit(Visitor{column}, v);
}

}  // namespace

std::string text_of(const Value& v, std::string_view column) {
  std::string text = any_text(v, column);
  // Every text bound for a statement is read here: one holding a NUL byte is
  // refused now, before a statement is built from it, rather than cut short
  // by the database at that byte.
  if (text.find('\0') != std::string::npos) throw nul_in_text(column);
  return text;
}

std::string debug_text(const Value& v) { return is_null(v) ? "Null" : any_text(v, ""); }

}  // namespace velmora
