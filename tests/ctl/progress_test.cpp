#include "ctl/progress.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "transfer/cons_sancao.h"
#include "transfer/intern_statements.h"
#include "transfer/payment_statements.h"

namespace velmora::ctl {
namespace {

using ::testing::MatchesRegex;

TEST(Progress, PlainLinesSayWhatEachNumberIs) {
  struct Case {
    const char* what;
    std::int64_t done, total;
    double seconds;
    const char* line;
  };
  const Case cases[] = {
      // Below half a second there is no estimate yet; tenths below 10 s.
      {"interns", 200, 2000, 0.04, "interns: 10% (200 of 2000 written, 0.0 s elapsed)"},
      {"interns", 200, 2000, 0.3, "interns: 10% (200 of 2000 written, 0.3 s elapsed)"},
      {"interns", 1000, 2000, 1.5,
       "interns: 50% (1000 of 2000 written, 1.5 s elapsed, about 1.5 s left)"},
      {"payments", 2400, 24000, 12.4,
       "payments: 10% (2400 of 24000 written, 12 s elapsed, about 1 min 51 s left)"},
      {"payments", 24000, 24000, 75, "payments: 100% (24000 of 24000 written, 1 min 15 s elapsed)"},
      {"payments", 9, 10, 9.96, "payments: 90% (9 of 10 written, 10 s elapsed, about 1.1 s left)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(progress_line(c.what, c.done, c.total, c.seconds), c.line);
  }
}

TEST(Progress, TheBarShowsARateAndTimeLeftOnlyOnceItMeansSomething) {
  struct Case {
    std::int64_t done, total;
    double seconds;
    const char* text;
  };
  const Case cases[] = {
      {0, 2000, 0, "interns [....................] 0/2000"},
      {1000, 2000, 0.4, "interns [##########..........] 1000/2000"},
      {1000, 2000, 1.5, "interns [##########..........] 1000/2000 667/s 1.5 s left"},
      {2000, 2000, 3.2, "interns [####################] 2000/2000 625/s"},
      {2500, 2000, 4, "interns [####################] 2500/2000 625/s"},
      {300, 0, 2, "interns 300 150/s"},  // the total is unknown
  };
  for (const Case& c : cases) {
    EXPECT_EQ(progress_text("interns", c.done, c.total, c.seconds), c.text);
  }
}

// Statements as the transfers send them, fed to the progress as the
// statement observer does.
TEST(Progress, FollowsTheRunInTenthsWhenNotOnATerminal) {
  std::ostringstream out;
  RunProgress progress(out, false, 20, 10);
  RegEstagiario intern;
  intern.matricula = "2001";
  intern.numero = "12";
  for (int i = 0; i < 20; ++i) progress.on_statement(intern_insert_statement(intern));
  progress.on_statement(commendation_insert_statement("2026-12-08", "2001", "00:30:01", "Bom", ""));
  progress.on_statement(commendation_update_statement("2001", "Bom", ""));
  for (int i = 0; i < 10; ++i) {
    progress.on_statement(payment_insert_statement("2001", "202612", "10.50", "2026-12-05"));
  }
  progress.finish();

  std::istringstream lines(out.str());
  int interns = 0, payments = 0;
  for (std::string line; std::getline(lines, line);) {
    EXPECT_THAT(line, MatchesRegex("(interns|payments): [0-9]+0% \\([0-9]+ of (20|10) written, "
                                   "[0-9.]+ s elapsed(, about [0-9.]+ s left)?\\)"));
    (line.starts_with("interns") ? interns : payments) += 1;
  }
  EXPECT_EQ(interns, 10);
  EXPECT_EQ(payments, 10);
  EXPECT_EQ(progress.counts().interns, 20);
  EXPECT_EQ(progress.counts().payments, 10);
  EXPECT_EQ(progress.counts().commendations_inserted, 1);
  EXPECT_EQ(progress.counts().commendations_updated, 1);
}

// The bar counts the statements the transfers build: a change to a
// statement's text must not make it count zero.
TEST(RunProgress, CountsEveryStatementTheTransfersWriteRowsWith) {
  RegEstagiario intern;
  intern.matricula = "2001";
  intern.numero = "12";
  struct Case {
    std::string statement;
    RunCounts expected;
  };
  const Case cases[] = {
      {intern_insert_statement(intern), {1, 0, 0, 0}},
      {payment_insert_statement("2001", "202612", "10.50", "2026-12-05"), {0, 1, 0, 0}},
      {commendation_insert_statement("2026-12-08", "2001", "00:30:01", "Bom", ""), {0, 0, 1, 0}},
      {commendation_update_statement("2001", "Bom", ""), {0, 0, 0, 1}},
      {commendation_lookup_statement("2001"), {0, 0, 0, 0}},
      {"Select * from vlmr_estagiario", {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    RunProgress progress(out, false, 0, 0);
    progress.on_statement(c.statement);
    const RunCounts& n = progress.counts();
    EXPECT_EQ(n.interns, c.expected.interns) << c.statement;
    EXPECT_EQ(n.payments, c.expected.payments) << c.statement;
    EXPECT_EQ(n.commendations_inserted, c.expected.commendations_inserted) << c.statement;
    EXPECT_EQ(n.commendations_updated, c.expected.commendations_updated) << c.statement;
  }
}

}  // namespace
}  // namespace velmora::ctl
