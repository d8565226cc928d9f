#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run/nightly_run.h"
#include "core/deployment.h"
#include "notify/message_box.h"
#include "tests/support/fixtures.h"
#include "tests/transfer/intern_rows.h"
#include "transfer/frmatualizacao.h"

namespace velmora {
namespace {

using testing::Backend;
using testing::intern_insert;
using testing::Rows;

class FailedTransferRun : public testing::BackendTest {
 protected:
  void SetUp() override {
    BackendTest::SetUp();
    deployment_ = deployment();
    deployment_.smtp_host = "127.0.0.1";
    deployment_.smtp_port = testing::closed_loopback_port();
    set_deployment_for_testing(&deployment_);
    set_message_boxes({[this](const std::string& text) { modal_.push_back(text); },
                       [this](const std::string& text) { unhandled_.push_back(text); }});
  }

  Deployment deployment_;
  std::vector<std::string> modal_, unhandled_;
};

TEST_P(FailedTransferRun, KeepsCommendationChangesAndRestoresTheConsultationTables) {
  db_->exec("consulta_tessarin",
            "insert into cons_estagiario(matricula,oficial,nome,numero,orgao,motivo_interrupcao) "
            "values ('0001','Convênio','Old One',5,'Vara Civel Foro Central',' old ');"
            "insert into cons_estagiario(matricula,nome,numero) values ('0002','Old Two',0);"
            "insert into cons_pagamento values ('0001','202611','1500.5','2026-11-05');"
            "insert into cons_estagiarioelogio values "
            "('2025-03-01','1003','10:00:00','old e','old s');");
  db_->exec("Velmora",
            intern_insert("1001", {{"elogio", "'Bom'"}}) +
                intern_insert("1003", {{"sancao", "'Adv'"}}) +
                intern_insert("1009", {{"Numero", "'abc'"}}) +
                "insert into vlmr_pagamento values ('1001','202612',900,'2026-12-05 00:00:00');");
  const char* kEstagiario = "select * from cons_estagiario order by matricula";
  const char* kPagamento = "select * from cons_pagamento order by matricula";
  const Rows estagiario_before = db_->query("consulta_tessarin", kEstagiario);
  const Rows pagamento_before = db_->query("consulta_tessarin", kPagamento);
  ASSERT_EQ(estagiario_before.size(), 2u);

  tempo_Timer();

  EXPECT_EQ(unhandled_, std::vector<std::string>{}) << "the failure branch ran to its end";
  EXPECT_EQ(
      db_->query("Velmora", "select data, erro from vlmr_logtransferencia"),
      (Rows{{"2026-12-08", "13 - Type mismatch: numero abc is not a number (matricula 1009)"}}));
  EXPECT_EQ(db_->query("consulta_tessarin", kEstagiario), estagiario_before);
  EXPECT_EQ(db_->query("consulta_tessarin",
                       "select matricula, nome, numero, orgao, "
                       "motivo_interrupcao from cons_estagiario "
                       "order by matricula"),
            (Rows{{"0001", "Old One", "5", "Vara Civel Foro Central", " old "},
                  {"0002", "Old Two", "0", "NULL", "NULL"}}));
  EXPECT_EQ(db_->query("consulta_tessarin", kPagamento), pagamento_before);
  EXPECT_EQ(db_->query("consulta_tessarin", kPagamento),
            (Rows{{"0001", "202611", "1500.5", "2026-11-05"}}));
  EXPECT_EQ(db_->query("consulta_tessarin",
                       "select data, matricula, hora, elogioc, sancao from cons_estagiarioelogio "
                       "order by matricula"),
            (Rows{{"2026-12-08", "1001", "00:30:00", "Bom", ""},
                  {"2025-03-01", "1003", "10:00:00", "", "Adv"}}));
}

INSTANTIATE_TEST_SUITE_P(Backends, FailedTransferRun,
                         ::testing::Values(Backend::kEmbedded, Backend::kPostgres),
                         testing::BackendName);

}  // namespace
}  // namespace velmora
