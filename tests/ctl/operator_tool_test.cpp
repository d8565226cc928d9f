#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/run/nightly_run.h"
#include "app/run/process_locks.h"
#include "app/run/process_state.h"
#include "core/deployment.h"
#include "ctl/ctl.h"
#include "ctl/run_now.h"
#include "db/conexao.h"
#include "db/connection_text.h"
#include "tests/seed/seeded.h"
#include "tests/support/postgres.h"
#include "tests/support/smtp_server.h"
#include "transfer/frmatualizacao.h"

namespace velmora::testing {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

// velmora-ctl in this process, against databases of the test's own, with
// the clock at 2026-12-08 00:30:00 and a mail server that refuses.
class OperatorTool : public ::testing::Test {
 protected:
  void SetUp() override { clock.set(2026, 12, 8, 0, 30, 0); }
  void TearDown() override { reset_process_state_for_testing(); }

  void serve(const std::string& server, const std::string& driver = "FreeTDS") {
    reset_process_state_for_testing();
    set_clock(&clock);
    site = built_in_deployment();
    site.source_server = site.consulta_server = server;
    site.odbc_driver = driver;
    site.smtp_host = "127.0.0.1";
    site.smtp_port = closed_loopback_port();
    set_deployment_for_testing(&site);
  }
  void set_smtp_port(int port) {
    site.smtp_port = port;
    set_deployment_for_testing(&site);
  }

  int ctl(const std::vector<std::string>& args, bool terminal = false, std::string input = "") {
    out.str("");
    err.str("");
    in.str(input);
    in.clear();
    ctl::Console console{out, err, in, false, terminal};
    return ctl::run(args, console);
  }

  FakeClock clock;
  Deployment site;
  std::ostringstream out;
  std::ostringstream err;
  std::istringstream in;
};

std::string catalog_of(const Connection& c) {
  return parse_connection_text(c.ConnectionString()).catalog;
}

std::string count(const SeededDatabases& data, const std::string& table) {
  return data.answer("select count(*) from " + table);
}

TEST_F(OperatorTool, RunNowSendsExactlyTheStatementsOfTheTicksRun) {
  const SeededDatabases by_tick(120, clock.now());
  const SeededDatabases by_tool(120, clock.now());
  serve(by_tick.server());
  std::vector<Statement> tick;
  {
    StatementRecorder recorder;
    tempo_Timer();
    tick = recorder.statements();
  }
  ASSERT_EQ(frmatualizacao.erro_execucao, " SEM ERRO");

  serve(by_tool.server());
  std::vector<Statement> tool;
  ctl::RunNowOptions options;
  options.also_notify = [&](const Connection& c, const std::string& s) {
    tool.push_back({catalog_of(c), s});
  };
  ctl::Console console{out, err, in};
  EXPECT_EQ(ctl::run_now(options, console), ctl::kSuccess) << err.str();
  EXPECT_EQ(tool, tick);
  EXPECT_THAT(out.str(), HasSubstr("interns: 100% (120 of 120"));
  EXPECT_THAT(out.str(),
              HasSubstr("cons_estagiario: 120 rows written\ncons_pagamento: 1440 rows written\n"));
  EXPECT_THAT(out.str(), EndsWith("outcome:  SEM ERRO\n"));

  // Over the data set, the night writes the earlier night's rows again
  // unchanged, adds the interns registered since, and drops the pair the
  // earlier night left.
  for (const SeededDatabases* data : {&by_tick, &by_tool}) {
    for (const char* table : {"cons_estagiario", "cons_pagamento"}) {
      const std::string live = std::string("consulta_tessarin.") + table;
      EXPECT_EQ(
          count(*data, "(select * from " + live + "_2026_12_07 except select * from " + live + ")"),
          "0")
          << table;
    }
    EXPECT_EQ(count(*data, "consulta_tessarin.cons_estagiario"), "120");
    EXPECT_EQ(count(*data,
                    "consulta_tessarin.sqlite_schema where name like '%2026!_12!_06' "
                    "escape '!'"),
              "0");
  }
}

TEST_F(OperatorTool, RunNowRefusesARunThatWouldCollideAndRunsAgainOnlyWhenAsked) {
  const SeededDatabases data(40, clock.now());
  serve(data.server());
  {
    auto other = LockFile::try_take(run_lock_path(), "velmora-ctl restore");
    ASSERT_TRUE(other);
    EXPECT_EQ(ctl({"run-now"}), ctl::kFailure);
    EXPECT_THAT(err.str(), HasSubstr("a run is in progress on these databases "
                                     "(velmora-ctl restore, pid "));
  }
  {
    auto nightly = LockFile::try_take(instance_lock_path(), "velmora");
    clock.set(2026, 12, 8, 0, 10, 0);
    EXPECT_EQ(ctl({"run-now"}), ctl::kFailure);
    EXPECT_THAT(err.str(), HasSubstr("would fail at this run's snapshots (suffix 2026_12_07)"));
    clock.set(2026, 12, 8, 0, 30, 0);
  }
  EXPECT_EQ(count(data, "vlmr_logtransferencia"), "7");

  EXPECT_EQ(ctl({"run-now"}), ctl::kSuccess) << err.str();
  EXPECT_EQ(ctl({"run-now"}), ctl::kFailure);
  EXPECT_THAT(err.str(), HasSubstr("this date's snapshot pair (cons_estagiario_2026_12_07, "
                                   "cons_pagamento_2026_12_07) exists already"));
  EXPECT_EQ(count(data, "vlmr_logtransferencia"), "8");

  clock.set(2026, 12, 8, 9, 15, 0);
  EXPECT_EQ(ctl({"run-now", "--again"}), ctl::kSuccess) << err.str();
  EXPECT_THAT(out.str(), HasSubstr("kept cons_estagiario_2026_12_07 as "
                                   "cons_estagiario_2026_12_07_091500\n"));
  // The kept pair holds what the first run found; the new one what the
  // second found.
  EXPECT_EQ(count(data, "consulta_tessarin.cons_estagiario_2026_12_07_091500"), "39");
  EXPECT_EQ(count(data, "consulta_tessarin.cons_pagamento_2026_12_07_091500"), "468");
  EXPECT_EQ(count(data, "consulta_tessarin.cons_estagiario_2026_12_07"), "40");
  EXPECT_EQ(ctl({"status"}), ctl::kSuccess);
  EXPECT_THAT(out.str(), HasSubstr("  2026_12_07_091500: cons_estagiario_2026_12_07_091500 39 "
                                   "rows, cons_pagamento_2026_12_07_091500 468 rows (kept aside "
                                   "by run-now --again)\n"));
}

TEST_F(OperatorTool, RunNowOfAFailingNightPrintsTheNightsBoxAndEndsWithItsOutcome) {
  const SeededDatabases data(20, clock.now());
  data.exec("Velmora", "UPDATE vlmr_estagiario SET Numero = 'S/N' WHERE matricula = '100005'");
  serve(data.server());
  std::ostringstream box;
  std::streambuf* const standard_error = std::cerr.rdbuf(box.rdbuf());
  const int status = ctl({"run-now"});
  std::cerr.rdbuf(standard_error);
  EXPECT_EQ(status, ctl::kFailure);
  EXPECT_THAT(box.str(), HasSubstr("Velmora: Ocorreu um erro no envio do e-mail: "));
  // The earlier night's rows are back.
  EXPECT_THAT(out.str(), HasSubstr("cons_estagiario: now 19 rows\ncons_pagamento: now 228 rows\n"));
  EXPECT_THAT(out.str(), HasSubstr("outcome: 13 - Type mismatch: numero S/N is not a number"));
}

TEST_F(OperatorTool, RestoreReCreatesBothTablesWithTheStatementsOfAFailedNight) {
  const struct {
    const char* what;
    std::vector<std::string> dropped_before;
    std::vector<std::string> statements;
  } cases[] = {
      {"both live tables present",
       {},
       {" Drop table cons_estagiario", " Drop table cons_pagamento",
        "Select * into cons_estagiario from cons_estagiario_2026_12_06",
        "Select * into cons_pagamento from cons_pagamento_2026_12_06"}},
      {"a night that stopped after dropping cons_pagamento",
       {"cons_pagamento"},
       {" Drop table cons_estagiario",
        "Select * into cons_estagiario from cons_estagiario_2026_12_06",
        "Select * into cons_pagamento from cons_pagamento_2026_12_06"}},
  };
  for (const auto& c : cases) {
    const SeededDatabases data(30, clock.now());
    for (const auto& table : c.dropped_before)
      data.exec("consulta_tessarin", "DROP TABLE " + table);
    serve(data.server());
    std::vector<std::string> seen;
    set_statement_observer([&](const Connection& connection, const std::string& s) {
      if (Conexao2.cn && &connection == &Conexao2.cn.get()) seen.push_back(s);
    });
    EXPECT_EQ(ctl({"restore", "--suffix", "2026_12_06", "--yes"}), ctl::kSuccess)
        << c.what << ": " << err.str();
    EXPECT_EQ(seen, c.statements) << c.what;
    EXPECT_EQ(count(data, "consulta_tessarin.cons_estagiario"), "28") << c.what;
    EXPECT_EQ(count(data, "consulta_tessarin.cons_pagamento"), "336") << c.what;
    EXPECT_FALSE(Conexao2.cn) << c.what;
  }
}

TEST_F(OperatorTool, RestoreChangesNothingWithoutBothSnapshotsOrAConfirmation) {
  const SeededDatabases data(30, clock.now());
  serve(data.server());
  data.exec("consulta_tessarin", "DELETE FROM cons_estagiario WHERE rowid % 2 = 0");
  const std::string before = count(data, "consulta_tessarin.cons_estagiario");

  EXPECT_EQ(ctl({"restore", "--suffix", "2026_12_05", "--yes"}), ctl::kFailure);
  EXPECT_THAT(err.str(), HasSubstr("the snapshots cons_estagiario_2026_12_05 and "
                                   "cons_pagamento_2026_12_05 are missing; nothing was changed"));
  EXPECT_EQ(ctl({"restore", "--suffix", "2026_12_06"}), ctl::kFailure);
  EXPECT_THAT(err.str(), HasSubstr("not on a terminal: give --yes to confirm"));
  EXPECT_EQ(ctl({"restore", "--suffix", "2026_12_06"}, true, "n\n"), ctl::kFailure);
  EXPECT_THAT(out.str(), EndsWith("Replace them? [y/N] Nothing was changed.\n"));
  EXPECT_EQ(count(data, "consulta_tessarin.cons_estagiario"), before);

  EXPECT_EQ(ctl({"restore", "--suffix", "2026_12_06"}, true, "y\n"), ctl::kSuccess) << err.str();
  EXPECT_EQ(count(data, "consulta_tessarin.cons_estagiario"), "28");
}

TEST_F(OperatorTool, CheckPassesOnServingDatabasesAndAMailServerThatGreets) {
  const SeededDatabases data(5, clock.now());
  serve(data.server());
  SmtpTestServer smtp;
  set_smtp_port(smtp.port());
  EXPECT_EQ(ctl({"check"}), ctl::kSuccess) << out.str();
  std::istringstream lines(out.str());
  int passed = 0;
  for (std::string line; std::getline(lines, line);) {
    EXPECT_TRUE(line.starts_with("ok    ")) << line;
    ++passed;
  }
  EXPECT_EQ(passed, 3 + 13 + 1);
  EXPECT_TRUE(smtp.messages().empty());
}

TEST_F(OperatorTool, CheckNamesEveryFailingItemWithItsNumberAndDescription) {
  const SeededDatabases data(5, clock.now());
  serve(data.server());
  EXPECT_EQ(ctl({"check"}), ctl::kFailure);
  EXPECT_THAT(out.str(), HasSubstr("FAIL  mail server 127.0.0.1:" + std::to_string(site.smtp_port) +
                                   " (EHLO): 7 - "));

  data.exec("Velmora", "ALTER TABLE vlmr_pagamento DROP COLUMN Dtproc");
  EXPECT_EQ(ctl({"check"}), ctl::kFailure);
  EXPECT_THAT(out.str(), HasSubstr("FAIL  table vlmr_pagamento (matricula,anomes,valor,Dtproc): "
                                   "1 - no such column: Dtproc"));

  const std::string unreachable = "127.0.0.1," + std::to_string(closed_loopback_port());
  serve(unreachable, PostgresDatabases::kDriver);
  EXPECT_EQ(ctl({"check"}), ctl::kFailure);
  EXPECT_THAT(out.str(), HasSubstr("FAIL  consultation database consulta_tessarin on " +
                                   unreachable + " as consulta_tessarin_int02: "));
  EXPECT_THAT(out.str(), HasSubstr("FAIL  organiser catalog CALVERIN on " + unreachable));
  EXPECT_THAT(out.str(), Not(HasSubstr("Wubtra583")));
  EXPECT_THAT(out.str(), Not(HasSubstr("Tavreq527")));
}

// The PostgreSQL server through ODBC: its catalog folds names to lower case
// and lists the tables of every schema.
TEST_F(OperatorTool, PostgresCheckAndStatusReadTheServer) {
  PostgresDatabases db;
  serve(db.server(), db.odbc_driver());
  SmtpTestServer smtp;
  set_smtp_port(smtp.port());
  clock.set(2026, 12, 8, 10, 0, 0);
  db.exec("Velmora",
          "INSERT INTO vlmr_logtransferencia VALUES ('2026-12-07', '00:30:00 ', NULL, "
          "NULL)");
  for (const char* table : {"cons_estagiario", "cons_pagamento"}) {
    db.exec("consulta_tessarin", std::string("CREATE TABLE ") + table +
                                     "_2026_12_06 AS SELECT * "
                                     "FROM " +
                                     table);
  }
  EXPECT_EQ(ctl({"check"}), ctl::kSuccess) << out.str();
  EXPECT_EQ(ctl({"status"}), ctl::kSuccess) << out.str();
  EXPECT_THAT(out.str(), HasSubstr("  2026-12-07  00:30:00  -         STOPPED DURING THE RUN"));
  EXPECT_THAT(out.str(), HasSubstr("velmora-ctl restore --suffix 2026_12_06\n"));
  EXPECT_THAT(out.str(), HasSubstr("  2026_12_06: cons_estagiario_2026_12_06 0 rows, "
                                   "cons_pagamento_2026_12_06 0 rows\n"));
  EXPECT_THAT(out.str(), HasSubstr("Nightly process: NOT RUNNING"));
  // The check reads the same facts through the server's own types.
  EXPECT_EQ(ctl({"status", "--check"}), 2) << out.str();
  EXPECT_THAT(out.str(), ::testing::StartsWith("VELMORA CRITICAL - night of 2026-12-07 stopped "
                                               "during the run (no end time, no run in progress): "
                                               "velmora-ctl restore --suffix 2026_12_06 | "
                                               "interns=0;;; payments=0;;;\n"));
}

}  // namespace
}  // namespace velmora::testing
