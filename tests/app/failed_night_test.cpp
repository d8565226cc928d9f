#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/run/nightly_run.h"
#include "ctl/ctl.h"
#include "db/conexao.h"
#include "tests/app/run_fixture.h"
#include "tests/support/postgres.h"
#include "tests/transfer/intern_rows.h"
#include "transfer/frmatualizacao.h"

namespace velmora::testing {
namespace {

using namespace dec8;

class FailedNight : public RunTest {
 protected:
  // One intern in unit VC1 with one payment, and old consultation rows.
  void seed() {
    seed_consultation_rows();
    db_->exec("Velmora", intern_insert("300", {}) +
                             "insert into vlmr_estagiariodesignacao values "
                             "(1,'300','2025-01-02 00:00:00',NULL,'VC1');"
                             "insert into vlmr_pagamento(matricula, anomes, valor, Dtproc) values "
                             "('300', '202611', 800.00, '2026-11-30 00:00:00');");
    db_->exec("CALVERIN",
              "insert into gruposorgaos values (1, 'Foro Central');"
              "insert into orgaos values (10, 'Vara Civel', 'VC1', 'R1', 1);");
  }
  Rows source_rows() {
    Rows rows;
    for (const char* table : {"vlmr_estagiario", "vlmr_estagiariodesignacao", "vlmr_pagamento"}) {
      for (auto& row : db_->query("Velmora", std::string("select matricula from ") + table)) {
        rows.push_back(row);
      }
    }
    return rows;
  }
  std::string unreachable_server() {
    return GetParam() == Backend::kEmbedded ? "sqlite:/nonexistent/velmora"
                                            : "127.0.0.1," + std::to_string(closed_loopback_port());
  }
  // Points the run's connections at `server` from now on.
  void move_source(const std::string& server) {
    site.source_server = server;
    set_deployment_for_testing(&site);
  }
  void move_consulta(const std::string& server) {
    site.consulta_server = server;
    set_deployment_for_testing(&site);
  }
  int mails() {
    int count = 0;
    for (const auto& box : modal_boxes)
      count += box.starts_with("Ocorreu um erro no envio do e-mail");
    return count;
  }
};

// A night whose failure branch cannot do its work, or fails on its way, still
// mails the operators once and completes its start row where the source can
// be reached; the next night, with everything back, rebuilds the tables.
TEST_P(FailedNight, IsMailedAndLoggedOnceAndTheNextNightRebuilds) {
  enum class Tables { kAsBefore, kInternsRebuilt };
  struct Case {
    const char* what;
    std::function<void(StatementFaults&)> break_it;
    std::function<void()> bring_back;
    // The run driver's statements, given the logged outcome.
    std::function<std::vector<Statement>(const std::string&)> statements;
    bool end_row_logged;
    Tables tables;
    bool reported;                // the failure branch's own failure went to the report
    bool needs_a_server = false;  // only where logins exist
  };
  std::unique_ptr<PostgresTestCluster> refusing;  // a server that refuses the login
  std::string away;                               // what a case moved out of the way
  const std::vector<Case> cases = {
      {"the consultation server is down, and the date turns while the mail's box is up",
       [&](StatementFaults&) {
         move_consulta(unreachable_server());
         while_box_is_shown = [&] { clock_.set(2026, 12, 9, 0, 30, 4); };
       },
       [&] { move_consulta(db_->server()); },
       [](const std::string& erro) {
         return std::vector<Statement>{start_row(), end_row(erro, "00:30:04")};
       },
       true, Tables::kAsBefore, true},
      {"the consultation server goes away during the payment transfer",
       [&](StatementFaults& faults) {
         faults.fail_once("Delete from cons_pagamento");
         faults.when("Delete from cons_pagamento", [&] { move_consulta(unreachable_server()); });
       },
       [&] { move_consulta(db_->server()); },
       [](const std::string&) {
         return std::vector<Statement>{start_row(), snapshot_interns(), snapshot_payments(),
                                       end_row(kInjectedOutcome)};
       },
       true, Tables::kInternsRebuilt, true},
      {"the organiser catalog is missing",
       [&](StatementFaults&) {
         if (GetParam() == Backend::kEmbedded) {
           away = dynamic_cast<EmbeddedDatabases&>(*db_).dir() + "/CALVERIN.db";
           std::filesystem::rename(away, away + ".away");
         } else {
           db_->exec("CALVERIN", "alter table orgaos rename to orgaos_away");
         }
       },
       [&] {
         if (GetParam() == Backend::kEmbedded) {
           std::filesystem::rename(away + ".away", away);
         } else {
           db_->exec("CALVERIN", "alter table orgaos_away rename to orgaos");
         }
       },
       [](const std::string& erro) {
         return concat({{start_row(), snapshot_interns(), snapshot_payments(), drop_interns(),
                         drop_payments(), restore_interns(), restore_payments()},
                        retention(false),
                        {end_row(erro)}});
       },
       true, Tables::kAsBefore, false},
      {"the source server is down", [&](StatementFaults&) { move_source(unreachable_server()); },
       [&] { move_source(db_->server()); },
       // The failure branch's end row fails on the unopened connection, and
       // the fallback cannot open a fresh one.
       [](const std::string& erro) { return std::vector<Statement>{end_row(erro)}; }, false,
       Tables::kAsBefore, true},
      {"the source server refuses the login",
       [&](StatementFaults&) {
         refusing = std::make_unique<PostgresTestCluster>();
         refusing->refuse_login();
         move_source(refusing->server());
       },
       [&] {
         EXPECT_NE(frmatualizacao.erro_execucao.find("not permitted to log in"), std::string::npos)
             << frmatualizacao.erro_execucao;
         move_source(db_->server());
         refusing.reset();
       },
       [](const std::string& erro) { return std::vector<Statement>{end_row(erro)}; }, false,
       Tables::kAsBefore, true, true},
      {"the consultation connection's closing fails in both passes",
       [&](StatementFaults&) {
         nightly_run::set_closing_hook_for_testing([](std::string_view module) {
           if (module == "Conexao2") throw injected_failure();
         });
       },
       [] { nightly_run::set_closing_hook_for_testing({}); },
       [](const std::string&) {
         return concat({{start_row(), snapshot_interns(), snapshot_payments()},
                        retention(false),
                        {end_row(" SEM ERRO"), drop_interns(), drop_payments(), restore_interns(),
                         restore_payments()},
                        retention(false),
                        {end_row(kInjectedOutcome)}});
       },
       true, Tables::kAsBefore, true},
  };

  seed();
  nightly_run::perform_run();
  ASSERT_EQ(frmatualizacao.erro_execucao, " SEM ERRO");
  const Rows new_estagiario = estagiario_rows();
  const Rows new_pagamento = pagamento_rows();

  for (const auto& c : cases) {
    if (c.needs_a_server && GetParam() != Backend::kPostgres) continue;
    SCOPED_TRACE(c.what);
    fresh_databases();
    seed();
    modal_boxes.clear();
    reports.clear();
    const Rows old_estagiario = estagiario_rows();
    const Rows old_pagamento = pagamento_rows();
    const Rows source = source_rows();
    {
      StatementFaults faults;
      c.break_it(faults);
      tempo_Timer();
      while_box_is_shown = nullptr;
      c.bring_back();

      const std::string erro = frmatualizacao.erro_execucao;
      EXPECT_NE(erro, " SEM ERRO");
      EXPECT_EQ(erro.find('\''), std::string::npos) << erro;
      EXPECT_EQ(faults.run_statements(), c.statements(erro));
      EXPECT_EQ(sql, c.statements(erro).back().text);
      if (c.end_row_logged) {
        // The time written by the last end row: hora_final = 'HH:MM:SS '.
        const std::string end = c.statements(erro).back().text;
        const std::string hora_final = end.substr(end.find("= '") + 3, 9);
        EXPECT_EQ(log_rows(), (Rows{{"2026-12-08", "00:30:00 ", hora_final, erro}}));
      } else {
        EXPECT_TRUE(log_rows().empty());
      }
    }
    EXPECT_EQ(estagiario_rows(), c.tables == Tables::kAsBefore ? old_estagiario : new_estagiario);
    EXPECT_EQ(pagamento_rows(), old_pagamento);
    EXPECT_EQ(source_rows(), source);
    EXPECT_EQ(mails(), 1);
    ASSERT_EQ(reports.size(), c.reported ? 1u : 0u);
    if (c.reported) {
      EXPECT_TRUE(reports[0].starts_with("Erro na atualização do Consulta Velmora: "))
          << reports[0];
    }
    EXPECT_TRUE(all_connections_closed());
    EXPECT_FALSE(frmatualizacao.run_in_progress);

    clock_.set(2026, 12, 9, 0, 30, 0);
    tempo_Timer();
    EXPECT_EQ(frmatualizacao.erro_execucao, " SEM ERRO");
    EXPECT_EQ(db_->query("Velmora",
                         "select hora_final, erro from vlmr_logtransferencia where data = "
                         "'2026-12-09'"),
              (Rows{{"00:30:00 ", " SEM ERRO"}}));
    EXPECT_EQ(estagiario_rows(), new_estagiario);
    EXPECT_EQ(pagamento_rows(), new_pagamento);
    EXPECT_EQ(mails(), 1);
    EXPECT_EQ(reports.size(), c.reported ? 1u : 0u);
    clock_.set(2026, 12, 8, 0, 30, 0);
  }
}

// A live table that a failed night could not put back makes every later
// night fail at its first snapshot. None of those nights may drop a pair:
// the pair taken before the first of them is the copy the operator restores
// from, however many nights have failed meanwhile.
TEST_P(FailedNight, NightsFailingAtTheirSnapshotsKeepThePairThatRestoresTheTables) {
  seed_consultation_rows();
  const Rows old_estagiario = estagiario_rows();
  const Rows old_pagamento = pagamento_rows();
  // The night of 2026-12-07 took this pair, then lost cons_estagiario.
  for (const char* table : {"cons_estagiario", "cons_pagamento"}) {
    db_->exec("consulta_tessarin",
              std::string("CREATE TABLE ") + table + "_2026_12_06 AS SELECT * FROM " + table);
  }
  db_->exec("consulta_tessarin", "DROP TABLE cons_estagiario");
  const std::vector<std::string> tables_left = consultation_tables();

  for (int day : {8, 9, 10}) {
    SCOPED_TRACE(day);
    const std::string date = (day < 10 ? "2026-12-0" : "2026-12-") + std::to_string(day);
    const std::string suffix = "2026_12_0" + std::to_string(day - 1);
    clock_.set(2026, 12, day, 0, 30, 0);
    StatementFaults recorder;
    tempo_Timer();
    const std::string erro = frmatualizacao.erro_execucao;
    EXPECT_NE(erro, " SEM ERRO");
    EXPECT_EQ(recorder.texts(),
              (std::vector<std::string>{
                  "Insert into vlmr_logtransferencia(data,hora_inicial)values('" + date +
                      "','00:30:00 ')",
                  "Select * into cons_estagiario_" + suffix + " from cons_estagiario ",
                  "Update vlmr_logtransferencia set hora_final = '00:30:00 ',erro = '" + erro +
                      "' where data ='" + date + "' "}));
    EXPECT_EQ(consultation_tables(), tables_left);
  }
  EXPECT_EQ(mails(), 3);
  EXPECT_TRUE(reports.empty()) << reports.front();

  std::ostringstream out, err;
  std::istringstream in;
  ctl::Console console{out, err, in};
  ASSERT_EQ(ctl::run({"restore", "--suffix", "2026_12_06", "--yes"}, console), ctl::kSuccess)
      << err.str();
  EXPECT_EQ(estagiario_rows(), old_estagiario);
  EXPECT_EQ(pagamento_rows(), old_pagamento);
}

INSTANTIATE_TEST_SUITE_P(Backends, FailedNight,
                         ::testing::Values(Backend::kEmbedded, Backend::kPostgres), BackendName);

}  // namespace
}  // namespace velmora::testing
