// The statement builders for any values: every statement keeps its
// quoting. Read back the way the database reads it, its single-quoted
// literals are exactly the values it was built from, in order, and its
// text outside them is the text built from empty values; a value written
// bare reads as a number or the builder throws Failure 13. The embedded
// client's rewriting leaves every built statement as it is.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/run/nightly_run.h"
#include "core/calendar.h"
#include "core/failure.h"
#include "core/sql_text.h"
#include "db/sqlite_dialect.h"
#include "fuzz/fuzz_support.h"
#include "transfer/cons_sancao.h"
#include "transfer/intern_fields.h"
#include "transfer/intern_statements.h"
#include "transfer/payment_statements.h"

namespace velmora {
namespace {

using fuzz::check;

std::string joined(const std::vector<std::string>& values) {
  std::string out;
  for (const auto& v : values) out += "[" + v + "]";
  return out;
}

// `built` holds `values` as its literals, and reads as `empty` (the same
// statement built from empty values) does outside them.
void check_quoting(const std::string& built, const std::vector<std::string>& values,
                   const std::string& empty) {
  const fuzz::Literals literals = fuzz::single_quoted_literals(built);
  check(literals.all_closed, "every literal is closed", built);
  check(literals.values == values, "the literals are the values",
        built + "\n  values " + joined(values));
  check(literals.skeleton == fuzz::single_quoted_literals(empty).skeleton,
        "the text outside the literals is the statement's own", built + "\n  expected " + empty);
  check(sqlite_dialect(built) == built, "the embedded client runs a built statement unchanged",
        built);
}

// A builder that writes `value` bare: the statement ends with it, when it
// reads as a number, or the builder throws Failure 13.
void check_bare(const std::function<std::string(const std::string&)>& build,
                const std::string& prefix, const std::string& value) {
  try {
    const std::string built = build(value);
    check(is_bare_number(value), "only a number is written bare", value);
    check(built == prefix + value, "a bare value ends the statement", built);
    check(value.find('\'') == std::string::npos, "a bare value has no quote", value);
  } catch (const Failure& failure) {
    check(failure.number() == failure_number::kTypeMismatch, "a bare non-number fails with 13");
    check(!is_bare_number(value), "a number is never refused", value);
  }
}

// A value holding a NUL byte is refused by every quoting builder with 13;
// the other checks take the values without their NUL bytes.
std::string without_nul(std::string value) {
  if (value.find('\0') == std::string::npos) return value;
  try {
    (void)exam_lookup_statement(value);
    check(false, "a value with a NUL byte is refused", value);
  } catch (const Failure& failure) {
    check(failure.number() == failure_number::kTypeMismatch, "a NUL byte fails with 13");
  }
  std::erase(value, '\0');
  return value;
}

DateTime consume_date_time(FuzzedDataProvider& in) {
  DateTime d{in.ConsumeIntegralInRange(1, 9999), in.ConsumeIntegralInRange(1, 12),
             in.ConsumeIntegralInRange(1, 28),   in.ConsumeIntegralInRange(0, 23),
             in.ConsumeIntegralInRange(0, 59),   in.ConsumeIntegralInRange(0, 59)};
  return d;
}

void check_intern_insert(FuzzedDataProvider& in) {
  RegEstagiario reg;
  RegEstagiario empty;
  std::vector<std::string> values;
  for (const auto& column : intern_fields::kColumns) {
    std::string value = without_nul(in.ConsumeRandomLengthString(24));
    reg.*column.member = value;
    if (column.bare) {
      empty.*column.member = value;
    } else {
      values.push_back(value);
    }
  }
  try {
    const std::string built = intern_insert_statement(reg);
    check_quoting(built, values, intern_insert_statement(empty));
  } catch (const Failure& failure) {
    check(failure.number() == failure_number::kTypeMismatch, "the insert fails only with 13");
    check(!is_bare_number(reg.numero), "the insert refuses only a numero that is no number",
          reg.numero);
  }
}

}  // namespace
}  // namespace velmora

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  FuzzedDataProvider in(data, size);
  std::vector<std::string> v;
  for (int i = 0; i < 5; ++i) v.push_back(without_nul(in.ConsumeRandomLengthString(48)));
  const DateTime when = consume_date_time(in);
  const std::string date = date_text(when);
  const std::string clock = clock_text(when);

  check_quoting(exam_lookup_statement(v[0]), {v[0]}, exam_lookup_statement(""));
  check_quoting(assignment_lookup_statement(v[0]), {v[0]}, assignment_lookup_statement(""));
  check_quoting(interruption_lookup_statement(v[0]), {v[0]}, interruption_lookup_statement(""));
  check_bare(grant_lookup_statement,
             "select descricao from vlmr_bolsaauxilio where id_bolsa = ", v[1]);
  check_bare(commendation_lookup_statement,
             "select * from Cons_Estagiarioelogio where matricula=", v[1]);

  // The date and clock of a commendation row come from the clock, never
  // from a value.
  check_quoting(commendation_insert_statement(date, v[0], clock, v[1], v[2]),
                {date, v[0], clock, v[1], v[2]}, commendation_insert_statement("", "", "", "", ""));
  check_quoting(commendation_update_statement(v[0], v[1], v[2]), {v[1], v[2], v[0]},
                commendation_update_statement("", "", ""));
  check_quoting(payment_insert_statement(v[0], v[1], v[2], v[3]), {v[0], v[1], v[2], v[3]},
                payment_insert_statement("", "", "", ""));

  // The clock text of the run log is followed by a blank inside its literal.
  check_quoting(nightly_run::start_row_statement(v[0], v[1]), {v[0], v[1] + " "},
                nightly_run::start_row_statement("", ""));
  const std::string outcome = nightly_run::without_apostrophes(v[4]);
  check(outcome.find('\'') == std::string::npos, "an outcome has no apostrophe", outcome);
  check(outcome.size() + static_cast<std::size_t>(std::count(v[4].begin(), v[4].end(), '\'')) ==
            v[4].size(),
        "only apostrophes are removed from an outcome", v[4]);
  check_quoting(nightly_run::end_row_statement(v[1], outcome, v[0]), {v[1] + " ", outcome, v[0]},
                nightly_run::end_row_statement("", "", ""));

  check_intern_insert(in);
  return 0;
}
