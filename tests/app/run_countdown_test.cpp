#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "app/run/nightly_run.h"
#include "tests/app/run_fixture.h"
#include "transfer/frmatualizacao.h"

namespace velmora::testing {
namespace {

class RunCountdown : public RunTest {
 protected:
  // Source rows for two interns and their payments, and old consultation rows.
  void seed() {
    seed_consultation_rows();
    for (const char* matricula : {"300", "400"}) {
      db_->exec("Velmora",
                std::string("INSERT INTO vlmr_estagiario(matricula, oficial, concurso, id_bolsa, "
                            "nome, sexo, filiacao, cpf, logradouro, Complemento, Numero, Bairro, "
                            "cidade, uf, cep, telefone, celular, email, faculdade, baifacu, "
                            "cidadefacu, periodo, turno, dtiniestagio, situacao, tpdeslig, elogio) "
                            "VALUES ('") +
                    matricula +
                    "', 'E', '', '', 'Intern', '1', 'Parents', '000.000.000-00', 'Rua Um', '', "
                    "'10', 'Centro', 'Recife', 'PE', '50000-000', '', '', '', 'UF', '', '', '5', "
                    "'1', '2025-01-02 00:00:00', '1', '', 'Bom trabalho')");
      db_->exec("Velmora",
                std::string("INSERT INTO vlmr_pagamento(matricula, anomes, valor, Dtproc) "
                            "VALUES ('") +
                    matricula + "', '202611', 800.00, '2026-11-30 00:00:00')");
    }
  }
};

// Fails statement N for N = 1, 2, ... until a run gets through untouched.
// After every failed run the consultation tables hold exactly their old
// rows; the one run without a fault leaves the rebuilt rows.
TEST_P(RunCountdown, EveryFailingStatementLeavesTheConsultationTablesWhole) {
  seed();
  const Rows old_estagiario = estagiario_rows();
  const Rows old_pagamento = pagamento_rows();
  nightly_run::perform_run();
  ASSERT_EQ(frmatualizacao.erro_execucao, " SEM ERRO");
  const Rows new_estagiario = estagiario_rows();
  const Rows new_pagamento = pagamento_rows();
  ASSERT_NE(new_pagamento, old_pagamento) << "the seed must make the rebuild visible";

  int n = 1;
  for (;; ++n) {
    SCOPED_TRACE("failing statement " + std::to_string(n));
    fresh_databases();
    seed();
    modal_boxes.clear();
    StatementFaults faults;
    faults.fail_nth(n);
    nightly_run::perform_run();
    const bool fired = faults.fired();
    if (fired) {
      SCOPED_TRACE(faults.statements().at(n - 1).text);
      // A statement of an intern's or a payment's row names that row.
      EXPECT_TRUE(std::regex_match(
          frmatualizacao.erro_execucao,
          std::regex(R"(-7 - Table x is missing\.( \(matricula [34]00(, anomes 202611)?\))?)")))
          << frmatualizacao.erro_execucao;
      EXPECT_EQ(estagiario_rows(), old_estagiario);
      EXPECT_EQ(pagamento_rows(), old_pagamento);
      EXPECT_EQ(modal_boxes.size(), 1u);
    } else {
      EXPECT_EQ(frmatualizacao.erro_execucao, " SEM ERRO");
      EXPECT_EQ(estagiario_rows(), new_estagiario);
      EXPECT_EQ(pagamento_rows(), new_pagamento);
    }
    EXPECT_TRUE(reports.empty()) << reports.front();
    EXPECT_TRUE(all_connections_closed());
    if (!fired || ::testing::Test::HasFailure()) break;
  }
  EXPECT_GT(n, 20) << "a run of two interns and two payments has more statements than that";
}

INSTANTIATE_TEST_SUITE_P(Backends, RunCountdown,
                         ::testing::Values(Backend::kEmbedded, Backend::kPostgres), BackendName);

}  // namespace
}  // namespace velmora::testing
