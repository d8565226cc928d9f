#include "db/value.h"

#include <cstdio>

#include "core/failure.h"

namespace velmora {
namespace {

std::string decimal_text(std::string digits) {
  if (digits.find('.') != std::string::npos) {
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    if (!digits.empty() && digits.back() == '.') digits.pop_back();
  }
  if (digits.empty() || digits == "-") return "0";
  if (digits == "-0") return "0";
  return digits;
}

std::string double_text(double d) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", d);
  std::string s = buf;
  return s == "-0" ? "0" : s;
}

std::string datetime_text(const DateTime& d) {
  char buf[64];
  if (d.has_time()) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour,
                  d.minute, d.second);
  } else {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  }
  return buf;
}

}  // namespace

std::string text_of(const Value& v, const std::string& column) {
  struct Visitor {
    const std::string& column;
    std::string operator()(const Null&) const {
      throw Failure(failure_number::kInvalidUseOfNull, "Invalid use of Null (column " + column + ")");
    }
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(std::int64_t i) const { return std::to_string(i); }
    std::string operator()(const Decimal& d) const { return decimal_text(d.digits); }
    std::string operator()(double d) const { return double_text(d); }
    std::string operator()(const DateTime& d) const { return datetime_text(d); }
  };
  return std::visit(Visitor{column}, v);
}

std::string debug_text(const Value& v) { return is_null(v) ? "Null" : text_of(v, ""); }

}  // namespace velmora
