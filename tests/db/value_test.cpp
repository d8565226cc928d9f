#include "db/value.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/failure.h"

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

TEST(DefaultConversion, NullFailsNamingTheColumn) {
  try {
    text_of(Null{}, "anomes");
    FAIL() << "Null converted";
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), 94);
    EXPECT_EQ(f.description(), "Invalid use of Null (column anomes)");
  }
}

}  // namespace
}  // namespace velmora
