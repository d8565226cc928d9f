#include "ctl/status_report.h"

#include <gtest/gtest.h>

namespace velmora::testing {
namespace {

using ctl::LogRow;

TEST(StatusReport, FlagsRunsWithoutAnEndAndNightsWithoutARun) {
  const std::vector<LogRow> log = {
      {"2026-12-04", "00:30:00 ", "00:30:09 ", "-7 - Table x is missing."},
      {"2026-12-07", "00:30:00 ", "00:30:40 ", " SEM ERRO"},
      {"2026-12-05", "00:30:00 ", "", ""},
  };
  const std::vector<std::string> expected = {
      "  2026-12-07  00:30:00  00:30:40  ok (\" SEM ERRO\")",
      "  2026-12-05  00:30:00  -         STOPPED DURING THE RUN (no end time): the consultation "
      "tables may be half-filled; put them back as they were before this run with: velmora-ctl "
      "restore --suffix 2026_12_04",
      "  2026-12-04  00:30:00  00:30:09  FAILED: -7 - Table x is missing. (the consultation "
      "tables were put back as they were, unless the run lost the consultation database: "
      "compare their counts below with the snapshot pair 2026_12_03)",
      "Nights of the last week WITHOUT A RUN (no nightly process was running at 00:30:00, its "
      "clock skipped that second, or the source database was unreachable):",
      "  2026-12-08",
      "  2026-12-06",
      "  2026-12-03",
      "  2026-12-02",
  };
  EXPECT_EQ(ctl::run_log_lines(log, {2026, 12, 8, 0, 30, 0}, false, 10), expected);
  // Before the trigger second today's night is still to come.
  const auto before = ctl::run_log_lines(log, {2026, 12, 8, 0, 29, 59}, false, 2);
  EXPECT_EQ(std::vector<std::string>(before.begin() + 2, before.end()),
            (std::vector<std::string>{expected[3], "  2026-12-06", "  2026-12-03", "  2026-12-02",
                                      "  2026-12-01"}));
}

TEST(StatusReport, TodaysRunWithoutAnEndIsInProgressWhileTheRunLockIsHeld) {
  const std::vector<LogRow> log = {{"2026-12-08", "00:30:00 ", "", ""}};
  EXPECT_EQ(ctl::run_log_lines(log, {2026, 12, 8, 0, 31, 0}, true, 10).front(),
            "  2026-12-08  00:30:00  -         in progress");
  EXPECT_TRUE(ctl::run_log_lines(log, {2026, 12, 8, 0, 31, 0}, false, 10).front().find("STOPPED") !=
              std::string::npos);
}

TEST(StatusReport, TheNextRunIsTodayUntilItsSecondAndTomorrowFromIt) {
  const std::pair<DateTime, const char*> cases[] = {
      {{2026, 12, 8, 0, 29, 59}, "2026-12-08 00:30:00 (in 1 s)"},
      {{2026, 12, 8, 0, 0, 0}, "2026-12-08 00:30:00 (in 30 min)"},
      {{2026, 12, 8, 0, 30, 0}, "2026-12-09 00:30:00 (in 24 h 0 min)"},
      {{2026, 12, 31, 22, 15, 0}, "2027-01-01 00:30:00 (in 2 h 15 min)"},
  };
  for (const auto& [now, expected] : cases) {
    EXPECT_EQ(ctl::next_run_text(now), expected) << clock_text(now);
  }
}

}  // namespace
}  // namespace velmora::testing
