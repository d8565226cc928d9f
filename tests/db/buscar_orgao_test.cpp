#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/failure.h"
#include "db/conexao.h"
#include "tests/support/fixtures.h"

namespace velmora {
namespace {

using testing::Backend;

const std::string kByQorv =
    "select a.orgao, a.nome, a.qorv, a.regiao, b.descricao from orgaos a, gruposorgaos b where "
    "a.grupo=b.grupo and a.qorv='";
const std::string kByOrgao =
    "select a.orgao, a.nome, a.qorv, a.regiao, b.descricao from orgaos a, gruposorgaos b where "
    "a.grupo=b.grupo and a.orgao=";

class BuscarOrgao : public testing::BackendTest {
 protected:
  void SetUp() override {
    BackendTest::SetUp();
    db_->exec("CALVERIN",
              "insert into gruposorgaos values (1, '  Foro Central ');"
              "insert into gruposorgaos values (2, NULL);"
              "insert into orgaos values (10, ' Vara  Civel ', 'VC1', 'R1', 1);"
              "insert into orgaos values (77, 'Pela Sigla', '20', 'R1', 1);"
              "insert into orgaos values (20, 'Pelo Numero', 'PN', 'R1', 1);"
              "insert into orgaos values (30, NULL, 'NN', 'R2', 1);"
              "insert into orgaos values (40, 'Sem Grupo', 'ND', 'R2', 2);"
              "insert into orgaos values (50, NULL, 'BOTH', 'R2', 2);"
              "insert into orgaos values (60, 'Apostrofo', 'D''X', 'R2', 1);");
  }
};

TEST_P(BuscarOrgao, FindsByQorvFirstThenByOrgao) {
  struct Case {
    std::string code;
    std::string nome_orgao;
    std::vector<std::string> statements;
  };
  const std::vector<Case> cases = {
      {"VC1", "Vara  Civel Foro Central", {kByQorv + "VC1'"}},
      {"10", "Vara  Civel Foro Central", {kByQorv + "10'", kByOrgao + "10"}},
      // Unit 77 has qorv 20 and unit 20 exists too: the qorv match wins.
      {"20", "Pela Sigla Foro Central", {kByQorv + "20'"}},
      {"999", "", {kByQorv + "999'", kByOrgao + "999"}},
      {"NN", " Foro Central", {kByQorv + "NN'"}},
      {"ND", "Sem Grupo ", {kByQorv + "ND'"}},
      {"BOTH", " ", {kByQorv + "BOTH'"}},
      {"D'X", "Apostrofo Foro Central", {kByQorv + "D''X'"}},
  };
  for (const Case& c : cases) {
    testing::StatementRecorder recorder;
    sql = "caller's statement";
    conexao3.buscar_orgao(c.code);
    EXPECT_EQ(conexao3.nome_orgao, c.nome_orgao) << "code " << c.code;
    EXPECT_EQ(recorder.texts(), c.statements) << "code " << c.code;
    for (const auto& s : recorder.statements()) EXPECT_EQ(s.catalog, "CALVERIN");
    EXPECT_EQ(sql, "caller's statement") << "code " << c.code;
  }
}

TEST_P(BuscarOrgao, EmptyCodeTouchesNoDatabase) {
  testing::StatementRecorder recorder;
  conexao3.buscar_orgao("");
  EXPECT_FALSE(conexao3.cn) << "no connection opened";
  EXPECT_EQ(conexao3.nome_orgao, "");

  conexao3.buscar_orgao("VC1");
  ASSERT_EQ(conexao3.nome_orgao, "Vara  Civel Foro Central");
  const auto connection = conexao3.cn.shared();
  recorder.clear();
  conexao3.buscar_orgao("");
  EXPECT_EQ(conexao3.nome_orgao, "");
  EXPECT_TRUE(recorder.texts().empty());
  EXPECT_EQ(conexao3.cn.shared(), connection);
}

TEST_P(BuscarOrgao, OpensItsOwnConnectionOnEveryLookup) {
  conexao3.buscar_orgao("VC1");
  conexao3.fechar();
  ASSERT_FALSE(conexao3.cn);
  conexao3.buscar_orgao("PN");
  EXPECT_EQ(conexao3.nome_orgao, "Pelo Numero Foro Central");
  EXPECT_TRUE(conexao3.cn->IsOpen());
}

TEST_P(BuscarOrgao, NonNumericCodeNotFoundFailsBeforeTheSecondStatement) {
  conexao3.buscar_orgao("VC1");
  testing::StatementRecorder recorder;
  try {
    conexao3.buscar_orgao("1 or 1=1");
    FAIL() << "no failure";
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), failure_number::kTypeMismatch);
    EXPECT_NE(f.description().find("unit code"), std::string::npos) << f.description();
  }
  EXPECT_EQ(recorder.texts(), std::vector<std::string>{kByQorv + "1 or 1=1'"});
  EXPECT_EQ(conexao3.nome_orgao, "Vara  Civel Foro Central");
}

INSTANTIATE_TEST_SUITE_P(Backends, BuscarOrgao,
                         ::testing::Values(Backend::kEmbedded, Backend::kPostgres),
                         testing::BackendName);

}  // namespace
}  // namespace velmora
