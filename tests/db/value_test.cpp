#include "db/value.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/failure.h"
#include "core/sql_text.h"

namespace velmora {
namespace {

TEST(DefaultConversion, WritesEveryKindOfValue) {
  const std::vector<std::pair<Value, std::string>> cases = {
      {std::string(" texto \t"), " texto \t"},
      {std::int64_t{202601}, "202601"},
      {std::int64_t{-7}, "-7"},
      {Decimal{"1500.50"}, "1500.5"},
      {Decimal{"1500.00"}, "1500"},
      {Decimal{"1500"}, "1500"},
      {Decimal{"100"}, "100"},
      {Decimal{"-3.10"}, "-3.1"},
      {Decimal{"-0.00"}, "0"},
      {Decimal{".50"}, "0.5"},
      {Decimal{"-.25"}, "-0.25"},
      {Decimal{"+0012.30"}, "12.3"},
      {Decimal{"0.00"}, "0"},
      {1500.5, "1500.5"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3.0, "0.333333333333333"},
      {123456789012345.0, "123456789012345"},
      {1e20, "1E+20"},
      {0.00001, "1E-05"},
      {-0.0, "0"},
      {DateTime{2007, 3, 2, 0, 0, 0}, "2007-03-02"},
      {DateTime{2007, 3, 2, 14, 30, 5}, "2007-03-02 14:30:05"},
  };
  for (const auto& [value, expected] : cases) {
    EXPECT_EQ(text_of(value, "c"), expected) << "expected " << expected;
  }
}

TEST(DefaultConversion, NullOrANulByteFailsNamingTheColumn) {
  using namespace std::string_literals;
  const struct {
    Value value;
    std::int32_t number;
    std::string description;
  } cases[] = {
      {Null{}, 94, "Invalid use of Null (column anomes)"},
      {"Ana\0Lima"s, 13, "Type mismatch: text with a NUL byte (column anomes)"},
      {"\0"s, 13, "Type mismatch: text with a NUL byte (column anomes)"},
      {Decimal{"12\0"s}, 13, "Type mismatch: text with a NUL byte (column anomes)"},
  };
  for (const auto& c : cases) {
    try {
      text_of(c.value, "anomes");
      ADD_FAILURE() << "converted: " << c.description;
    } catch (const Failure& f) {
      EXPECT_EQ(f.number(), c.number);
      EXPECT_EQ(f.description(), c.description);
    }
  }
}

// Whatever reaches a statement builder or a description without being read
// by text_of: a NUL byte is never written into a statement.
TEST(DefaultConversion, NoStatementOrDescriptionCarriesANulByte) {
  using namespace std::string_literals;
  try {
    (void)velmora::quoted("Ana\0'Lima"s);
    ADD_FAILURE() << "quoted a NUL byte";
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), 13);
  }
  std::string statement = "values ('";
  EXPECT_THROW(append_quoted(statement, "x\0"s), Failure);
  EXPECT_EQ(statement, "values ('");
  EXPECT_EQ(type_mismatch("numero", "1\0"s + std::string(50, '2'), "a number").description(),
            "Type mismatch: numero '1\\0" + std::string(38, '2') + "...' is not a number");
  EXPECT_EQ(naming_row(Failure(-7, "Table 'x' is missing."), "matricula 12").description(),
            "Table 'x' is missing. (matricula 12)");
  EXPECT_EQ(naming_row(Failure(-7, "x"), "row 2").number(), -7);
}

}  // namespace
}  // namespace velmora
