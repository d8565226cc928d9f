#include "transfer/intern_statements.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "core/failure.h"
#include "core/sql_text.h"
#include "transfer/cons_sancao.h"

namespace velmora {
namespace {

TEST(InternStatements, LookUpsReadExactly) {
  EXPECT_EQ(exam_lookup_statement("c"), "Select Descricao from vlmr_concurso where concurso='c'");
  EXPECT_EQ(grant_lookup_statement("7"),
            "select descricao from vlmr_bolsaauxilio where id_bolsa = 7");
  // No blank between the closing quote and "and" here, one in the next.
  EXPECT_EQ(assignment_lookup_statement("n"),
            "select a.* from vlmr_estagiariodesignacao a where a.matricula = 'n'and "
            "a.id_desig=(select max(b.id_desig) from vlmr_estagiariodesignacao b  where "
            "b.matricula=a.matricula)");
  EXPECT_EQ(interruption_lookup_statement("n"),
            "select a.* from vlmr_estagiariointerrupcao a where a.matricula = 'n' and "
            "a.sequencia=(select max(b.sequencia) from vlmr_estagiariointerrupcao b  where "
            "b.matricula=a.matricula)");
}

TEST(InternStatements, CommendationStatementsReadExactly) {
  EXPECT_EQ(commendation_lookup_statement("1001"),
            "select * from Cons_Estagiarioelogio where matricula=1001");
  EXPECT_EQ(commendation_insert_statement("2026-12-08", "n", "00:31:07", "e", "s"),
            "insert into cons_estagiarioelogio(data,matricula,hora,elogioc,sancao) "
            "values('2026-12-08','n','00:31:07','e','s')");
  EXPECT_EQ(commendation_update_statement("n", "e", "s"),
            "update cons_estagiarioelogio set elogioc ='e',sancao='s' where matricula= 'n'");
}

RegEstagiario sample_record() {
  RegEstagiario r;
  r.matricula = "1001";
  r.oficial = "Concursado no Exame 2025";
  r.concurso = "Exame 2025";
  r.bolsa = "Bolsa Integral";
  r.orgao = "Vara Civel Foro Central";
  r.nome = "Ana";
  r.sexo = "Feminino";
  r.filiacao = "Maria";
  r.cpf = "111";
  r.logradouro = "Rua A";
  r.numero = " 12";
  r.complemento = "ap 1";
  r.bairro = "Centro";
  r.cidade = "Recife";
  r.uf = "PE";
  r.cep = "50000-000";
  r.telefone = "3333";
  r.celular = "9999";
  r.email = "a@x";
  r.faculdade = "UF";
  r.baifacu = "Cid";
  r.cidadefacu = "Rec";
  r.periodo = "5";
  r.turno = "Manhã";
  r.prevcolacao = "2027-12-01";
  r.dtiniestagio = "2025-01-02";
  r.dtfinestagio = "2026-12-31";
  r.Dt_inidesignacao = "2025-02-01";
  r.situacao = "Ativo";
  r.Dt_ininterrupcao = "2025-06-01";
  r.Dt_prevfinterrupcao = "2025-07-01";
  r.motivo_interrupcao = " saude ";
  r.elogio = "never written here";
  r.sancao = "nor this";
  return r;
}

TEST(InternStatements, InsertKeepsItsBlanksAndWritesNumeroBare) {
  EXPECT_EQ(
      intern_insert_statement(sample_record()),
      "insert into Cons_estagiario(matricula,oficial,concurso,bolsa,orgao,nome,sexo,filiacao,cpf,"
      "logradouro,numero,complemento ,bairro,cidade,uf,cep,telefone,celular,email,faculdade,"
      "baifacu,cidadefacu,periodo,turno,prevcolacao ,dtiniestagio,dtfinestagio,Dt_inidesignacao,"
      "Dt_findesignacao,situacao,tpdeslig,matanterior,Dt_ininterrupcao,Dt_prevfinterrupcao,"
      "Dt_finterrupcao,motivo_interrupcao )values  ('1001','Concursado no Exame 2025',"
      "'Exame 2025','Bolsa Integral','Vara Civel Foro Central','Ana','Feminino','Maria', "
      "'111','Rua A', 12,'ap 1','Centro','Recife','PE','50000-000','3333', "
      "'9999','a@x','UF','Cid','Rec','5','Manhã','2027-12-01', "
      "'2025-01-02','2026-12-31','2025-02-01','','Ativo','','', "
      "'2025-06-01','2025-07-01','',' saude ')");
}

TEST(InternStatements, QuotesInValuesAreDoubled) {
  RegEstagiario r = sample_record();
  r.nome = "D'Ávila";
  EXPECT_NE(intern_insert_statement(r).find(",'Vara Civel Foro Central','D''Ávila','Feminino',"),
            std::string::npos);
  EXPECT_EQ(exam_lookup_statement("o'x"),
            "Select Descricao from vlmr_concurso where concurso='o''x'");
  EXPECT_EQ(commendation_update_statement("1", "it's", "''"),
            "update cons_estagiarioelogio set elogioc ='it''s',sancao='''''' where matricula= '1'");
}

// Values are appended to the statement in pieces between their quotes.
TEST(InternStatements, AppendedValuesHaveEveryQuoteDoubled) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},      {"abc", "abc"}, {"'", "''"},          {"''", "''''"},
      {"'a", "''a"}, {"a'", "a''"},  {"a'b'c", "a''b''c"}, {"D'Ávila", "D''Ávila"},
  };
  for (const auto& [value, expected] : cases) {
    std::string statement = "x='";
    append_quoted(statement, value);
    EXPECT_EQ(statement, std::string("x='") + expected) << value;
    EXPECT_EQ(quoted(value), expected) << value;
  }
}

TEST(InternStatements, BareValuesThatAreNotNumbersFail) {
  auto insert_with_numero = [](const std::string& numero) {
    RegEstagiario r = sample_record();
    r.numero = numero;
    return intern_insert_statement(r);
  };
  for (const std::string bad : {"12A", "", "1;drop table x", "0 or 1=1", "'1'"}) {
    for (auto build : {&grant_lookup_statement, &commendation_lookup_statement}) {
      try {
        build(bad);
        ADD_FAILURE() << "accepted '" << bad << "'";
      } catch (const Failure& f) {
        EXPECT_EQ(f.number(), failure_number::kTypeMismatch) << bad;
      }
    }
    EXPECT_THROW(insert_with_numero(bad), Failure) << bad;
  }
}

}  // namespace
}  // namespace velmora
