#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "core/calendar.h"

namespace velmora {

// The database's Null: never the same as empty text or zero.
struct Null {
  bool operator==(const Null&) const = default;
};

// An exact decimal (DECIMAL/NUMERIC), kept as the digits the database
// delivered, e.g. "1500.50" or "-3".
struct Decimal {
  std::string digits;
  bool operator==(const Decimal&) const = default;
};

// One column value of a row, as the database client delivers it.
using Value = std::variant<Null, std::string, std::int64_t, Decimal, double, DateTime>;

inline bool is_null(const Value& v) { return std::holds_alternative<Null>(v); }

// The default conversion of a non-Null value to text, used wherever no
// pattern is given:
//   text            unchanged
//   integer         plain decimal digits, "-" when negative
//   exact decimal   '.' as separator, trailing fractional zeros dropped,
//                   one digit at least before the point, no '+'
//                   ("1500.50" -> "1500.5", "1500.00" -> "1500",
//                   ".50" -> "0.5", "-0.00" -> "0")
//   floating point  up to 15 significant digits, trailing zeros dropped,
//                   an upper-case exponent from 1E+15 up and below 1E-04
//                   ("1E+20", "1E-05")
//   date            "yyyy-mm-dd", followed by " hh:mm:ss" when it carries
//                   a time of day
// Throws Failure 94 for Null and Failure 13 for a text holding a NUL byte,
// naming `column` in the description.
std::string text_of(const Value& v, std::string_view column);

// A readable rendering for diagnostics and tests ("Null" for Null).
std::string debug_text(const Value& v);

}  // namespace velmora
