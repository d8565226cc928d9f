#include "transfer/field_rules.h"

#include <array>
#include <cstdio>
#include <optional>
#include <regex>
#include <string_view>

#include "core/failure.h"
#include "core/sql_text.h"

namespace velmora::rules {
namespace {

struct Code {
  std::string_view code;
  std::string_view text;
};

// "O" is followed by the exam description at translation time.
constexpr std::string_view kExamAdmissionCode = "O";
constexpr std::string_view kExamAdmissionText = "Concursado no ";

constexpr std::array kAdmissionCodes{
    Code{"E", "Não Concursado"},
    Code{"X", "Não Concursado"},
    Code{"C", "Convênio"},
    Code{"S", "Não Jurídico"},
};

constexpr std::array kSexCodes{
    Code{"0", ""},
    Code{"1", "Masculino"},
    Code{"2", "Feminino"},
};

constexpr std::array kShiftCodes{
    Code{"1", "Manhã"},
};
constexpr std::string_view kOtherShift = "Tarde";

constexpr std::array kStatusCodes{
    Code{"1", "Ativo"},
    Code{"2", "Desligado"},
    Code{"3", "Interrupcao"},
    Code{"4", "Suspenso"},
};

template <std::size_t N>
std::optional<std::string_view> find_code(const std::array<Code, N>& table,
                                          const std::string& code) {
  for (const Code& row : table) {
    if (row.code == code) return row.text;
  }
  return std::nullopt;
}

template <std::size_t N>
std::string translate_or_keep(const std::array<Code, N>& table, const std::string& code) {
  const auto text = find_code(table, code);
  return text ? std::string(*text) : code;
}

bool leap_year(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int y, int m) {
  static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap_year(y) ? 29 : kDays[static_cast<std::size_t>(m - 1)];
}

bool valid_date_time(int y, int mo, int d, int h, int mi, int s) {
  return y >= 1 && y <= 9999 && mo >= 1 && mo <= 12 && d >= 1 && d <= days_in_month(y, mo) &&
         h >= 0 && h < 24 && mi >= 0 && mi < 60 && s >= 0 && s < 60;
}

int group_or_zero(const std::smatch& m, std::size_t i) {
  return m[i].matched ? std::stoi(m[i].str()) : 0;
}

// The longest text that can read as a date ("2007-03-02T14:30:00" with a
// generous fraction of a second). Longer texts are refused before matching:
// the pattern matcher recurses once per character and a source value of a
// few hundred thousand characters would overflow the stack.
constexpr std::size_t kLongestDateText = 40;

// Reads a trimmed text as a date: ISO 8601 date or date-time, or the
// regional day-first form, each optionally with a time of day. The calendar
// is checked, so 2007-02-30 does not read.
std::optional<DateTime> read_date(const std::string& text) {
  if (text.size() > kLongestDateText) return std::nullopt;
  static const std::regex iso(
      R"(^(\d{4})-(\d{2})-(\d{2})(?:[ T](\d{2}):(\d{2})(?::(\d{2})(?:\.\d+)?)?)?$)");
  static const std::regex regional(
      R"(^(\d{1,2})/(\d{1,2})/(\d{4})(?: (\d{1,2}):(\d{2})(?::(\d{2})(?:\.\d+)?)?)?$)");
  std::smatch m;
  DateTime d;
  if (std::regex_match(text, m, iso)) {
    d.year = std::stoi(m[1].str());
    d.month = std::stoi(m[2].str());
    d.day = std::stoi(m[3].str());
  } else if (std::regex_match(text, m, regional)) {
    d.day = std::stoi(m[1].str());
    d.month = std::stoi(m[2].str());
    d.year = std::stoi(m[3].str());
  } else {
    return std::nullopt;
  }
  d.hour = group_or_zero(m, 4);
  d.minute = group_or_zero(m, 5);
  d.second = group_or_zero(m, 6);
  if (!valid_date_time(d.year, d.month, d.day, d.hour, d.minute, d.second)) return std::nullopt;
  return d;
}

// A value as a failure description shows it: whole when it could be a date,
// otherwise its first characters, so that the description still fits the run
// log's outcome column. Cut on a character boundary to stay valid UTF-8.
std::string shown_value(const std::string& text) {
  if (text.size() <= kLongestDateText) return text;
  std::size_t cut = kLongestDateText;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut) + "...";
}

std::string date_only(const DateTime& d) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  return buf;
}

}  // namespace

std::string date_text_of(const Value& v, const std::string& column) {
  if (const auto* native = std::get_if<DateTime>(&v)) return date_only(*native);
  const std::string text = trim_blanks(text_of(v, column));
  if (text.empty()) return "";
  const auto d = read_date(text);
  if (!d) {
    throw Failure(failure_number::kTypeMismatch, "Type mismatch (column " + column + ", value '" +
                                                     shown_value(text) + "' is not a date)");
  }
  return date_only(*d);
}

std::string rule_T(const Value& v, const std::string& column) {
  return trim_blanks(text_of(v, column));
}

std::string rule_T_null(const Value& v, const std::string& column) {
  return is_null(v) ? "" : rule_T(v, column);
}

std::string rule_D(const Value& v, const std::string& column) { return date_text_of(v, column); }

std::string rule_D_null(const Value& v, const std::string& column) {
  if (is_null(v) || text_of(v, column).empty()) return "";
  return rule_D(v, column);
}

std::string rule_D_empty(const Value& v, const std::string& column) {
  if (is_null(v) || trim_blanks(text_of(v, column)).empty()) return "";
  return date_text_of(v, column);
}

std::string rule_N(const Value& v, const std::string& column) {
  std::string text = text_of(v, column);
  return trim_blanks(text).empty() ? "0" : text;
}

std::string rule_K(const Value& v, const std::string& column) {
  if (is_null(v)) return "";
  std::string text = text_of(v, column);
  return trim_blanks(text).empty() ? "" : text;
}

std::string rule_R(const Value& v, const std::string& column) { return text_of(v, column); }

std::string admission_text(const std::string& code, const std::string& concurso) {
  if (code == kExamAdmissionCode) return std::string(kExamAdmissionText) + concurso;
  return translate_or_keep(kAdmissionCodes, code);
}

std::string sex_text(const std::string& code) { return translate_or_keep(kSexCodes, code); }

std::string shift_text(const std::string& code) {
  return std::string(find_code(kShiftCodes, code).value_or(kOtherShift));
}

std::string status_text(const std::string& code) { return translate_or_keep(kStatusCodes, code); }

}  // namespace velmora::rules
