#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/conexao.h"
#include "tests/app/run_fixture.h"
#include "transfer/frmatualizacao.h"

namespace velmora::testing {
namespace {

const std::string kCheck =
    "SELECT * FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_TYPE = 'BASE TABLE' and TABLE_NAME= ";

class SnapshotRetention : public RunTest {
 protected:
  void SetUp() override {
    RunTest::SetUp();
    clock_.set(2024, 3, 1, 0, 30, 0);
  }
  std::vector<std::string> run_retention() {
    Conexao2.abrir();
    StatementFaults recorder;
    excluir_tabela_anterior();
    return recorder.texts();
  }
};

TEST_P(SnapshotRetention, DropsOnlyThePairOfTwoDaysBefore) {
  for (const char* suffix : {"2024_02_27", "2024_02_28", "2024_02_29"}) {
    create_snapshot_pair(suffix);
  }
  EXPECT_EQ(run_retention(), (std::vector<std::string>{
                                 kCheck + "'cons_estagiario_2024_02_28'",
                                 "Drop table cons_estagiario_2024_02_28",
                                 kCheck + "'cons_pagamento_2024_02_28'",
                                 "Drop table cons_pagamento_2024_02_28",
                             }));
  EXPECT_EQ(consultation_tables(),
            (std::vector<std::string>{"cons_estagiario", "cons_estagiario_2024_02_27",
                                      "cons_estagiario_2024_02_29", "cons_estagiarioelogio",
                                      "cons_pagamento", "cons_pagamento_2024_02_27",
                                      "cons_pagamento_2024_02_29"}));
  EXPECT_EQ(sql, "Drop table cons_pagamento_2024_02_28");
  // The last check's row set stays in Conexao2.rs, open.
  EXPECT_TRUE(Conexao2.rs->IsOpen());
}

TEST_P(SnapshotRetention, ChecksBothNamesAndDropsWhatExistsAsABaseTable) {
  struct Case {
    const char* situation;
    std::vector<std::string> setup;
    std::vector<std::string> statements;
    std::vector<std::string> tables_after;
  };
  const std::vector<Case> cases = {
      {"no pair",
       {},
       {kCheck + "'cons_estagiario_2024_02_28'", kCheck + "'cons_pagamento_2024_02_28'"},
       {"cons_estagiario", "cons_estagiarioelogio", "cons_pagamento"}},
      {"only the cons_pagamento table",
       {"CREATE TABLE cons_pagamento_2024_02_28 (matricula int)"},
       {kCheck + "'cons_estagiario_2024_02_28'", kCheck + "'cons_pagamento_2024_02_28'",
        "Drop table cons_pagamento_2024_02_28"},
       {"cons_estagiario", "cons_estagiarioelogio", "cons_pagamento"}},
      {"only the cons_estagiario table",
       {"CREATE TABLE cons_estagiario_2024_02_28 (matricula int)"},
       {kCheck + "'cons_estagiario_2024_02_28'", "Drop table cons_estagiario_2024_02_28",
        kCheck + "'cons_pagamento_2024_02_28'"},
       {"cons_estagiario", "cons_estagiarioelogio", "cons_pagamento"}},
      {"a view with the snapshot's name",
       {"CREATE VIEW cons_estagiario_2024_02_28 AS SELECT * FROM cons_estagiario",
        "CREATE TABLE cons_pagamento_2024_02_28 (matricula int)"},
       {kCheck + "'cons_estagiario_2024_02_28'", kCheck + "'cons_pagamento_2024_02_28'",
        "Drop table cons_pagamento_2024_02_28"},
       {"cons_estagiario", "cons_estagiarioelogio", "cons_pagamento"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.situation);
    fresh_databases();
    for (const auto& statement : c.setup) db_->exec("consulta_tessarin", statement);
    EXPECT_EQ(run_retention(), c.statements);
    EXPECT_EQ(consultation_tables(), c.tables_after);
  }
  // The view is still there.
  EXPECT_EQ(db_->query("consulta_tessarin", "SELECT COUNT(*) FROM cons_estagiario_2024_02_28"),
            (Rows{{"0"}}));
}

// A clock that moves one day on at every reading.
class DayPerReadingClock final : public Clock {
 public:
  DateTime now() const override { return add_days({2024, 3, 1, 0, 30, 0}, readings_++); }
  mutable int readings_ = 0;
};

TEST_P(SnapshotRetention, ReadsTheDateAgainForEveryStatement) {
  DayPerReadingClock moving;
  set_clock(&moving);
  create_snapshot_pair("2024_02_28");
  create_snapshot_pair("2024_02_29");
  create_snapshot_pair("2024_03_01");
  create_snapshot_pair("2024_03_02");
  EXPECT_EQ(run_retention(), (std::vector<std::string>{
                                 kCheck + "'cons_estagiario_2024_02_28'",
                                 "Drop table cons_estagiario_2024_02_29",
                                 kCheck + "'cons_pagamento_2024_03_01'",
                                 "Drop table cons_pagamento_2024_03_02",
                             }));
  set_clock(&clock_);
}

TEST_P(SnapshotRetention, FailingDropEndsTheProcedureAtOnce) {
  create_snapshot_pair("2024_02_28");
  Conexao2.abrir();
  StatementFaults faults;
  faults.fail_once("Drop table cons_estagiario_");
  EXPECT_THROW(excluir_tabela_anterior(), Failure);
  EXPECT_EQ(faults.texts(), (std::vector<std::string>{kCheck + "'cons_estagiario_2024_02_28'",
                                                      "Drop table cons_estagiario_2024_02_28"}));
}

INSTANTIATE_TEST_SUITE_P(Backends, SnapshotRetention,
                         ::testing::Values(Backend::kEmbedded, Backend::kPostgres), BackendName);

}  // namespace
}  // namespace velmora::testing
