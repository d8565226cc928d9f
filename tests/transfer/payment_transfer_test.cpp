#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/failure.h"
#include "db/conexao.h"
#include "tests/support/fixtures.h"
#include "transfer/frmatualizacao.h"

namespace velmora {
namespace {

using testing::Backend;
using testing::Rows;
using testing::Statement;

const std::string kDelete = "Delete from cons_pagamento";
const std::string kSelect = "Select * from vlmr_pagamento";

std::string insert_of(const std::string& values) {
  return "insert into Cons_pagamento(matricula,anomes,valor,Dtproc )values (" + values + ")";
}

class PaymentTransfer : public testing::BackendTest {
 protected:
  void TearDown() override {
    recorder_.reset();
    BackendTest::TearDown();
  }

  // Adds source payments; `values` is one VALUES list per row, in the column
  // order matricula, anomes, valor, Dtproc.
  void add_payments(const std::vector<std::string>& values) {
    for (const auto& v : values) {
      db_->exec("Velmora",
                "insert into vlmr_pagamento(matricula,anomes,valor,Dtproc) values (" + v + ")");
    }
  }

  // Opens the two connections and runs the transfer, recording statements.
  void transfer() {
    CONEXAO.abrir();
    Conexao2.abrir();
    recorder_.reset();  // only one recorder may observe at a time
    recorder_ = std::make_unique<testing::StatementRecorder>();
    frmatualizacao.transferir_pagamentos();
  }

  std::vector<std::string> statements() const { return recorder_->texts(); }

  Rows consulta_rows() const {
    Rows rows = db_->query("consulta_tessarin",
                           "select matricula, anomes, valor, Dtproc from cons_pagamento");
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  std::unique_ptr<testing::StatementRecorder> recorder_;
};

TEST_P(PaymentTransfer, EmptySourceEmptiesTheTableWithoutInserting) {
  db_->exec("consulta_tessarin",
            "insert into cons_pagamento values ('old','202512','9','2025-12-05')");
  transfer();
  EXPECT_EQ(recorder_->statements(),
            (std::vector<Statement>{{"consulta_tessarin", kDelete}, {"Velmora", kSelect}}));
  EXPECT_EQ(consulta_rows(), Rows{});
}

TEST_P(PaymentTransfer, CopiesEveryRowDuplicatesIncluded) {
  db_->exec("consulta_tessarin",
            "insert into cons_pagamento values ('old','202512','9','2025-12-05')");
  add_payments({
      "'1001','202601',1500.50,'2026-01-05 14:30:00'",
      "'1001','202601',1500.50,'2026-01-05 14:30:00'",
      "'1002','202602',1500.00,'2026-02-05 00:00:00'",
  });
  transfer();

  const std::string first = insert_of("'1001','202601','1500.5','2026-01-05'");
  EXPECT_EQ(recorder_->statements(),
            (std::vector<Statement>{
                {"consulta_tessarin", kDelete},
                {"Velmora", kSelect},
                {"consulta_tessarin", first},
                {"consulta_tessarin", first},
                {"consulta_tessarin", insert_of("'1002','202602','1500','2026-02-05'")},
            }));
  EXPECT_EQ(consulta_rows(), (Rows{{"1001", "202601", "1500.5", "2026-01-05"},
                                   {"1001", "202601", "1500.5", "2026-01-05"},
                                   {"1002", "202602", "1500", "2026-02-05"}}));
}

TEST_P(PaymentTransfer, LeavesTheLastRowInTheWindowAndItsRowSetOpen) {
  add_payments(
      {"'1001','202601',10,'2026-01-05 00:00:00'", "'1002','202602',20.25,'2026-02-06 00:00:00'"});
  frmatualizacao.reg_estagiario.matricula = "intern";
  frmatualizacao.reg_estagiario.nome = "Ana";
  transfer();

  EXPECT_EQ(frmatualizacao.reg_estagiario.matricula, "1002");
  EXPECT_EQ(frmatualizacao.anomes, "202602");
  EXPECT_EQ(frmatualizacao.valor, "20.25");
  EXPECT_EQ(frmatualizacao.dtproc, "2026-02-06");
  EXPECT_EQ(frmatualizacao.reg_estagiario.nome, "Ana");
  EXPECT_EQ(sql, insert_of("'1002','202602','20.25','2026-02-06'"));
  EXPECT_TRUE(CONEXAO.rs->IsOpen());
  EXPECT_TRUE(CONEXAO.rs->Eof());
}

TEST_P(PaymentTransfer, TrimsBlanksButKeepsInnerOnesAndTabs) {
  add_payments({"'  10 01  ',' 2026 ',7,'2026-01-05 00:00:00'",
                "'\t1002 ','202601',8,'2026-01-05 00:00:00'"});
  transfer();
  EXPECT_EQ(statements(), (std::vector<std::string>{
                              kDelete,
                              kSelect,
                              insert_of("'10 01','2026','7','2026-01-05'"),
                              insert_of("'\t1002','202601','8','2026-01-05'"),
                          }));
  EXPECT_EQ(consulta_rows(),
            (Rows{{"\t1002", "202601", "8", "2026-01-05"}, {"10 01", "2026", "7", "2026-01-05"}}));
}

TEST_P(PaymentTransfer, NullProcessingDateIsWrittenEmpty) {
  add_payments({"'1001','202601',10,NULL"});
  transfer();
  EXPECT_EQ(statements().back(), insert_of("'1001','202601','10',''"));
  EXPECT_EQ(consulta_rows(), (Rows{{"1001", "202601", "10", ""}}));
  EXPECT_EQ(frmatualizacao.dtproc, "");
}

TEST_P(PaymentTransfer, DoublesQuotesAndKeepsAccents) {
  // The fourth value holds what a driver or server might read as an escape,
  // a comment, a parameter marker or a driver function call.
  add_payments({"'D''Ávila','202601',10,'2026-01-05 00:00:00'",
                "'João Conceição','202601',11,'2026-01-05 00:00:00'",
                "'\\''{fn user()}?$1/*','202601',13,'2026-01-05 00:00:00'",
                "'x'';--','202601',12,'2026-01-05 00:00:00'"});
  transfer();
  EXPECT_EQ(statements(), (std::vector<std::string>{
                              kDelete,
                              kSelect,
                              insert_of("'D''Ávila','202601','10','2026-01-05'"),
                              insert_of("'João Conceição','202601','11','2026-01-05'"),
                              insert_of("'\\''{fn user()}?$1/*','202601','13','2026-01-05'"),
                              insert_of("'x'';--','202601','12','2026-01-05'"),
                          }));
  EXPECT_EQ(consulta_rows(), (Rows{{"D'Ávila", "202601", "10", "2026-01-05"},
                                   {"João Conceição", "202601", "11", "2026-01-05"},
                                   {"\\'{fn user()}?$1/*", "202601", "13", "2026-01-05"},
                                   {"x';--", "202601", "12", "2026-01-05"}}));
  EXPECT_EQ(frmatualizacao.reg_estagiario.matricula, "x';--");
}

TEST_P(PaymentTransfer, NullInATextColumnStopsAtThatRowNamingTheColumn) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"matricula", "NULL,'202602',20,'2026-02-05 00:00:00'"},
      {"anomes", "'1002',NULL,20,'2026-02-05 00:00:00'"},
      {"valor", "'1002','202602',NULL,'2026-02-05 00:00:00'"},
  };
  for (const auto& [column, row] : cases) {
    SCOPED_TRACE("Null " + column);
    TearDown();
    SetUp();
    add_payments({"'1001','202601',10,'2026-01-05 00:00:00'", row,
                  "'1003','202603',30,'2026-03-05 00:00:00'"});
    try {
      transfer();
      ADD_FAILURE() << "the transfer went through";
    } catch (const Failure& f) {
      EXPECT_EQ(f.number(), 94);
      EXPECT_NE(f.description().find("Invalid use of Null"), std::string::npos) << f.description();
      EXPECT_NE(f.description().find(column), std::string::npos) << f.description();
    }
    // The row before stays until the run driver restores the table.
    EXPECT_EQ(statements(), (std::vector<std::string>{
                                kDelete, kSelect, insert_of("'1001','202601','10','2026-01-05'")}));
    EXPECT_EQ(consulta_rows(), (Rows{{"1001", "202601", "10", "2026-01-05"}}));
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, PaymentTransfer,
                         ::testing::Values(Backend::kEmbedded, Backend::kPostgres),
                         testing::BackendName);

// The server's source column is a timestamp, which cannot hold an empty or
// blank text; the embedded source column can, as a text column of SQL
// Server can.
TEST(PaymentTransferEmbedded, EmptyOrBlankProcessingDateIsWrittenEmpty) {
  testing::EmbeddedDatabases db;
  testing::SystemUnderTest sut(db, nullptr);
  db.exec("Velmora",
          "insert into vlmr_pagamento values ('1001','202601',10,'');"
          "insert into vlmr_pagamento values ('1002','202601',11,'   ');"
          "insert into vlmr_pagamento values ('1003','202601',12,' 2026-01-05 ');");
  CONEXAO.abrir();
  Conexao2.abrir();
  testing::StatementRecorder recorder;
  frmatualizacao.transferir_pagamentos();
  EXPECT_EQ(recorder.texts(), (std::vector<std::string>{
                                  kDelete,
                                  kSelect,
                                  insert_of("'1001','202601','10',''"),
                                  insert_of("'1002','202601','11',''"),
                                  insert_of("'1003','202601','12','2026-01-05'"),
                              }));
  EXPECT_EQ(db.query("consulta_tessarin", "select Dtproc from cons_pagamento order by matricula"),
            (Rows{{""}, {""}, {"2026-01-05"}}));
}

}  // namespace
}  // namespace velmora
