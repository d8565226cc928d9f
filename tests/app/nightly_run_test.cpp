#include "app/run/nightly_run.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "db/conexao.h"
#include "tests/app/run_fixture.h"
#include "transfer/frmatualizacao.h"

namespace velmora::testing {
namespace {

using namespace dec8;

class NightlyRun : public RunTest {
 protected:
  void expect_consultation_rows(const Rows& estagiario, const Rows& pagamento) {
    EXPECT_EQ(estagiario_rows(), estagiario);
    EXPECT_EQ(pagamento_rows(), pagamento);
  }
  int runs_started(const StatementFaults& recorder) {
    int count = 0;
    for (const auto& s : recorder.statements()) {
      if (s.text.starts_with("Insert into vlmr_logtransferencia")) ++count;
    }
    return count;
  }
};

TEST_P(NightlyRun, SuccessfulRunIssuesItsStatementsInOrderAndLogsSemErro) {
  seed_consultation_rows();
  create_snapshot_pair("2026_12_06");
  const Rows estagiario = estagiario_rows();
  const Rows pagamento = pagamento_rows();
  StatementFaults recorder;
  // The end row reads the clock afresh.
  recorder.when("Drop table cons_pagamento_2026_12_06",
                [this] { clock_.set(2026, 12, 8, 0, 30, 1); });

  tempo_Timer();

  const auto expected = concat({{start_row(), snapshot_interns(), snapshot_payments()},
                                retention(true),
                                {end_row(" SEM ERRO", "00:30:01")}});
  EXPECT_EQ(recorder.run_statements(), expected);
  // The transfers' statements all come between the snapshots and the retention.
  const auto& all = recorder.statements();
  ASSERT_GE(all.size(), expected.size());
  EXPECT_EQ(std::vector<Statement>(all.begin(), all.begin() + 3),
            std::vector<Statement>(expected.begin(), expected.begin() + 3));
  EXPECT_EQ(std::vector<Statement>(all.end() - 5, all.end()),
            std::vector<Statement>(expected.end() - 5, expected.end()));

  EXPECT_EQ(log_rows(), (Rows{{"2026-12-08", "00:30:00 ", "00:30:01 ", " SEM ERRO"}}));
  EXPECT_EQ(frmatualizacao.erro_execucao, " SEM ERRO");
  EXPECT_EQ(sql, end_row(" SEM ERRO", "00:30:01").text);
  EXPECT_EQ(estagiario_rows("cons_estagiario_2026_12_07"), estagiario);
  EXPECT_EQ(pagamento_rows("cons_pagamento_2026_12_07"), pagamento);
  EXPECT_EQ(consultation_tables(),
            (std::vector<std::string>{"cons_estagiario", "cons_estagiario_2026_12_07",
                                      "cons_estagiarioelogio", "cons_pagamento",
                                      "cons_pagamento_2026_12_07"}));
  EXPECT_TRUE(all_connections_closed());
  EXPECT_TRUE(modal_boxes.empty());
  EXPECT_TRUE(reports.empty());
}

// A failure in the main stage after the log row exists: the outcome is
// logged, the e-mail goes out, and the consultation tables end as they were.
struct MainStepFailure {
  const char* step;
  std::vector<std::pair<std::string, std::string>> setup;  // catalog, statement
  std::vector<Statement> main_stage;
  bool restored;
};

TEST_P(NightlyRun, FailureInAMainStepLogsItAndLeavesTheConsultationTablesAsTheyWere) {
  const std::vector<MainStepFailure> cases = {
      {"the date's cons_estagiario snapshot already exists",
       {{"consulta_tessarin", "CREATE TABLE cons_estagiario_2026_12_07 (matricula int)"},
        {"consulta_tessarin", "INSERT INTO cons_estagiario_2026_12_07 VALUES (999)"}},
       {start_row(), snapshot_interns()},
       false},
      {"the date's cons_pagamento snapshot already exists",
       {{"consulta_tessarin", "CREATE TABLE cons_pagamento_2026_12_07 (matricula int)"},
        {"consulta_tessarin", "INSERT INTO cons_pagamento_2026_12_07 VALUES (999)"}},
       {start_row(), snapshot_interns(), snapshot_payments()},
       false},
      {"the intern table is missing",
       {{"Velmora", "DROP TABLE vlmr_estagiario"}},
       {start_row(), snapshot_interns(), snapshot_payments(), drop_interns(), drop_payments(),
        restore_interns(), restore_payments()},
       true},
      {"the payment table is missing",
       {{"Velmora", "DROP TABLE vlmr_pagamento"}},
       {start_row(), snapshot_interns(), snapshot_payments(), drop_interns(), drop_payments(),
        restore_interns(), restore_payments()},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step);
    fresh_databases();
    modal_boxes.clear();
    seed_consultation_rows();
    const Rows estagiario = estagiario_rows();
    const Rows pagamento = pagamento_rows();
    for (const auto& [catalog, statement] : c.setup) db_->exec(catalog, statement);
    StatementFaults recorder;

    tempo_Timer();

    const std::string erro = frmatualizacao.erro_execucao;
    EXPECT_TRUE(std::regex_match(erro, std::regex(R"(-?[0-9]+ - [^']+)"))) << erro;
    // Only a run that took both of its snapshots runs the retention.
    EXPECT_EQ(recorder.run_statements(),
              concat({c.main_stage,
                      c.restored ? retention(false) : std::vector<Statement>{},
                      {end_row(erro)}}));
    EXPECT_EQ(log_rows(), (Rows{{"2026-12-08", "00:30:00 ", "00:30:00 ", erro}}));
    expect_consultation_rows(estagiario, pagamento);
    EXPECT_EQ(modal_boxes.size(), 1u) << "the e-mail is sent";
    EXPECT_TRUE(reports.empty());
    EXPECT_TRUE(all_connections_closed());
    if (!c.restored) {
      // The snapshot that made the run fail is left as it was.
      const std::string table = std::string(c.step).find("cons_estagiario") != std::string::npos
                                    ? "cons_estagiario_2026_12_07"
                                    : "cons_pagamento_2026_12_07";
      EXPECT_EQ(db_->query("consulta_tessarin", "SELECT matricula FROM " + table), (Rows{{"999"}}));
    }
  }
}

TEST_P(NightlyRun, FailureOfTheStartRowSkipsTheRestoreAndStillMailsAndCloses) {
  seed_consultation_rows();
  const Rows estagiario = estagiario_rows();
  const Rows pagamento = pagamento_rows();
  StatementFaults recorder;
  recorder.fail_once("Insert into vlmr_logtransferencia");

  tempo_Timer();

  EXPECT_EQ(recorder.run_statements(),
            (std::vector<Statement>{start_row(), end_row(kInjectedOutcome)}));
  EXPECT_EQ(frmatualizacao.erro_execucao, kInjectedOutcome);
  EXPECT_TRUE(log_rows().empty()) << "the end row finds no start row";
  expect_consultation_rows(estagiario, pagamento);
  EXPECT_EQ(modal_boxes.size(), 1u);
  EXPECT_TRUE(reports.empty());
  EXPECT_TRUE(all_connections_closed());
}

// A server that cannot be reached when the run opens its connection.
TEST_P(NightlyRun, UnreachableSourceIsReportedWithoutTouchingTheConsultationTables) {
  seed_consultation_rows();
  const Rows estagiario = estagiario_rows();
  const Rows pagamento = pagamento_rows();
  site.source_server = GetParam() == Backend::kEmbedded
                           ? "sqlite:/nonexistent/velmora"
                           : "127.0.0.1," + std::to_string(closed_loopback_port());
  set_deployment_for_testing(&site);
  StatementFaults recorder;

  tempo_Timer();

  // The end row cannot be written on the unopened source connection: that
  // second failure ends the failure branch, no fresh source connection opens
  // for the end row either, and the second failure is reported.
  const std::string erro = frmatualizacao.erro_execucao;
  EXPECT_NE(erro, " SEM ERRO");
  EXPECT_EQ(recorder.run_statements(), (std::vector<Statement>{end_row(erro)}));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_TRUE(reports[0].starts_with("Erro na atualização do Consulta Velmora: 3704 - "))
      << reports[0];
  EXPECT_EQ(modal_boxes.size(), 1u) << "the e-mail is sent";
  expect_consultation_rows(estagiario, pagamento);
  EXPECT_TRUE(all_connections_closed());
}

// The failure branch cannot reopen the consultation connection either; the
// run still mails, completes its start row and closes, and reports that.
TEST_P(NightlyRun, UnreachableConsultationServerIsMailedLoggedAndReported) {
  site.consulta_server = GetParam() == Backend::kEmbedded
                             ? "sqlite:/nonexistent/velmora"
                             : "127.0.0.1," + std::to_string(closed_loopback_port());
  set_deployment_for_testing(&site);
  StatementFaults recorder;

  tempo_Timer();

  const std::string erro = frmatualizacao.erro_execucao;
  EXPECT_EQ(recorder.run_statements(), (std::vector<Statement>{start_row(), end_row(erro)}));
  EXPECT_EQ(log_rows(), (Rows{{"2026-12-08", "00:30:00 ", "00:30:00 ", erro}}));
  EXPECT_EQ(reports.size(), 1u);
  EXPECT_EQ(modal_boxes.size(), 1u) << "the e-mail is sent";
  EXPECT_TRUE(all_connections_closed());
}

// A failure after the transfers, while the outcome is success, sends the run
// once into the failure branch: the rebuild is given up for the snapshots.
TEST_P(NightlyRun, FailureInTheSuccessBranchReturnsOnceToTheFailureBranch) {
  struct Case {
    const char* where;
    const char* failing_statement;  // or nullptr
    const char* failing_closing;    // module whose closing fails, or nullptr
    std::vector<Statement> success_part;
  };
  const std::vector<Case> cases = {
      {"the retention drop",
       "Drop table cons_estagiario_2026_12_06",
       nullptr,
       {retention(true)[0], retention(true)[1]}},
      {"the end row", "Update vlmr_logtransferencia", nullptr,
       concat({retention(true), {end_row(" SEM ERRO")}})},
      {"closing the source connection", nullptr, "CONEXAO",
       concat({retention(true), {end_row(" SEM ERRO")}})},
      {"closing the consultation connection", nullptr, "Conexao2",
       concat({retention(true), {end_row(" SEM ERRO")}})},
      {"closing the organiser connection", nullptr, "conexao3",
       concat({retention(true), {end_row(" SEM ERRO")}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    fresh_databases();
    modal_boxes.clear();
    seed_consultation_rows();
    create_snapshot_pair("2026_12_06");
    const Rows estagiario = estagiario_rows();
    const Rows pagamento = pagamento_rows();
    StatementFaults recorder;
    if (c.failing_statement) recorder.fail_once(c.failing_statement);
    bool thrown = false;
    if (c.failing_closing) {
      nightly_run::set_closing_hook_for_testing([&](std::string_view module) {
        if (module == c.failing_closing && !thrown) {
          thrown = true;
          throw injected_failure();
        }
      });
    }

    tempo_Timer();
    nightly_run::set_closing_hook_for_testing({});

    // The retention pair is gone after the first pass unless its drop failed.
    const bool pair_left = std::string(c.where).starts_with("the retention drop");
    EXPECT_EQ(recorder.run_statements(),
              concat({{start_row(), snapshot_interns(), snapshot_payments()},
                      c.success_part,
                      {drop_interns(), drop_payments(), restore_interns(), restore_payments()},
                      retention(pair_left),
                      {end_row(kInjectedOutcome)}}));
    EXPECT_EQ(log_rows(), (Rows{{"2026-12-08", "00:30:00 ", "00:30:00 ", kInjectedOutcome}}));
    expect_consultation_rows(estagiario, pagamento);
    EXPECT_EQ(modal_boxes.size(), 1u);
    EXPECT_TRUE(reports.empty());
    EXPECT_TRUE(all_connections_closed());
  }
}

TEST_P(NightlyRun, FailureInsideTheFailureBranchIsReportedAndTheNextNightRunsAgain) {
  seed_consultation_rows();
  const Rows estagiario = estagiario_rows();
  const Rows pagamento = pagamento_rows();
  db_->exec("Velmora", "DROP TABLE vlmr_logtransferencia");
  {
    StatementFaults recorder;
    tempo_Timer();
    // The start row fails, and so does the end row in the failure branch.
    EXPECT_EQ(recorder.run_statements().back().text.substr(0, 28), "Update vlmr_logtransferencia");
  }
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_TRUE(reports[0].starts_with("Erro na atualização do Consulta Velmora: ")) << reports[0];
  EXPECT_NE(reports[0].find("vlmr_logtransferencia"), std::string::npos) << reports[0];
  EXPECT_EQ(modal_boxes.size(), 1u);
  EXPECT_TRUE(all_connections_closed());
  EXPECT_FALSE(frmatualizacao.run_in_progress);
  expect_consultation_rows(estagiario, pagamento);

  db_->exec("Velmora",
            "CREATE TABLE vlmr_logtransferencia (data varchar(10), hora_inicial varchar(10), "
            "hora_final varchar(10), erro varchar(1000))");
  clock_.set(2026, 12, 9, 0, 30, 0);
  tempo_Timer();
  EXPECT_EQ(log_rows(), (Rows{{"2026-12-09", "00:30:00 ", "00:30:00 ", " SEM ERRO"}}));
  EXPECT_EQ(reports.size(), 1u);
}

// The date turns during the run (the clock set forward a day while the
// transfers run): the restore must read the snapshots that this run took,
// or the live tables, already dropped, would be lost.
TEST_P(NightlyRun, RestoreReadsTheSnapshotsTakenEvenWhenTheDateTurnsDuringTheRun) {
  seed_consultation_rows();
  const Rows estagiario = estagiario_rows();
  const Rows pagamento = pagamento_rows();
  db_->exec("Velmora", "DROP TABLE vlmr_pagamento");  // the payment transfer fails
  StatementFaults recorder;
  recorder.when("Select * into cons_pagamento_", [this] { clock_.set(2026, 12, 9, 0, 30, 0); });

  tempo_Timer();

  const auto statements = recorder.run_statements();
  ASSERT_GE(statements.size(), 7u);
  EXPECT_EQ(
      std::vector<Statement>(statements.begin(), statements.begin() + 7),
      (std::vector<Statement>{start_row(), snapshot_interns(), snapshot_payments(), drop_interns(),
                              drop_payments(), restore_interns(), restore_payments()}));
  EXPECT_TRUE(reports.empty()) << reports.front();
  expect_consultation_rows(estagiario, pagamento);
  EXPECT_TRUE(all_connections_closed());
}

TEST_P(NightlyRun, SecondRunOnTheSameDateFailsAtItsSnapshotAndKeepsTheFirstRunsTables) {
  seed_consultation_rows();
  tempo_Timer();
  ASSERT_EQ(frmatualizacao.erro_execucao, " SEM ERRO");
  const Rows estagiario = estagiario_rows();
  const Rows pagamento = pagamento_rows();
  const Rows snapshot_estagiario = estagiario_rows("cons_estagiario_2026_12_07");
  const Rows snapshot_pagamento = pagamento_rows("cons_pagamento_2026_12_07");

  // A second process (a fresh run guard), then a run started by hand.
  for (const char* how : {"second process", "by hand"}) {
    SCOPED_TRACE(how);
    modal_boxes.clear();
    StatementFaults recorder;
    clock_.set(2026, 12, 8, 0, 30, 0);
    if (std::string(how) == "by hand") {
      nightly_run::perform_run();
    } else {
      frmatualizacao.last_run_date.reset();
      tempo_Timer();
    }
    const std::string erro = frmatualizacao.erro_execucao;
    EXPECT_NE(erro, " SEM ERRO");
    EXPECT_EQ(recorder.run_statements(),
              (std::vector<Statement>{start_row(), snapshot_interns(), end_row(erro)}));
    expect_consultation_rows(estagiario, pagamento);
    EXPECT_EQ(estagiario_rows("cons_estagiario_2026_12_07"), snapshot_estagiario);
    EXPECT_EQ(pagamento_rows("cons_pagamento_2026_12_07"), snapshot_pagamento);
    EXPECT_EQ(modal_boxes.size(), 1u);
    // The end row finds its rows by date alone, so it also rewrites the
    // first run's outcome.
    for (const auto& row : log_rows()) EXPECT_EQ(row.at(3), erro);
  }
  EXPECT_EQ(log_rows().size(), 3u);
  EXPECT_TRUE(reports.empty());
}

TEST_P(NightlyRun, TicksStartOneRunPerDateAtExactlyHalfPastMidnight) {
  struct Tick {
    DateTime at;
    int runs_after;
  };
  const std::vector<Tick> ticks = {
      {{2026, 12, 8, 0, 29, 59}, 0}, {{2026, 12, 8, 0, 30, 0}, 1},  {{2026, 12, 8, 0, 30, 0}, 1},
      {{2026, 12, 8, 0, 30, 1}, 1},  {{2026, 12, 8, 12, 30, 0}, 1}, {{2026, 12, 9, 0, 29, 59}, 1},
      {{2026, 12, 9, 0, 30, 0}, 2},  {{2026, 12, 9, 0, 30, 0}, 2},
  };
  StatementFaults recorder;
  for (const auto& tick : ticks) {
    clock_.now_ = tick.at;
    tempo_Timer();
    EXPECT_EQ(runs_started(recorder), tick.runs_after)
        << "after the tick at " << date_text(tick.at) << " " << clock_text(tick.at);
  }
}

TEST_P(NightlyRun, TickDuringARunStartsNoSecondRun) {
  // Started by a tick, and started by hand (where no date of a last run
  // holds the nested tick back).
  for (const char* how : {"tick", "by hand"}) {
    SCOPED_TRACE(how);
    fresh_databases();
    StatementFaults recorder;
    // Nested ticks come from the e-mail's box (a nested event loop) and,
    // for good measure, from inside the transfers.
    recorder.fail_once("Delete from cons_pagamento");
    int nested_ticks = 0;
    while_box_is_shown = [&] {
      ++nested_ticks;
      EXPECT_TRUE(frmatualizacao.run_in_progress);
      tempo_Timer();
    };
    recorder.when("Delete from cons_estagiario", [&] {
      ++nested_ticks;
      tempo_Timer();
    });
    if (std::string(how) == "tick") {
      tempo_Timer();
    } else {
      nightly_run::perform_run();
    }
    while_box_is_shown = nullptr;
    EXPECT_EQ(nested_ticks, 2);
    EXPECT_EQ(runs_started(recorder), 1);
    EXPECT_FALSE(frmatualizacao.run_in_progress);
    EXPECT_EQ(log_rows().size(), 1u);
  }
}

// The e-mail's box left open until the next night's 00:30:00: the tick seen
// there by its nested event loop starts nothing, the end row still completes
// the run's own start row, and that night gets no run afterwards.
TEST_P(NightlyRun, BoxLeftOpenIntoTheNextNightFinishesTheRunOfItsOwnDate) {
  seed_consultation_rows();
  db_->exec("Velmora", "DROP TABLE vlmr_pagamento");  // the payment transfer fails, the mail fails
  StatementFaults recorder;
  while_box_is_shown = [&] {
    clock_.set(2026, 12, 9, 0, 30, 0);
    tempo_Timer();
    EXPECT_EQ(runs_started(recorder), 1) << "a tick inside the box started a run";
    clock_.set(2026, 12, 9, 0, 30, 4);
  };

  tempo_Timer();
  while_box_is_shown = nullptr;

  const std::string erro = frmatualizacao.erro_execucao;
  EXPECT_EQ(modal_boxes.size(), 1u);
  EXPECT_EQ(recorder.run_statements().back(), end_row(erro, "00:30:04"));
  EXPECT_EQ(log_rows(), (Rows{{"2026-12-08", "00:30:00 ", "00:30:04 ", erro}}));
  EXPECT_TRUE(reports.empty());
  EXPECT_TRUE(all_connections_closed());

  clock_.set(2026, 12, 9, 0, 30, 5);
  tempo_Timer();
  EXPECT_EQ(runs_started(recorder), 1);
}

TEST_P(NightlyRun, DatesAcrossMonthYearAndLeapDayEnds) {
  struct Case {
    DateTime when;
    std::string date, snapshot, retention;
  };
  const std::vector<Case> cases = {
      {{2027, 1, 1, 0, 30, 0}, "2027-01-01", "2026_12_31", "2026_12_30"},
      {{2028, 3, 1, 0, 30, 0}, "2028-03-01", "2028_02_29", "2028_02_28"},
      {{2024, 3, 1, 0, 30, 0}, "2024-03-01", "2024_02_29", "2024_02_28"},
      {{2025, 3, 1, 0, 30, 0}, "2025-03-01", "2025_02_28", "2025_02_27"},
      {{2024, 3, 6, 0, 30, 0}, "2024-03-06", "2024_03_05", "2024_03_04"},
  };
  const std::string check =
      "SELECT * FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_TYPE = 'BASE TABLE' and TABLE_NAME= ";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.date);
    fresh_databases();
    create_snapshot_pair(c.retention);
    clock_.now_ = c.when;
    StatementFaults recorder;
    nightly_run::perform_run();
    const std::string v = "Velmora", k = "consulta_tessarin";
    EXPECT_EQ(recorder.run_statements(),
              (std::vector<Statement>{
                  {v, "Insert into vlmr_logtransferencia(data,hora_inicial)values('" + c.date +
                          "','00:30:00 ')"},
                  {k, "Select * into cons_estagiario_" + c.snapshot + " from cons_estagiario "},
                  {k, "Select * into cons_pagamento_" + c.snapshot + " from cons_pagamento "},
                  {k, check + "'cons_estagiario_" + c.retention + "'"},
                  {k, "Drop table cons_estagiario_" + c.retention},
                  {k, check + "'cons_pagamento_" + c.retention + "'"},
                  {k, "Drop table cons_pagamento_" + c.retention},
                  {v,
                   "Update vlmr_logtransferencia set hora_final = '00:30:00 ',erro = ' SEM ERRO' "
                   "where data ='" +
                       c.date + "' "},
              }));
    EXPECT_EQ(log_rows(), (Rows{{c.date, "00:30:00 ", "00:30:00 ", " SEM ERRO"}}));
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, NightlyRun,
                         ::testing::Values(Backend::kEmbedded, Backend::kPostgres), BackendName);

}  // namespace
}  // namespace velmora::testing
