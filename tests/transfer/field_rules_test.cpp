#include "transfer/field_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/failure.h"

namespace velmora::rules {
namespace {

using RuleFn = std::string (*)(const Value&, std::string_view);

struct RuleCase {
  const char* rule;
  RuleFn fn;
  Value input;
  std::string expected;
};

std::string describe(const char* rule, const Value& v) {
  return std::string(rule) + "(" + debug_text(v) + ")";
}

const DateTime kMarch2 = {2007, 3, 2, 0, 0, 0};
const DateTime kMarch2At1430 = {2007, 3, 2, 14, 30, 0};

TEST(FieldRules, GiveTheirTextForEveryKindOfValue) {
  const std::vector<RuleCase> cases = {
      // T: trims blanks only; tabs and inner blanks stay.
      {"T", rule_T, std::string("  Ana Maria  "), "Ana Maria"},
      {"T", rule_T, std::string("\tAna\t"), "\tAna\t"},
      {"T", rule_T, std::string(" \t x \t "), "\t x \t"},
      {"T", rule_T, std::string("   "), ""},
      {"T", rule_T, std::string(""), ""},
      {"T", rule_T, std::int64_t{42}, "42"},
      {"T", rule_T, Decimal{"1500.50"}, "1500.5"},
      {"T", rule_T, kMarch2At1430, "2007-03-02 14:30:00"},
      // T-null: Null gives "".
      {"T-null", rule_T_null, Null{}, ""},
      {"T-null", rule_T_null, std::string("  elogio  "), "elogio"},
      // D: trimmed text or native date, written yyyy-mm-dd; time dropped.
      {"D", rule_D, kMarch2, "2007-03-02"},
      {"D", rule_D, kMarch2At1430, "2007-03-02"},
      {"D", rule_D, std::string("2007-03-02"), "2007-03-02"},
      {"D", rule_D, std::string("  2007-03-02  "), "2007-03-02"},
      {"D", rule_D, std::string("2007-03-02 14:30:00"), "2007-03-02"},
      {"D", rule_D, std::string("2007-03-02T14:30:00"), "2007-03-02"},
      {"D", rule_D, std::string("2007-03-02 14:30:00.123"), "2007-03-02"},
      {"D", rule_D, std::string("02/03/2007"), "2007-03-02"},
      {"D", rule_D, std::string("2008-02-29"), "2008-02-29"},
      {"D", rule_D, std::string(""), ""},
      {"D", rule_D, std::string("  "), ""},
      // D-null: Null or empty gives "".
      {"D-null", rule_D_null, Null{}, ""},
      {"D-null", rule_D_null, std::string(""), ""},
      {"D-null", rule_D_null, std::string(" "), ""},
      {"D-null", rule_D_null, kMarch2At1430, "2007-03-02"},
      {"D-null", rule_D_null, std::string("31/12/2010"), "2010-12-31"},
      // D-empty: Null or blank gives "".
      {"D-empty", rule_D_empty, Null{}, ""},
      {"D-empty", rule_D_empty, std::string(""), ""},
      {"D-empty", rule_D_empty, std::string("   "), ""},
      {"D-empty", rule_D_empty, kMarch2At1430, "2007-03-02"},
      {"D-empty", rule_D_empty, std::string(" 2007-03-02 14:30:00 "), "2007-03-02"},
      // N: "0" when blank, otherwise the text untrimmed.
      {"N", rule_N, std::string(""), "0"},
      {"N", rule_N, std::string("    "), "0"},
      {"N", rule_N, std::string(" 12"), " 12"},
      {"N", rule_N, std::string("12 "), "12 "},
      {"N", rule_N, std::string("\t"), "\t"},
      {"N", rule_N, std::int64_t{0}, "0"},
      {"N", rule_N, std::int64_t{315}, "315"},
      // K: "" when Null or blank, otherwise the text untrimmed.
      {"K", rule_K, Null{}, ""},
      {"K", rule_K, std::string(""), ""},
      {"K", rule_K, std::string("   "), ""},
      {"K", rule_K, std::string(" 123 "), " 123 "},
      // R: the text untrimmed.
      {"R", rule_R, std::string("  férias  "), "  férias  "},
      {"R", rule_R, std::string(""), ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.fn(c.input, "col"), c.expected) << describe(c.rule, c.input);
  }
}

struct FailureCase {
  const char* rule;
  RuleFn fn;
  Value input;
  std::int32_t number;
  std::string fragment;  // expected inside the description
};

TEST(FieldRules, FailWithTheColumnNamedWhereNoSubstituteExists) {
  const std::vector<FailureCase> cases = {
      {"T", rule_T, Null{}, 94, "Invalid use of Null"},
      {"D", rule_D, Null{}, 94, "Invalid use of Null"},
      {"N", rule_N, Null{}, 94, "Invalid use of Null"},
      {"R", rule_R, Null{}, 94, "Invalid use of Null"},
      {"D", rule_D, std::string("amanhã"), 13, "'amanhã'"},
      {"D", rule_D, std::string("2007-02-30"), 13, "'2007-02-30'"},
      {"D", rule_D, std::string("2007-02-29"), 13, "'2007-02-29'"},
      {"D", rule_D, std::string("2007-13-01"), 13, "'2007-13-01'"},
      {"D", rule_D, std::string("2007-03-02 24:00:00"), 13, "Type mismatch"},
      {"D", rule_D, std::string("31/02/2007"), 13, "Type mismatch"},
      {"D", rule_D, std::string("2007/03/02"), 13, "Type mismatch"},
      {"D", rule_D, std::string("\t2007-03-02"), 13, "Type mismatch"},
      {"D", rule_D, std::int64_t{20070302}, 13, "'20070302'"},
      {"D-null", rule_D_null, std::string("x"), 13, "'x'"},
      {"D-empty", rule_D_empty, std::string("02-03-2007"), 13, "'02-03-2007'"},
      // Long enough to exhaust the stack of a recursive pattern match.
      {"D", rule_D, "2007-03-02 14:30:00." + std::string(200000, '1'), 13, "Type mismatch"},
      {"D-empty", rule_D_empty, std::string(200000, '2'), 13, "Type mismatch"},
  };
  for (const auto& c : cases) {
    try {
      c.fn(c.input, "dtiniestagio");
      ADD_FAILURE() << describe(c.rule, c.input) << " did not fail";
    } catch (const Failure& f) {
      EXPECT_EQ(f.number(), c.number) << describe(c.rule, c.input);
      EXPECT_NE(f.description().find(c.fragment), std::string::npos)
          << describe(c.rule, c.input) << ": " << f.description();
      EXPECT_NE(f.description().find("dtiniestagio"), std::string::npos)
          << describe(c.rule, c.input) << ": " << f.description();
    }
  }
}

TEST(FieldRules, NotADateDescriptionShowsOnlyTheHeadOfALongValue) {
  // The description ends up in the run log's outcome column; the cut never
  // splits the two bytes of an "ã".
  const std::string value = std::string(39, 'x') + "ã" + std::string(5000, 'y');
  try {
    rule_D(value, "prevcolacao");
    FAIL() << "read as a date";
  } catch (const Failure& f) {
    EXPECT_EQ(f.description(),
              "Type mismatch: prevcolacao '" + std::string(39, 'x') + "...' is not a date");
  }
}

struct CodeCase {
  const char* table;
  std::string code;
  std::string expected;
};

TEST(CodeTables, TranslateEveryCodeAndKeepOthers) {
  const std::vector<CodeCase> cases = {
      {"admission", "E", "Não Concursado"},
      {"admission", "X", "Não Concursado"},
      {"admission", "C", "Convênio"},
      {"admission", "S", "Não Jurídico"},
      {"admission", "o", "o"},
      {"admission", "c", "c"},
      {"admission", "Z", "Z"},
      {"admission", "", ""},
      {"sex", "0", ""},
      {"sex", "1", "Masculino"},
      {"sex", "2", "Feminino"},
      {"sex", "3", "3"},
      {"sex", "01", "01"},
      {"sex", "", ""},
      {"shift", "1", "Manhã"},
      {"shift", "", "Tarde"},
      {"shift", "2", "Tarde"},
      {"shift", "3", "Tarde"},
      {"shift", "01", "Tarde"},
      {"status", "1", "Ativo"},
      {"status", "2", "Desligado"},
      {"status", "3", "Interrupcao"},
      {"status", "4", "Suspenso"},
      {"status", "5", "5"},
      {"status", "02", "02"},
      {"status", "", ""},
  };
  for (const auto& c : cases) {
    const std::string table = c.table;
    const std::string got = table == "admission" ? admission_text(c.code, "ignored")
                            : table == "sex"     ? sex_text(c.code)
                            : table == "shift"   ? shift_text(c.code)
                                                 : status_text(c.code);
    EXPECT_EQ(got, c.expected) << table << " code '" << c.code << "'";
  }
}

TEST(CodeTables, ExamAdmissionNamesTheExamOrEndsWithItsBlank) {
  EXPECT_EQ(admission_text("O", "Concurso 2007/1"), "Concursado no Concurso 2007/1");
  EXPECT_EQ(admission_text("O", "17"), "Concursado no 17");
  EXPECT_EQ(admission_text("O", ""), "Concursado no ");
}

TEST(CodeTables, ApplyToTheTrimmedFieldText) {
  EXPECT_EQ(status_text(rule_T(std::string(" 2 "), "situacao")), "Desligado");
  EXPECT_EQ(shift_text(rule_T(std::string(" 1 "), "turno")), "Manhã");
  EXPECT_EQ(shift_text(rule_T(std::string("\t1"), "turno")), "Tarde");
  EXPECT_EQ(sex_text(rule_T(std::string(" 0"), "sexo")), "");
}

}  // namespace
}  // namespace velmora::rules
