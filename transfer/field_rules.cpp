#include "transfer/field_rules.h"

#include <array>
#include <optional>
#include <string_view>

#include "core/calendar.h"
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

// The longest text that can read as a date ("2007-03-02T14:30:00" with a
// generous fraction of a second). Longer texts are refused unread.
constexpr std::size_t kLongestDateText = 40;

// Reads a trimmed text as a date: ISO 8601 date or date-time, or the
// regional day-first form, each optionally with a time of day. The calendar
// is checked, so 2007-02-30 does not read.
std::optional<DateTime> read_date(std::string_view text) {
  if (text.size() > kLongestDateText) return std::nullopt;
  if (auto iso = parse_iso_date_time(text)) return iso;
  return parse_regional_date_time(text);
}

}  // namespace

std::string date_text_of(const Value& v, std::string_view column) {
  if (const auto* native = std::get_if<DateTime>(&v)) return date_text(*native);
  const std::string text = trim_blanks(text_of(v, column));
  if (text.empty()) return "";
  const auto d = read_date(text);
  if (!d) throw type_mismatch(column, text, "a date");
  return date_text(*d);
}

std::string rule_T(const Value& v, std::string_view column) {
  return trim_blanks(text_of(v, column));
}

std::string rule_T_null(const Value& v, std::string_view column) {
  return is_null(v) ? "" : rule_T(v, column);
}

std::string rule_D(const Value& v, std::string_view column) { return date_text_of(v, column); }

// A native date is never empty: it is written at once, without first being
// turned into text only to see that it is not empty.
std::string rule_D_null(const Value& v, std::string_view column) {
  if (std::holds_alternative<DateTime>(v)) return date_text_of(v, column);
  if (is_null(v) || text_of(v, column).empty()) return "";
  return rule_D(v, column);
}

std::string rule_D_empty(const Value& v, std::string_view column) {
  if (std::holds_alternative<DateTime>(v)) return date_text_of(v, column);
  if (is_null(v) || trim_blanks(text_of(v, column)).empty()) return "";
  return date_text_of(v, column);
}

std::string rule_N(const Value& v, std::string_view column) {
  std::string text = text_of(v, column);
  return trim_blanks(text).empty() ? "0" : text;
}

std::string rule_K(const Value& v, std::string_view column) {
  if (is_null(v)) return "";
  std::string text = text_of(v, column);
  return trim_blanks(text).empty() ? "" : text;
}

std::string rule_R(const Value& v, std::string_view column) { return text_of(v, column); }

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
