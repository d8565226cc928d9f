#include "ctl/progress.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>

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
  for (int i = 0; i < 20; ++i) progress.on_statement("insert into Cons_estagiario(matricula");
  progress.on_statement("insert into cons_estagiarioelogio(data");
  progress.on_statement("update cons_estagiarioelogio set elogioc");
  for (int i = 0; i < 10; ++i) progress.on_statement("insert into Cons_pagamento(matricula");
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

}  // namespace
}  // namespace velmora::ctl
