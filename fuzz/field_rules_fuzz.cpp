// The field rules and code tables for any value: each rule returns or throws
// Failure 13 or 94 (nothing else), gives the same result twice, and its
// result stays within what the rule promises.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "core/calendar.h"
#include "core/failure.h"
#include "core/sql_text.h"
#include "db/value.h"
#include "fuzz/fuzz_support.h"
#include "transfer/field_rules.h"
#include "transfer/intern_fields.h"

namespace velmora {
namespace {

using fuzz::check;

constexpr std::string_view kColumn = "coluna_x";

Value consume_value(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 5)) {
    case 0:
      return Null{};
    case 1:
      return in.ConsumeIntegral<std::int64_t>();
    case 2:
      return Decimal{in.ConsumeRandomLengthString(40)};
    case 3:
      return in.ConsumeFloatingPoint<double>();
    case 4: {
      // A driver delivers only real dates.
      DateTime d{in.ConsumeIntegralInRange(1, 9999), in.ConsumeIntegralInRange(1, 12),
                 in.ConsumeIntegralInRange(1, 31),   in.ConsumeIntegralInRange(0, 23),
                 in.ConsumeIntegralInRange(0, 59),   in.ConsumeIntegralInRange(0, 59)};
      d.day = std::min(d.day, days_in_month(d.year, d.month));
      return d;
    }
    default:
      return in.ConsumeRandomLengthString(80);
  }
}

// A rule's result, or the number of the Failure it threw.
struct Outcome {
  std::optional<std::string> text;
  std::int32_t failure = 0;
  bool operator==(const Outcome&) const = default;
};

template <typename F>
Outcome outcome_of(F&& f) {
  try {
    return Outcome{f(), 0};
  } catch (const Failure& failure) {
    check(failure.number() == failure_number::kTypeMismatch ||
              failure.number() == failure_number::kInvalidUseOfNull,
          "a rule fails only with 13 or 94", std::to_string(failure.number()));
    check(failure.description().find(kColumn) != std::string::npos,
          "a rule's failure names its column", failure.description());
    return Outcome{std::nullopt, failure.number()};
  }
}

template <typename F>
Outcome deterministic(F&& f) {
  const Outcome first = outcome_of(f);
  check(outcome_of(f) == first, "a rule gives the same result twice");
  return first;
}

bool is_date_text(const std::string& s) {
  if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
  for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (s[i] < '0' || s[i] > '9') return false;
  }
  const DateTime d{std::stoi(s.substr(0, 4)), std::stoi(s.substr(5, 2)), std::stoi(s.substr(8, 2))};
  return is_real_date_time(d);
}

// A date rule gives "" or a real date, and reads its own result back as
// the same date.
void check_date_result(const Outcome& o, const char* rule) {
  if (!o.text) {
    check(o.failure == failure_number::kTypeMismatch ||
              o.failure == failure_number::kInvalidUseOfNull,
          rule);
    return;
  }
  if (o.text->empty()) return;
  check(is_date_text(*o.text), "a date rule writes a real yyyy-mm-dd", *o.text);
  check(rules::rule_D(Value{*o.text}, kColumn) == *o.text, "a date text reads as itself", *o.text);
}

// A text holding a NUL byte fails under every rule with 13 naming the
// column: no statement may carry it.
bool check_nul_refused(const Value& v) {
  const std::string* text = std::get_if<std::string>(&v);
  if (const auto* decimal = std::get_if<Decimal>(&v)) text = &decimal->digits;
  if (!text || text->find('\0') == std::string::npos) return false;
  for (auto rule : {rules::rule_T, rules::rule_T_null, rules::rule_D, rules::rule_D_null,
                    rules::rule_D_empty, rules::rule_N, rules::rule_K, rules::rule_R}) {
    const Outcome o = outcome_of([&] { return rule(v, kColumn); });
    check(!o.text && o.failure == failure_number::kTypeMismatch, "a NUL byte fails with 13");
  }
  return true;
}

void check_rules(const Value& v) {
  if (check_nul_refused(v)) return;
  const bool null = is_null(v);
  const bool native_date = std::holds_alternative<DateTime>(v);
  const std::string text = null ? "" : text_of(v, kColumn);
  const std::string trimmed = trim_blanks(text);

  const Outcome t = deterministic([&] { return rules::rule_T(v, kColumn); });
  if (null) {
    check(t.failure == failure_number::kInvalidUseOfNull, "T fails on Null");
  } else {
    check(t.text == trimmed, "T is the trimmed text", text);
  }
  const Outcome t_null = deterministic([&] { return rules::rule_T_null(v, kColumn); });
  check(t_null.text == (null ? "" : trimmed), "T-null is T with Null as empty", text);

  const Outcome d = deterministic([&] { return rules::rule_D(v, kColumn); });
  check_date_result(d, "D");
  if (null) check(d.failure == failure_number::kInvalidUseOfNull, "D fails on Null");
  if (native_date) check(d.text == date_text(std::get<DateTime>(v)), "D of a native date");
  if (d.text && d.text->empty()) check(trimmed.empty(), "D is empty only for empty text", text);
  if (d.failure == failure_number::kTypeMismatch) check(!trimmed.empty(), "D refuses only text");

  const Outcome d_null = deterministic([&] { return rules::rule_D_null(v, kColumn); });
  check_date_result(d_null, "D-null");
  check(d_null.failure != failure_number::kInvalidUseOfNull, "D-null never fails on Null");
  if (null || (!native_date && text.empty()))
    check(d_null.text == "", "D-null of nothing is empty");
  else
    check(d_null == d, "D-null is D for a value", text);

  const Outcome d_empty = deterministic([&] { return rules::rule_D_empty(v, kColumn); });
  check_date_result(d_empty, "D-empty");
  check(d_empty.failure != failure_number::kInvalidUseOfNull, "D-empty never fails on Null");
  if (null || (!native_date && trimmed.empty()))
    check(d_empty.text == "", "D-empty of blanks");
  else
    check(d_empty == d, "D-empty is D for a value", text);

  const Outcome n = deterministic([&] { return rules::rule_N(v, kColumn); });
  if (null)
    check(n.failure == failure_number::kInvalidUseOfNull, "N fails on Null");
  else
    check(n.text == (trimmed.empty() ? "0" : text), "N is the text or 0", text);

  const Outcome k = deterministic([&] { return rules::rule_K(v, kColumn); });
  check(k.text == (trimmed.empty() ? "" : text), "K is the text or empty", text);

  const Outcome r = deterministic([&] { return rules::rule_R(v, kColumn); });
  if (null)
    check(r.failure == failure_number::kInvalidUseOfNull, "R fails on Null");
  else
    check(r.text == text, "R is the text", text);
}

// Each code table maps its codes to their texts and keeps every other code.
void check_code_tables(const std::string& code, const std::string& concurso) {
  struct Row {
    const char* code;
    const char* text;
  };
  auto expect = [&](std::initializer_list<Row> table, const std::string& got, const char* what) {
    for (const Row& row : table) {
      if (code == row.code) return check(got == row.text, what, code);
    }
    check(got == code, what, code);
  };
  expect({{"0", ""}, {"1", "Masculino"}, {"2", "Feminino"}}, rules::sex_text(code), "sex");
  expect({{"1", "Ativo"}, {"2", "Desligado"}, {"3", "Interrupcao"}, {"4", "Suspenso"}},
         rules::status_text(code), "status");
  check(rules::shift_text(code) == (code == "1" ? "Manhã" : "Tarde"), "shift", code);
  const std::string admission = rules::admission_text(code, concurso);
  if (code == "O") {
    check(admission == "Concursado no " + concurso, "admission O", concurso);
  } else {
    expect({{"E", "Não Concursado"},
            {"X", "Não Concursado"},
            {"C", "Convênio"},
            {"S", "Não Jurídico"}},
           admission, "admission");
  }
}

// Every field of the intern record takes any value: a text, or Failure 13
// or 94 naming the field's column.
void check_fields(const Value& v, const RegEstagiario& record) {
  for (const auto& field : intern_fields::kFields) {
    try {
      (void)intern_fields::field_text(field, v, record);
    } catch (const Failure& failure) {
      check(failure.number() == failure_number::kTypeMismatch ||
                failure.number() == failure_number::kInvalidUseOfNull,
            "a field fails only with 13 or 94", std::to_string(failure.number()));
      check(failure.description().find(field.column) != std::string::npos,
            "a field's failure names its column", failure.description());
    }
  }
}

}  // namespace
}  // namespace velmora

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  FuzzedDataProvider in(data, size);
  const std::string code = in.ConsumeRandomLengthString(4);
  RegEstagiario record;
  record.concurso = in.ConsumeRandomLengthString(40);
  const Value v = consume_value(in);
  check_rules(v);
  check_code_tables(code, record.concurso);
  check_fields(v, record);
  return 0;
}
