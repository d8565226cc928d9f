#include "ctl/status_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ctl/status_model.h"

namespace velmora::testing {
namespace {

using ctl::LogRow;
using ::testing::HasSubstr;

ctl::StatusFacts log_facts(std::vector<LogRow> log, const DateTime& now, bool run_lock_held) {
  ctl::StatusFacts facts;
  facts.now = now;
  facts.log_read = true;
  facts.log = std::move(log);
  facts.consulta_failure = "not read here";
  facts.nightly = LockHolder{9, "velmora", "2026-12-01 08:00:00", "", ""};
  if (run_lock_held) facts.run = LockHolder{9, "velmora", "2026-12-08 00:30:00", "", ""};
  return facts;
}

// The report's lines from "Runs" up to the snapshot pairs.
std::vector<std::string> run_log_lines(std::vector<LogRow> log, const DateTime& now,
                                       bool run_lock_held, std::size_t shown) {
  const ctl::StatusFacts facts = log_facts(std::move(log), now, run_lock_held);
  const auto lines = ctl::report_lines(facts, ctl::assess(facts, {}), shown);
  auto end = std::find(lines.begin(), lines.end(), "Snapshot pairs:");
  return std::vector<std::string>(lines.begin() + 1, end);
}

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
      "  2026-12-04  00:30:00  00:30:09  FAILED: -7 - Table x is missing.",
      "Nights of the last week WITHOUT A RUN (no nightly process was running at 00:30:00, its "
      "clock skipped that second, or the source database was unreachable):",
      "  2026-12-08",
      "  2026-12-06",
      "  2026-12-03",
      "  2026-12-02",
  };
  EXPECT_EQ(run_log_lines(log, {2026, 12, 8, 0, 30, 0}, false, 10), expected);
  // Before the trigger second today's night is still to come.
  const auto before = run_log_lines(log, {2026, 12, 8, 0, 29, 59}, false, 2);
  EXPECT_EQ(std::vector<std::string>(before.begin() + 2, before.end()),
            (std::vector<std::string>{expected[3], "  2026-12-06", "  2026-12-03", "  2026-12-02",
                                      "  2026-12-01"}));
}

TEST(StatusReport, TheNewestRunWithoutAnEndIsInProgressWhileTheRunLockIsHeldWhateverTheDate) {
  const std::vector<LogRow> log = {{"2026-12-07", "00:30:00 ", "", ""}};
  // A box held the run past midnight: still in progress the next day.
  EXPECT_EQ(run_log_lines(log, {2026, 12, 8, 9, 31, 0}, true, 10).front(),
            "  2026-12-07  00:30:00  -         in progress");
  EXPECT_THAT(run_log_lines(log, {2026, 12, 8, 0, 31, 0}, false, 10).front(), HasSubstr("STOPPED"));
  // A restore holding the run lock writes no row: the row's run stopped.
  ctl::StatusFacts facts = log_facts(log, {2026, 12, 8, 9, 0, 0}, true);
  facts.run->program = "velmora-ctl restore";
  EXPECT_EQ(ctl::assess(facts, {}).runs.front().outcome, ctl::Outcome::kStopped);
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

// A consultation database as a good night leaves it on 2026-12-08 (its pair
// 2026_12_07), and a source that logged that night and the six before.
ctl::StatusFacts good_week(const DateTime& now) {
  ctl::StatusFacts facts;
  facts.now = now;
  facts.log_read = true;
  for (int day = 2; day <= 8; ++day) {
    facts.log.push_back({date_text({2026, 12, day}), "00:30:00 ", "00:30:20 ", " SEM ERRO"});
  }
  facts.consulta_read = true;
  facts.pairs = {{"2026_12_07", 1960, 23520}};
  facts.tables = {
      {"cons_estagiario", 2000}, {"cons_pagamento", 24000}, {"cons_estagiarioelogio", 7}};
  facts.nightly = LockHolder{42, "velmora", "2026-12-01 08:00:00", "", ""};
  return facts;
}

TEST(StatusCheck, EachStateGivesItsExitStatusAndFirstLine) {
  const DateTime morning{2026, 12, 8, 9, 0, 0};
  const struct {
    const char* what;
    std::function<void(ctl::StatusFacts&)> change;
    ctl::State state;
    std::string first_line;
  } cases[] = {
      {"a good night", [](auto&) {}, ctl::State::kOk,
       "VELMORA OK - night of 2026-12-08 ok in 20 s | duration=20s;;; interns=2000;;; "
       "payments=24000;;;"},
      {"a failed night that restored its tables",
       [](auto& f) {
         f.log.back().erro = "-7 - Table x is missing.";
         f.tables[0].rows = 1960;
         f.tables[1].rows = 23520;
       },
       ctl::State::kCritical,
       "VELMORA CRITICAL - night of 2026-12-08 failed: -7 - Table x is missing. | "
       "duration=20s;;; interns=1960;;; payments=23520;;;"},
      {"a failed night that did not restore them",
       [](auto& f) {
         f.log.back().erro = "5 - database is locked";
         f.tables[0].rows = 25;
       },
       ctl::State::kCritical,
       "VELMORA CRITICAL - night of 2026-12-08 failed and its tables are NOT RESTORED "
       "(cons_estagiario 25 rows, its snapshot 1960 rows; cons_pagamento 24000 rows, its "
       "snapshot 23520 rows): velmora-ctl restore --suffix 2026_12_07 | duration=20s;;; "
       "interns=25;;; payments=24000;;;"},
      {"tonight missed with no process",
       [](auto& f) {
         f.now = {2026, 12, 9, 0, 45, 0};
         f.nightly.reset();
       },
       ctl::State::kCritical,
       "VELMORA CRITICAL - night of 2026-12-09 did not run (no nightly process at 00:30:00) | "
       "duration=20s;;; interns=2000;;; payments=24000;;;"},
      {"tonight not yet missed within the grace", [](auto& f) { f.now = {2026, 12, 9, 0, 39, 0}; },
       ctl::State::kOk,
       "VELMORA OK - night of 2026-12-08 ok in 20 s | duration=20s;;; interns=2000;;; "
       "payments=24000;;;"},
      {"tonight missed while the process was up", [](auto& f) { f.now = {2026, 12, 9, 0, 41, 0}; },
       ctl::State::kCritical,
       "VELMORA CRITICAL - night of 2026-12-09 did not run (the nightly process logged no run "
       "at 00:30:00: its clock skipped that second, or the source database could not be "
       "reached) | duration=20s;;; interns=2000;;; payments=24000;;;"},
      {"a run stuck for 40 min",
       [](auto& f) {
         f.now = {2026, 12, 9, 1, 10, 0};
         f.log.push_back({"2026-12-09", "00:30:00 ", "", ""});
         f.run = LockHolder{42, "velmora", "2026-12-09 00:30:00", "", ""};
       },
       ctl::State::kCritical,
       "VELMORA CRITICAL - a run has been in progress for 40 min (velmora, pid 42, since "
       "2026-12-09 00:30:00): more than 30 min, a server may have stopped answering | "
       "duration=20s;;; interns=2000;;; payments=24000;;;"},
      {"a run held by the mail-failure box",
       [](auto& f) {
         f.now = {2026, 12, 9, 0, 32, 0};
         f.log.push_back({"2026-12-09", "00:30:00 ", "", ""});
         f.run = LockHolder{42, "velmora", "2026-12-09 00:30:00", "mail-failure box",
                            "2026-12-09 00:31:10"};
       },
       ctl::State::kCritical,
       "VELMORA CRITICAL - the run in progress (velmora, pid 42, since 2026-12-09 00:30:00) is "
       "held by the mail-failure box since 2026-12-09 00:31:10: the failure notice could not "
       "be sent, and the run ends when OK is pressed on the nightly process's desktop | "
       "duration=20s;;; interns=2000;;; payments=24000;;;"},
      {"a run in progress briefly",
       [](auto& f) {
         f.now = {2026, 12, 9, 0, 32, 0};
         f.log.push_back({"2026-12-09", "00:30:00 ", "", ""});
         f.run = LockHolder{42, "velmora", "2026-12-09 00:30:00", "", ""};
       },
       ctl::State::kOk,
       "VELMORA OK - night of 2026-12-08 ok in 20 s | duration=20s;;; interns=2000;;; "
       "payments=24000;;;"},
      {"a stopped run", [](auto& f) { f.log.back().hora_final = f.log.back().erro = ""; },
       ctl::State::kCritical,
       "VELMORA CRITICAL - night of 2026-12-08 stopped during the run (no end time, no run in "
       "progress): velmora-ctl restore --suffix 2026_12_07 | duration=20s;;; interns=2000;;; "
       "payments=24000;;;"},
      {"a missed night of the week and pairs no night drops",
       [](auto& f) {
         f.log.erase(f.log.begin() + 3);
         f.pairs.insert(f.pairs.begin(), {"2026_12_04", 1900, 22800});
         f.pairs.push_back({"2026_12_07_091500", 1960, std::nullopt});
       },
       ctl::State::kWarning,
       "VELMORA WARNING - nights of the last week without a run: 2026-12-05 | duration=20s;;; "
       "interns=2000;;; payments=24000;;;"},
      {"a slow night", [](auto& f) { f.log.back().hora_final = "00:45:00 "; }, ctl::State::kWarning,
       "VELMORA WARNING - night of 2026-12-08 took 15 min (more than 10 min) | duration=900s;;; "
       "interns=2000;;; payments=24000;;;"},
      {"an unreadable source",
       [](auto& f) {
         f.log_read = false;
         f.log.clear();
         f.log_failure = "08001 - could not connect";
       },
       ctl::State::kUnknown,
       "VELMORA UNKNOWN - the run log cannot be read: 08001 - could not connect | "
       "interns=2000;;; payments=24000;;;"},
      {"an unreadable source beside a known critical",
       [](auto& f) {
         f.log_read = false;
         f.log_failure = "time-out";
         f.nightly.reset();
       },
       ctl::State::kCritical,
       "VELMORA CRITICAL - no nightly process serves these databases on this machine: no run "
       "happens at 00:30:00 until it is started | interns=2000;;; payments=24000;;;"},
  };
  for (const auto& c : cases) {
    ctl::StatusFacts facts = good_week(morning);
    c.change(facts);
    const ctl::Status status = ctl::assess(facts, {});
    EXPECT_EQ(status.state, c.state) << c.what;
    const std::string text = ctl::check_text(facts, status);
    EXPECT_EQ(text.substr(0, text.find('\n')), c.first_line) << c.what;
  }
}

TEST(StatusCheck, PairsThatNoNightWillDropAreTheOlderOnesAndThoseKeptAside) {
  const struct {
    DateTime now;
    std::vector<std::string> suffixes;
    std::vector<std::string> orphans;
  } cases[] = {
      // Before 00:30 tonight's night drops the pair of two days before.
      {{2026, 12, 9, 0, 10, 0}, {"2026_12_06", "2026_12_07", "2026_12_08"}, {"2026_12_06"}},
      // From 00:30 (tonight's run done) the next night drops yesterday's.
      {{2026, 12, 9, 9, 0, 0}, {"2026_12_07", "2026_12_08"}, {"2026_12_07"}},
      {{2026, 12, 9, 9, 0, 0}, {"2026_12_08", "2026_12_08_091500"}, {"2026_12_08_091500"}},
  };
  for (const auto& c : cases) {
    ctl::StatusFacts facts = good_week(c.now);
    facts.log.push_back({"2026-12-09", "00:30:00 ", "00:30:20 ", " SEM ERRO"});
    facts.pairs.clear();
    for (const auto& s : c.suffixes) facts.pairs.push_back({s, 1, 1});
    EXPECT_EQ(ctl::assess(facts, {}).orphans, c.orphans) << clock_text(c.now);
  }
}

TEST(StatusReport, JsonAndMetricsCarryTheFactsOfTheModel) {
  ctl::StatusFacts facts = good_week({2026, 12, 8, 9, 0, 0});
  facts.log.back().erro = "5 - \"locked\"\n";
  facts.tables[0].rows = 25;
  const ctl::Status status = ctl::assess(facts, {});
  const std::string json = ctl::json_text(facts, status, {});
  for (const char* fragment :
       {"{\"state\":\"CRITICAL\",\"exit_status\":2,", "\"error\":\"5 - \\\"locked\\\"\\n\"",
        "\"failed_night\":{\"date\":\"2026-12-08\",\"pair\":\"2026_12_07\",\"verdict\":\"NOT "
        "RESTORED\",\"tables\":[{\"table\":\"cons_estagiario\",\"rows\":25,\"snapshot_rows\":"
        "1960}",
        "\"restore_command\":\"velmora-ctl restore --suffix 2026_12_07\"",
        "\"run_in_progress\":null}"}) {
    EXPECT_THAT(json, HasSubstr(fragment));
  }
  // Unix seconds counted from the local date for the test: a day is 86400.
  const auto unix = [](const DateTime& t) -> std::optional<std::int64_t> {
    return ctl::seconds_between({2026, 12, 1}, t);
  };
  const std::string metrics = ctl::metrics_text(facts, status, unix);
  for (const char* line :
       {"velmora_last_run_start_timestamp_seconds 606600\n",
        "velmora_last_run_end_timestamp_seconds 606620\n", "velmora_last_run_success 0\n",
        "velmora_last_run_failure_number 5\n", "velmora_last_run_duration_seconds 20\n",
        "velmora_last_success_timestamp_seconds 520220\n", "velmora_nightly_process_up 1\n",
        "velmora_failed_night_restored 0\n", "velmora_check_status 2\n",
        "velmora_table_rows{table=\"cons_estagiario\"} 25\n",
        "velmora_snapshot_rows{pair=\"2026_12_07\",table=\"cons_pagamento\"} 23520\n",
        "# TYPE velmora_run_in_progress gauge\nvelmora_run_in_progress 0\n"}) {
    EXPECT_THAT(metrics, HasSubstr(line));
  }
}

}  // namespace
}  // namespace velmora::testing
