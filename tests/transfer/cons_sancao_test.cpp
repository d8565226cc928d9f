#include <gtest/gtest.h>

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

const char* kRows =
    "select data, matricula, hora, elogioc, sancao from cons_estagiarioelogio "
    "order by matricula, data";

class ConsSancao : public testing::BackendTest {
 protected:
  void SetUp() override {
    BackendTest::SetUp();
    clock_.set(2026, 12, 8, 0, 31, 7);
    Conexao2.abrir();
  }

  void run(const std::string& matricula, const std::string& elogio, const std::string& sancao) {
    frmatualizacao.cons_limpar();
    frmatualizacao.reg_estagiario.matricula = matricula;
    frmatualizacao.reg_estagiario.elogio = elogio;
    frmatualizacao.reg_estagiario.sancao = sancao;
    frmatualizacao.Cons_Sancao();
  }

  Rows rows() { return db_->query("consulta_tessarin", kRows); }
};

TEST_P(ConsSancao, InsertsANewRowWithTheDateAndTimeOfTheCall) {
  testing::StatementRecorder recorder;
  run("1001", "e", "s");
  EXPECT_EQ(recorder.statements(),
            (std::vector<testing::Statement>{
                {"consulta_tessarin", "select * from Cons_Estagiarioelogio where matricula=1001"},
                {"consulta_tessarin",
                 "insert into cons_estagiarioelogio(data,matricula,hora,elogioc,sancao) "
                 "values('2026-12-08','1001','00:31:07','e','s')"}}));
  EXPECT_EQ(sql, recorder.texts().back());

  clock_.set(2026, 12, 8, 0, 31, 9);
  run("1002", "", "Advertência de D'Ávila");
  EXPECT_EQ(rows(), (Rows{{"2026-12-08", "1001", "00:31:07", "e", "s"},
                          {"2026-12-08", "1002", "00:31:09", "", "Advertência de D'Ávila"}}));
}

TEST_P(ConsSancao, UpdatesTheTextsOfAnExistingRowAndKeepsDataAndHora) {
  db_->exec("consulta_tessarin",
            "insert into cons_estagiarioelogio values ('2025-03-01','1001','10:00:00','old','old');"
            "insert into cons_estagiarioelogio values ('2025-03-01','1002','11:00:00','x','y');");
  testing::StatementRecorder recorder;
  run("1001", "Elogio novo", "");
  EXPECT_EQ(recorder.texts(),
            (std::vector<std::string>{
                "select * from Cons_Estagiarioelogio where matricula=1001",
                "update cons_estagiarioelogio set elogioc ='Elogio novo',sancao='' where "
                "matricula= '1001'"}));
  EXPECT_EQ(rows(), (Rows{{"2025-03-01", "1001", "10:00:00", "Elogio novo", ""},
                          {"2025-03-01", "1002", "11:00:00", "x", "y"}}));
}

TEST_P(ConsSancao, RegistrationNumberThatIsNotANumberFailsBeforeTheLookUp) {
  for (const std::string bad : {"", "A-7", "1 or 1=1"}) {
    testing::StatementRecorder recorder;
    try {
      run(bad, "e", "s");
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const Failure& f) {
      EXPECT_EQ(f.number(), failure_number::kTypeMismatch) << bad;
      EXPECT_NE(f.description().find("registration number"), std::string::npos) << bad;
    }
    EXPECT_TRUE(recorder.texts().empty()) << bad;
  }
  EXPECT_EQ(rows(), Rows{});
}

INSTANTIATE_TEST_SUITE_P(Backends, ConsSancao,
                         ::testing::Values(Backend::kEmbedded, Backend::kPostgres),
                         testing::BackendName);

}  // namespace
}  // namespace velmora
