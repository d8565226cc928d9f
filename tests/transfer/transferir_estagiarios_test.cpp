#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core/failure.h"
#include "db/conexao.h"
#include "tests/support/fixtures.h"
#include "tests/transfer/intern_rows.h"
#include "transfer/frmatualizacao.h"
#include "transfer/intern_fields.h"

namespace velmora {
namespace {

using testing::Backend;
using testing::intern_insert;
using testing::Rows;
using testing::Statement;

// Every column of cons_estagiario, in the order of its insert.
const std::string kConsEstagiario = [] {
  std::string select = "select ";
  for (const auto& column : intern_fields::kColumns) {
    if (&column != &intern_fields::kColumns.front()) select += ",";
    select += column.name;
  }
  return select + " from cons_estagiario order by matricula";
}();

const char* kElogio =
    "select data, matricula, hora, elogioc, sancao from cons_estagiarioelogio "
    "order by matricula";

// The consultation row of testing::ordinary_intern(m), by column name, so that
// each expectation below reads as the few columns in which it differs.
std::vector<std::string> ordinary_row(const std::string& m,
                                      const std::map<std::string, std::string>& changes = {}) {
  std::map<std::string, std::string> row = {{"matricula", m},
                                            {"oficial", "Não Concursado"},
                                            {"nome", "Intern " + m},
                                            {"sexo", "Masculino"},
                                            {"filiacao", "Parents"},
                                            {"cpf", "000.000.000-00"},
                                            {"logradouro", "Rua Um"},
                                            {"numero", "10"},
                                            {"bairro", "Centro"},
                                            {"cidade", "Recife"},
                                            {"uf", "PE"},
                                            {"cep", "50000-000"},
                                            {"faculdade", "UF"},
                                            {"periodo", "5"},
                                            {"turno", "Manhã"},
                                            {"dtiniestagio", "2025-01-02"},
                                            {"situacao", "Ativo"}};
  const auto& columns = intern_fields::kColumns;
  for (const auto& [name, value] : changes) {
    EXPECT_TRUE(std::any_of(columns.begin(), columns.end(), [&](const auto& column) {
      return column.name == name;
    })) << name;
    row[name] = value;
  }
  std::vector<std::string> out;
  for (const auto& column : columns) out.push_back(row[std::string(column.name)]);
  return out;
}

class TransferirEstagiarios : public testing::BackendTest {
 protected:
  void SetUp() override {
    BackendTest::SetUp();
    db_->exec("CALVERIN",
              "insert into gruposorgaos values (1, 'Foro Central');"
              "insert into orgaos values (10, 'Vara Civel', 'VC1', 'R1', 1);"
              "insert into orgaos values (20, 'Juizado', 'JZ', 'R1', 1);");
    db_->exec("Velmora",
              "insert into vlmr_concurso values ('EX1', '  Exame 2025 ');"
              "insert into vlmr_bolsaauxilio values (5, 'Bolsa Integral ');");
  }

  void transfer() {
    CONEXAO.abrir();
    Conexao2.abrir();
    frmatualizacao.transferir_estagiarios();
  }

  // Intern 1001 with every look-up: an exam, a grant, a commendation, three
  // assignments and two interruptions, added in an order that is not theirs.
  void add_intern_with_everything() {
    db_->exec("Velmora",
              intern_insert("1001", {{"oficial", "'O'"},
                                     {"concurso", "'EX1'"},
                                     {"id_bolsa", "'5'"},
                                     {"elogio", "' Bom '"},
                                     {"nome", "'D''Ávila'"},
                                     {"Numero", "' 12'"}}) +
                  "insert into vlmr_estagiariodesignacao values "
                  "(1,'1001','2024-01-01 00:00:00','2024-06-30 00:00:00','VC1');"
                  "insert into vlmr_estagiariodesignacao values "
                  "(3,'1001','2025-02-01 14:30:00',NULL,' 10 ');"
                  "insert into vlmr_estagiariodesignacao values "
                  "(2,'1001','2024-07-01 00:00:00','2025-01-31 00:00:00','JZ');"
                  "insert into vlmr_estagiariointerrupcao values "
                  "(2,'1001','2025-06-01 00:00:00',NULL,NULL,' saude ');"
                  "insert into vlmr_estagiariointerrupcao values "
                  "(1,'1001','2024-03-01 00:00:00','2024-03-10 00:00:00','2024-03-09 00:00:00',"
                  "'velha');");
  }
};

// The consultation row of the intern that add_intern_with_everything() writes.
std::vector<std::string> everything_row() {
  return ordinary_row("1001", {{"oficial", "Concursado no Exame 2025"},
                               {"concurso", "Exame 2025"},
                               {"bolsa", "Bolsa Integral"},
                               {"orgao", "Vara Civel Foro Central"},
                               {"nome", "D'Ávila"},
                               {"numero", "12"},
                               {"Dt_inidesignacao", "2025-02-01"},
                               {"Dt_ininterrupcao", "2025-06-01"},
                               {"motivo_interrupcao", " saude "}});
}

TEST_P(TransferirEstagiarios, RunsTheStatementsOfOneInternInOrder) {
  add_intern_with_everything();
  testing::StatementRecorder recorder;
  transfer();
  const std::vector<Statement> expected = {
      {"consulta_tessarin", "Delete from cons_estagiario"},
      {"Velmora", "Select * from vlmr_estagiario"},
      {"Velmora", "Select Descricao from vlmr_concurso where concurso='EX1'"},
      {"Velmora", "select descricao from vlmr_bolsaauxilio where id_bolsa = 5"},
      {"consulta_tessarin", "select * from Cons_Estagiarioelogio where matricula=1001"},
      {"consulta_tessarin",
       "insert into cons_estagiarioelogio(data,matricula,hora,elogioc,sancao) "
       "values('2026-12-08','1001','00:30:00','Bom','')"},
      {"Velmora",
       "select a.* from vlmr_estagiariodesignacao a where a.matricula = '1001'and "
       "a.id_desig=(select max(b.id_desig) from vlmr_estagiariodesignacao b  where "
       "b.matricula=a.matricula)"},
      {"CALVERIN",
       "select a.orgao, a.nome, a.qorv, a.regiao, b.descricao from orgaos a, gruposorgaos b "
       "where a.grupo=b.grupo and a.qorv='10'"},
      {"CALVERIN",
       "select a.orgao, a.nome, a.qorv, a.regiao, b.descricao from orgaos a, gruposorgaos b "
       "where a.grupo=b.grupo and a.orgao=10"},
      {"Velmora",
       "select a.* from vlmr_estagiariointerrupcao a where a.matricula = '1001' and "
       "a.sequencia=(select max(b.sequencia) from vlmr_estagiariointerrupcao b  where "
       "b.matricula=a.matricula)"},
      {"consulta_tessarin",
       "insert into Cons_estagiario(matricula,oficial,concurso,bolsa,orgao,nome,sexo,filiacao,"
       "cpf,logradouro,numero,complemento ,bairro,cidade,uf,cep,telefone,celular,email,"
       "faculdade,baifacu,cidadefacu,periodo,turno,prevcolacao ,dtiniestagio,dtfinestagio,"
       "Dt_inidesignacao,Dt_findesignacao,situacao,tpdeslig,matanterior,Dt_ininterrupcao,"
       "Dt_prevfinterrupcao,Dt_finterrupcao,motivo_interrupcao )values  ('1001',"
       "'Concursado no Exame 2025','Exame 2025','Bolsa Integral','Vara Civel Foro Central',"
       "'D''Ávila','Masculino','Parents', '000.000.000-00','Rua Um', 12,'','Centro','Recife',"
       "'PE','50000-000','', '','','UF','','','5','Manhã','', '2025-01-02','','2025-02-01','',"
       "'Ativo','','', '2025-06-01','','',' saude ')"},
  };
  EXPECT_EQ(recorder.statements(), expected);
  EXPECT_EQ(db_->query("consulta_tessarin", kConsEstagiario), (Rows{everything_row()}));
}

TEST_P(TransferirEstagiarios, EachInternStartsFromACleanRecord) {
  add_intern_with_everything();
  db_->exec("consulta_tessarin",
            "insert into cons_estagiario(matricula, nome) values ('0999', 'left from last night');"
            "insert into cons_estagiarioelogio values ('2025-03-01','1003','10:00:00','e0','s0');");
  db_->exec("Velmora",
            // Neither assignment nor interruption, right after one with both;
            // exam and grant codes without a row; blanks for numero.
            intern_insert("1002", {{"oficial", "'O'"},
                                   {"concurso", "'X99'"},
                                   {"id_bolsa", "'8'"},
                                   {"Numero", "'   '"},
                                   {"elogio", "''"},
                                   {"sancao", "''"}}) +
                // No exam, an empty unit code, and an existing commendation row.
                intern_insert("1003", {{"oficial", "'O'"}, {"sancao", "'Adv'"}}) +
                "insert into vlmr_estagiariodesignacao values "
                "(1,'1003','2025-01-01 00:00:00','2025-12-31 00:00:00','  ');" +
                // A unit code that matches nothing, right after one that matched.
                intern_insert("1004", {{"elogio", "NULL"}, {"sancao", "NULL"}}) +
                "insert into vlmr_estagiariodesignacao values "
                "(1,'1004','2025-01-01 00:00:00',NULL,'999');");
  testing::StatementRecorder recorder;
  transfer();

  EXPECT_EQ(db_->query("consulta_tessarin", kConsEstagiario),
            (Rows{everything_row(),
                  ordinary_row("1002", {{"oficial", "Concursado no X99"},
                                        {"concurso", "X99"},
                                        {"bolsa", "8"},
                                        {"numero", "0"}}),
                  ordinary_row("1003", {{"oficial", "Concursado no "},
                                        {"Dt_inidesignacao", "2025-01-01"},
                                        {"Dt_findesignacao", "2025-12-31"}}),
                  ordinary_row("1004", {{"Dt_inidesignacao", "2025-01-01"}})}));
  EXPECT_EQ(db_->query("consulta_tessarin", kElogio),
            (Rows{{"2026-12-08", "1001", "00:30:00", "Bom", ""},
                  {"2025-03-01", "1003", "10:00:00", "", "Adv"}}));

  const auto texts = recorder.texts();
  auto count = [&](const std::string& prefix) {
    return std::count_if(texts.begin(), texts.end(),
                         [&](const std::string& t) { return t.rfind(prefix, 0) == 0; });
  };
  EXPECT_EQ(count("Select Descricao from vlmr_concurso"), 2) << "1001 and 1002 only";
  EXPECT_EQ(count("select descricao from vlmr_bolsaauxilio"), 2) << "1001 and 1002 only";
  EXPECT_EQ(count("select * from Cons_Estagiarioelogio"), 2) << "1001 and 1003 only";
  EXPECT_EQ(count("select a.* from vlmr_estagiariodesignacao"), 4);
  EXPECT_EQ(count("select a.* from vlmr_estagiariointerrupcao"), 4);
  // 1001 looks up by qorv and then by orgao, 1004 the same; 1002 has no
  // assignment and 1003 an empty unit code, so neither reaches the catalog.
  EXPECT_EQ(std::count_if(recorder.statements().begin(), recorder.statements().end(),
                          [](const Statement& s) { return s.catalog == "CALVERIN"; }),
            4);
}

TEST_P(TransferirEstagiarios, EmptySourceLeavesAnEmptyTable) {
  db_->exec("consulta_tessarin", "insert into cons_estagiario(matricula) values ('0999');");
  testing::StatementRecorder recorder;
  transfer();
  EXPECT_EQ(recorder.texts(), (std::vector<std::string>{"Delete from cons_estagiario",
                                                        "Select * from vlmr_estagiario"}));
  EXPECT_EQ(db_->query("consulta_tessarin", kConsEstagiario), Rows{});
}

TEST_P(TransferirEstagiarios, BareValuesThatAreNotNumbersFailBeforeTheirStatement) {
  struct Case {
    std::map<std::string, std::string> changes;
    std::string what;
    std::string statement_prefix;  // of the statement that must never be sent
    long sent_before;              // how many such statements intern 1000 sent
  };
  const std::vector<Case> cases = {
      {{{"Numero", "'12A'"}}, "numero", "insert into Cons_estagiario", 1},
      {{{"Numero", "'1,1'"}}, "numero", "insert into Cons_estagiario", 1},
      {{{"id_bolsa", "'B1'"}}, "grant code", "select descricao from vlmr_bolsaauxilio", 0},
      {{{"matricula", "'A-7'"}, {"elogio", "'Bom'"}},
       "registration number",
       "select * from Cons_Estagiarioelogio",
       0},
  };
  for (const Case& c : cases) {
    auto db = testing::make_database(GetParam());
    testing::SystemUnderTest sut(*db, &clock_);
    db->exec("Velmora", intern_insert("1000", {}) + intern_insert("1001", c.changes));
    testing::StatementRecorder recorder;
    try {
      CONEXAO.abrir();
      Conexao2.abrir();
      frmatualizacao.transferir_estagiarios();
      ADD_FAILURE() << "no failure for " << c.what;
    } catch (const Failure& f) {
      EXPECT_EQ(f.number(), failure_number::kTypeMismatch) << c.what;
      EXPECT_NE(f.description().find(c.what), std::string::npos) << f.description();
    }
    const auto texts = recorder.texts();
    EXPECT_EQ(
        std::count_if(texts.begin(), texts.end(),
                      [&](const std::string& t) { return t.rfind(c.statement_prefix, 0) == 0; }),
        c.sent_before)
        << c.what;
    EXPECT_EQ(db->query("consulta_tessarin", "select matricula from cons_estagiario"),
              (Rows{{"1000"}}))
        << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, TransferirEstagiarios,
                         ::testing::Values(Backend::kEmbedded, Backend::kPostgres),
                         testing::BackendName);

}  // namespace
}  // namespace velmora
