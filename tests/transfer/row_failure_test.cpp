#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/failure.h"
#include "db/client.h"
#include "db/conexao.h"
#include "tests/support/fixtures.h"
#include "tests/transfer/intern_rows.h"
#include "transfer/frmatualizacao.h"

namespace velmora {
namespace {

using testing::Backend;
using testing::intern_insert;
using testing::Rows;

// A failure met while an intern or a payment is read, translated or written
// keeps its number and its description and names the row after them: the
// matricula (and a payment's month once read), or the row's place in its row
// set when the matricula itself could not be read. A text holding a NUL byte
// fails before any statement carries it.
class RowFailure : public testing::BackendTest {};

TEST_P(RowFailure, NamesTheInternOrPaymentItMet) {
  enum class Transfer { kInterns, kPayments };
  struct Case {
    const char* what;
    Transfer transfer;
    std::string second_row;                // statements adding the row after an ordinary one
    std::string outcome;                   // "<number> - <description>" of the failure
    const char* failing_insert = nullptr;  // an insert made to fail the second time it is sent
    bool embedded_only = false;            // PostgreSQL text cannot hold a NUL byte
  };
  const std::string kInternInsert = "insert into Cons_estagiario";
  const std::string kPaymentInsert = "insert into Cons_pagamento";
  auto payment = [](const std::string& values) {
    return "insert into vlmr_pagamento(matricula,anomes,valor,Dtproc) values (" + values + ");";
  };
  const std::vector<Case> cases = {
      {"Null in a column of an intern", Transfer::kInterns,
       intern_insert("1002", {{"concurso", "NULL"}, {"nome", "NULL"}}),
       "94 - Invalid use of Null (column concurso) (matricula 1002)"},
      {"Null matricula of an intern", Transfer::kInterns,
       intern_insert("1002", {{"matricula", "NULL"}}),
       "94 - Invalid use of Null (column matricula) (row 2 of vlmr_estagiario)"},
      {"NUL byte in an intern's name", Transfer::kInterns,
       intern_insert("1002", {{"nome", "'Ana' || char(0) || 'Lima'"}}),
       "13 - Type mismatch: text with a NUL byte (column nome) (matricula 1002)", nullptr, true},
      {"NUL byte in an intern's matricula", Transfer::kInterns,
       intern_insert("1002", {{"matricula", "'10' || char(0) || '02'"}}),
       "13 - Type mismatch: text with a NUL byte (column matricula) (row 2 of vlmr_estagiario)",
       nullptr, true},
      {"the database refuses an intern's insert", Transfer::kInterns, intern_insert("1002", {}),
       "-7 - Table 'x' is missing. (matricula 1002)", "insert into Cons_estagiario"},
      {"Null value of a payment", Transfer::kPayments,
       payment("'1002','202602',NULL,'2026-02-05 00:00:00'"),
       "94 - Invalid use of Null (column valor) (matricula 1002, anomes 202602)"},
      {"Null matricula of a payment", Transfer::kPayments,
       payment("NULL,'202602',20,'2026-02-05 00:00:00'"),
       "94 - Invalid use of Null (column matricula) (row 2 of vlmr_pagamento)"},
      {"NUL byte in a payment's month", Transfer::kPayments,
       payment("'1002','2026' || char(0) || '02',20,'2026-02-05 00:00:00'"),
       "13 - Type mismatch: text with a NUL byte (column anomes) (matricula 1002)", nullptr, true},
      {"the database refuses a payment's insert", Transfer::kPayments,
       payment("'1002','202602',20,'2026-02-05 00:00:00'"),
       "-7 - Table 'x' is missing. (matricula 1002, anomes 202602)", "insert into Cons_pagamento"},
  };
  for (const Case& c : cases) {
    if (c.embedded_only && GetParam() != Backend::kEmbedded) continue;
    SCOPED_TRACE(c.what);
    fresh_databases();
    const bool interns = c.transfer == Transfer::kInterns;
    db_->exec("Velmora", (interns ? intern_insert("1001", {})
                                  : payment("'1001','202601',10,'2026-01-05 00:00:00'")) +
                             c.second_row);
    std::vector<std::string> sent;
    int failing_seen = 0;
    set_statement_observer([&](const Connection&, const std::string& text) {
      sent.push_back(text);
      if (c.failing_insert && text.starts_with(c.failing_insert) && ++failing_seen == 2) {
        throw Failure(-7, "Table 'x' is missing.");
      }
    });
    try {
      CONEXAO.abrir();
      Conexao2.abrir();
      if (interns) {
        frmatualizacao.transferir_estagiarios();
      } else {
        frmatualizacao.transferir_pagamentos();
      }
      ADD_FAILURE() << "the transfer went through";
    } catch (const Failure& f) {
      EXPECT_EQ(std::to_string(f.number()) + " - " + f.description(), c.outcome);
    }
    set_statement_observer(nullptr);
    for (const std::string& text : sent) {
      EXPECT_EQ(text.find('\0'), std::string::npos) << "a statement carries a NUL byte";
    }
    const std::string insert = interns ? kInternInsert : kPaymentInsert;
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                            [&](const std::string& t) { return t.starts_with(insert); }),
              c.failing_insert ? 2 : 1);
    EXPECT_EQ(db_->query("consulta_tessarin", std::string("select matricula from ") +
                                                  (interns ? "cons_estagiario" : "cons_pagamento")),
              (Rows{{"1001"}}));
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, RowFailure,
                         ::testing::Values(Backend::kEmbedded, Backend::kPostgres),
                         testing::BackendName);

}  // namespace
}  // namespace velmora
