#include "core/ascii.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora::testing {
namespace {

TEST(Ascii, FoldsOnlyAsciiLetters) {
  const std::string all = "AZaz09_[]@`{ \xC3\x81\xC3\xA1";  // "Á" and "á" in UTF-8
  std::string lower, upper;
  for (char c : all) {
    lower += lower_ascii(c);
    upper += upper_ascii(c);
  }
  EXPECT_EQ(lower, "azaz09_[]@`{ \xC3\x81\xC3\xA1");
  EXPECT_EQ(upper, "AZAZ09_[]@`{ \xC3\x81\xC3\xA1");
}

TEST(Ascii, ComparesAgainstALowerCaseWord) {
  struct Case {
    std::string_view text, lower;
    bool equal;
  };
  const Case cases[] = {
      {"INFORMATION_Schema", "information_schema", true},
      {"Dtproc", "dtproc", true},
      {"dtproc", "dtproc", true},
      {"dtpro", "dtproc", false},
      {"dtprocs", "dtproc", false},
      {"DT PROC", "dt_proc", false},
      {"\xC3\x81", "\xC3\xA1", false},  // no folding beyond ASCII
      {"", "", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(equals_lower_ascii(c.text, c.lower), c.equal) << c.text << " / " << c.lower;
  }
}

}  // namespace
}  // namespace velmora::testing
