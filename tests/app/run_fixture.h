#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/run/nightly_run.h"
#include "core/deployment.h"
#include "core/failure.h"
#include "db/conexao.h"
#include "db/connection_text.h"
#include "notify/message_box.h"
#include "tests/support/fixtures.h"
#include "transfer/frmatualizacao.h"

namespace velmora::testing {

// The failure that tests inject; its logged form is "-7 - Table x is missing.".
inline Failure injected_failure() { return Failure(-7, "Table 'x' is missing."); }
inline constexpr const char* kInjectedOutcome = "-7 - Table x is missing.";

// Records every executed statement, like StatementRecorder, and makes chosen
// statements fail (once each) by throwing from the statement observer before
// the statement reaches the database.
class StatementFaults {
 public:
  StatementFaults() {
    set_statement_observer([this](const Connection& c, const std::string& text) {
      std::string catalog = "?";
      try {
        catalog = parse_connection_text(c.ConnectionString()).catalog;
      } catch (...) {
      }
      statements_.push_back({catalog, text});
      for (Action& action : actions_) {
        if (text.starts_with(action.prefix) && !action.done) {
          action.done = true;
          action.run();
        }
      }
      bool fail = static_cast<int>(statements_.size()) == fail_at_;
      for (Rule& rule : rules_) {
        if (text.starts_with(rule.prefix) && ++rule.seen == rule.occurrence) fail = true;
      }
      if (fail) {
        fired_ = true;
        throw injected_failure();
      }
    });
  }
  ~StatementFaults() { set_statement_observer(nullptr); }
  StatementFaults(const StatementFaults&) = delete;
  StatementFaults& operator=(const StatementFaults&) = delete;

  // Fails the `occurrence`-th statement whose text starts with `prefix`.
  void fail_once(std::string prefix, int occurrence = 1) {
    rules_.push_back({std::move(prefix), occurrence});
  }
  // Calls `run` (once) when the first statement starting with `prefix` is
  // about to reach the database, e.g. to move the clock or to tick.
  void when(std::string prefix, std::function<void()> run) {
    actions_.push_back({std::move(prefix), std::move(run)});
  }
  // Fails the `n`-th statement of all (1-based).
  void fail_nth(int n) { fail_at_ = n; }
  // True once an armed fault has been thrown.
  bool fired() const { return fired_; }

  const std::vector<Statement>& statements() const { return statements_; }
  // The statements that the run driver and the retention issue themselves
  // (the transfers' statements left out).
  std::vector<Statement> run_statements() const;  // defined below
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const auto& s : statements_) out.push_back(s.text);
    return out;
  }

 private:
  struct Rule {
    std::string prefix;
    int occurrence;
    int seen = 0;
  };
  struct Action {
    std::string prefix;
    std::function<void()> run;
    bool done = false;
  };
  std::vector<Statement> statements_;
  std::vector<Rule> rules_;
  std::vector<Action> actions_;
  int fail_at_ = 0;
  bool fired_ = false;
};

// True for a statement of the run driver or of excluir_tabela_anterior.
inline bool is_run_statement(const std::string& text) {
  for (const char* prefix :
       {"Insert into vlmr_logtransferencia", "Update vlmr_logtransferencia", "Select * into cons_",
        " Drop table cons_", "Drop table cons_", "SELECT * FROM INFORMATION_SCHEMA.TABLES"}) {
    if (text.starts_with(prefix)) return true;
  }
  return false;
}

inline std::vector<Statement> StatementFaults::run_statements() const {
  std::vector<Statement> out;
  for (const Statement& s : statements_) {
    if (is_run_statement(s.text)) out.push_back(s);
  }
  return out;
}

// Fresh databases on the backend under test, a fake clock at 2026-12-08
// 00:30:00, a mail server that refuses connections (so that each e-mail shows
// up as a box), recorded message boxes and a fresh run guard.
// Two interns and their payments in the consultation tables, as an earlier
// night left them.
inline void write_earlier_consultation_rows(Database& db) {
  db.exec("consulta_tessarin",
          "INSERT INTO cons_estagiario(matricula, nome, numero, orgao) VALUES "
          "('100', 'Ana Lima', 12, 'Gabinete'), ('200', 'Bruno D''Avila', NULL, 'Secretaria')");
  db.exec("consulta_tessarin",
          "INSERT INTO cons_pagamento(matricula, anomes, valor, Dtproc) VALUES "
          "('100', '202611', '1500.00', '30/11/2026'), ('200', '202611', '750.50', "
          "'30/11/2026')");
}

// What every night under test runs in besides its databases: `site` as the
// deployment, with a mail server that refuses connections (so that each
// e-mail shows up as a box), and the boxes recorded.
class NightSurroundings {
 protected:
  // Points the process at `deployment` with the refusing mail server and
  // records the boxes from here on.
  void install_surroundings(Deployment deployment) {
    site = std::move(deployment);
    site.smtp_host = "127.0.0.1";
    site.smtp_port = closed_loopback_port();
    set_deployment_for_testing(&site);
    set_message_boxes({[this](const std::string& text) {
                         modal_boxes.push_back(text);
                         if (while_box_is_shown) while_box_is_shown();
                       },
                       [this](const std::string& text) { reports.push_back(text); }});
  }

  // True when the three connection slots are empty.
  static bool all_connections_closed() { return !CONEXAO.cn && !Conexao2.cn && !conexao3.cn; }

  // Boxes shown so far: modal (the e-mail's) and non-blocking (reports).
  std::vector<std::string> modal_boxes;
  std::vector<std::string> reports;
  // Called from inside the modal box, as a nested event loop would.
  std::function<void()> while_box_is_shown;

  Deployment site;
};

class RunTest : public BackendTest, protected NightSurroundings {
 protected:
  void SetUp() override { fresh_databases(); }

  // New empty databases and a process in its start state, with the
  // deployment pointed at them and the boxes recorded.
  void fresh_databases() {
    BackendTest::fresh_databases();
    install_surroundings(deployment());
  }

  // Seeds two rows into each of cons_estagiario and cons_pagamento.
  void seed_consultation_rows() { write_earlier_consultation_rows(*db_); }
  Rows estagiario_rows(const std::string& table = "cons_estagiario") {
    return db_->query("consulta_tessarin", "SELECT matricula, nome, numero, orgao FROM " + table +
                                               " ORDER BY matricula");
  }
  Rows pagamento_rows(const std::string& table = "cons_pagamento") {
    return db_->query("consulta_tessarin", "SELECT matricula, anomes, valor, Dtproc FROM " + table +
                                               " ORDER BY matricula, anomes");
  }
  Rows log_rows() {
    return db_->query("Velmora",
                      "SELECT data, hora_inicial, hora_final, erro FROM vlmr_logtransferencia "
                      "ORDER BY hora_inicial");
  }
  // Names of the base tables in the consultation database, sorted.
  std::vector<std::string> consultation_tables() {
    const Rows rows =
        GetParam() == Backend::kEmbedded
            ? db_->query(
                  "consulta_tessarin",
                  "SELECT name FROM sqlite_schema WHERE type = 'table' AND name LIKE 'cons%'")
            : db_->query("consulta_tessarin",
                         "SELECT table_name FROM information_schema.tables WHERE table_type = "
                         "'BASE TABLE' AND table_schema = current_schema() AND table_name LIKE "
                         "'cons%'");
    std::vector<std::string> names;
    for (const auto& row : rows) names.push_back(row.at(0));
    std::sort(names.begin(), names.end());
    return names;
  }
  // Creates an empty snapshot pair with `suffix`.
  void create_snapshot_pair(const std::string& suffix) {
    db_->exec("consulta_tessarin", "CREATE TABLE cons_estagiario_" + suffix + " (matricula int)");
    db_->exec("consulta_tessarin", "CREATE TABLE cons_pagamento_" + suffix + " (matricula int)");
  }
};

// Statement texts of a run on 2026-12-08 (snapshot suffix 2026_12_07,
// retention suffix 2026_12_06).
namespace dec8 {
inline Statement start_row(const std::string& time = "00:30:00") {
  return {"Velmora", "Insert into vlmr_logtransferencia(data,hora_inicial)values('2026-12-08','" +
                         time + " ')"};
}
inline Statement snapshot_interns() {
  return {"consulta_tessarin", "Select * into cons_estagiario_2026_12_07 from cons_estagiario "};
}
inline Statement snapshot_payments() {
  return {"consulta_tessarin", "Select * into cons_pagamento_2026_12_07 from cons_pagamento "};
}
inline Statement drop_interns() { return {"consulta_tessarin", " Drop table cons_estagiario"}; }
inline Statement drop_payments() { return {"consulta_tessarin", " Drop table cons_pagamento"}; }
inline Statement restore_interns() {
  return {"consulta_tessarin", "Select * into cons_estagiario from cons_estagiario_2026_12_07"};
}
inline Statement restore_payments() {
  return {"consulta_tessarin", "Select * into cons_pagamento from cons_pagamento_2026_12_07"};
}
inline Statement end_row(const std::string& erro, const std::string& time = "00:30:00") {
  return {"Velmora", "Update vlmr_logtransferencia set hora_final = '" + time + " ',erro = '" +
                         erro + "' where data ='2026-12-08' "};
}
// The retention statements, with the drops when `dropped`.
inline std::vector<Statement> retention(bool dropped) {
  const std::string check =
      "SELECT * FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_TYPE = 'BASE TABLE' and TABLE_NAME= ";
  std::vector<Statement> out{{"consulta_tessarin", check + "'cons_estagiario_2026_12_06'"}};
  if (dropped) out.push_back({"consulta_tessarin", "Drop table cons_estagiario_2026_12_06"});
  out.push_back({"consulta_tessarin", check + "'cons_pagamento_2026_12_06'"});
  if (dropped) out.push_back({"consulta_tessarin", "Drop table cons_pagamento_2026_12_06"});
  return out;
}
}  // namespace dec8

inline std::vector<Statement> concat(std::initializer_list<std::vector<Statement>> parts) {
  std::vector<Statement> out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

}  // namespace velmora::testing
