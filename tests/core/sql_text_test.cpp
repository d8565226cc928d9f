#include "core/sql_text.h"

#include <gtest/gtest.h>

#include <cctype>

#include "core/failure.h"

namespace velmora::testing {
namespace {

// One grammar for a number, with two ideas of a blank: statements allow
// U+0020 only, the embedded client's decimal columns any white space.
TEST(NumberText, ReadsOneGrammarUnderEitherBlankRule) {
  struct Case {
    std::string_view text;
    bool bare;   // U+0020 blanks only
    bool space;  // any white space
  };
  const Case cases[] = {
      {"12", true, true},    {" -3.5 ", true, true},  {"+7.", true, true},
      {".5", true, true},    {"-.5", true, true},     {"\t12\n", false, true},
      {"", false, false},    {" ", false, false},     {".", false, false},
      {"-", false, false},   {"1.2.3", false, false}, {"1 2", false, false},
      {"1e5", false, false}, {"0x10", false, false},  {"12a", false, false},
      {"١٢", false, false},  // Arabic-Indic digits are no digits here
  };
  auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  for (const Case& c : cases) {
    EXPECT_EQ(is_bare_number(c.text), c.bare) << "'" << c.text << "'";
    EXPECT_EQ(is_number_text(c.text, space), c.space) << "'" << c.text << "'";
  }
}

TEST(NumberText, BareNumberRefusesTextBeforeAnyStatement) {
  EXPECT_EQ(bare_number(" 12 ", "numero"), " 12 ");
  try {
    bare_number("x1", "numero");
    FAIL() << "x1 written bare";
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), 13);
    EXPECT_EQ(f.description(), "Type mismatch: numero 'x1' is not a number");
  }
}

}  // namespace
}  // namespace velmora::testing
