#include "ctl/progress.h"

#include <gtest/gtest.h>

#include <sstream>

#include "transfer/cons_sancao.h"
#include "transfer/intern_statements.h"
#include "transfer/payment_statements.h"

namespace velmora::testing {
namespace {

// The bar counts the statements the transfers build: a change to a
// statement's text must not make it count zero.
TEST(RunProgress, CountsEveryStatementTheTransfersWriteRowsWith) {
  RegEstagiario intern;
  intern.matricula = "2001";
  intern.numero = "12";
  struct Case {
    std::string statement;
    ctl::RunCounts expected;
  };
  const Case cases[] = {
      {intern_insert_statement(intern), {1, 0, 0, 0}},
      {payment_insert_statement("2001", "202612", "10.50", "2026-12-05"), {0, 1, 0, 0}},
      {commendation_insert_statement("2026-12-08", "2001", "00:30:01", "Bom", ""), {0, 0, 1, 0}},
      {commendation_update_statement("2001", "Bom", ""), {0, 0, 0, 1}},
      {commendation_lookup_statement("2001"), {0, 0, 0, 0}},
      {"Select * from vlmr_estagiario", {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    ctl::RunProgress progress(out, false, 0, 0);
    progress.on_statement(c.statement);
    const ctl::RunCounts& n = progress.counts();
    EXPECT_EQ(n.interns, c.expected.interns) << c.statement;
    EXPECT_EQ(n.payments, c.expected.payments) << c.statement;
    EXPECT_EQ(n.commendations_inserted, c.expected.commendations_inserted) << c.statement;
    EXPECT_EQ(n.commendations_updated, c.expected.commendations_updated) << c.statement;
  }
}

}  // namespace
}  // namespace velmora::testing
