#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "app/run/nightly_run.h"

namespace velmora::nightly_run {
namespace {

TEST(NightlyRunText, OutcomeIsTheSignedNumberASeparatorAndTheDescription) {
  const struct {
    std::int32_t number;
    const char* description;
    const char* outcome;
    const char* logged;
  } cases[] = {
      {-7, "Table 'x' is missing.", "-7 - Table 'x' is missing.", "-7 - Table x is missing."},
      {3704, "closed", "3704 - closed", "3704 - closed"},
      {std::numeric_limits<std::int32_t>::min(), "''", "-2147483648 - ''", "-2147483648 - "},
      {0, "it's ''quoted'' - ok", "0 - it's ''quoted'' - ok", "0 - its quoted - ok"},
  };
  for (const auto& c : cases) {
    const std::string outcome = outcome_text(Failure(c.number, c.description));
    EXPECT_EQ(outcome, c.outcome) << c.description;
    EXPECT_EQ(without_apostrophes(outcome), c.logged) << c.description;
  }
}

TEST(NightlyRunText, EndRowOfAFailureKeepsTheTextAsLogged) {
  EXPECT_EQ(end_row_statement("00:30:07", "-7 - Table x is missing.", "2026-12-08"),
            "Update vlmr_logtransferencia set hora_final = '00:30:07 ',erro = '-7 - Table x is "
            "missing.' where data ='2026-12-08' ");
}

}  // namespace
}  // namespace velmora::nightly_run
