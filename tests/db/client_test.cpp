#include "db/client.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/failure.h"
#include "core/sql_text.h"
#include "tests/support/fixtures.h"

// The client operations against each real backend: the same statements, the
// same expectations, so that the embedded client and ODBC behave alike.

namespace velmora {
namespace {

using testing::Backend;

std::string literal(const std::string& text) { return "'" + velmora::quoted(text) + "'"; }

class ClientOperations : public testing::BackendTest {
 protected:
  void SetUp() override {
    BackendTest::SetUp();
    cn_.Open("Provider=SQLOLEDB;Data Source=" + db_->server() +
             ";Initial Catalog=Velmora;User Id=sa;Password=''");
  }
  // The single value of the first row of `sql`.
  Value single(const std::string& sql, const std::string& column) {
    auto rs = cn_.Execute(sql);
    EXPECT_FALSE(rs->Eof()) << sql;
    return rs->Fields().Item(column).Value();
  }

  Connection cn_;
};

TEST_P(ClientOperations, FieldLookupIgnoresLetterCase) {
  cn_.Execute("insert into vlmr_concurso (concurso, Descricao) values ('7', 'Exame 2025')");
  auto rs = cn_.Execute("Select Descricao from vlmr_concurso where concurso='7'");
  ASSERT_FALSE(rs->Eof());
  for (const char* name : {"descricao", "Descricao", "DESCRICAO", "dEsCrIcAo"}) {
    EXPECT_EQ(std::get<std::string>(rs->Fields().Item(name).Value()), "Exame 2025") << name;
  }
  try {
    rs->Fields().Item("concurso");
    FAIL() << "a column outside the select list was found";
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), failure_number::kItemNotFound);
  }
}

// Fields are mostly read in column order, so a look-up starts after the last
// column found; any order still finds the column, and a name given twice
// means its first column.
TEST_P(ClientOperations, FieldsAreFoundInAnyOrderAndTheFirstOfTwiceNamedOnes) {
  auto rs = cn_.Execute("select 1 as a, 2 as b, 3 as c, 4 as B");
  ASSERT_FALSE(rs->Eof());
  const std::pair<const char*, std::int64_t> reads[] = {
      {"a", 1}, {"b", 2}, {"c", 3}, {"A", 1}, {"c", 3}, {"b", 2}, {"B", 2}, {"a", 1},
  };
  for (const auto& [name, expected] : reads) {
    EXPECT_EQ(text_of(rs->Fields().Item(name).Value(), name), std::to_string(expected)) << name;
  }
}

// A row's text is read into the storage of the row before; Null, empty,
// short and long texts in turn must each come back as they are.
TEST_P(ClientOperations, EachRowHasItsOwnValuesWhateverTheRowBefore) {
  const std::vector<Value> values = {Value(std::string(90, 'x')), Value(std::string("ab")),
                                     Value(Null{}), Value(std::string()), Value(std::string("z"))};
  for (std::size_t k = 0; k < values.size(); ++k) {
    const std::string text =
        is_null(values[k]) ? "NULL" : literal(std::get<std::string>(values[k]));
    cn_.Execute("insert into vlmr_concurso (concurso, Descricao) values ('" + std::to_string(k) +
                "', " + text + ")");
  }
  auto rs = cn_.Execute("select Descricao from vlmr_concurso order by concurso");
  for (std::size_t k = 0; k < values.size(); ++k) {
    ASSERT_FALSE(rs->Eof()) << k;
    EXPECT_EQ(rs->Fields().Item("descricao").Value(), values[k]) << k;
    rs->MoveNext();
  }
  EXPECT_TRUE(rs->Eof());
}

TEST_P(ClientOperations, NullIsNeverEmptyText) {
  cn_.Execute("insert into vlmr_concurso (concurso, Descricao) values ('empty', '')");
  cn_.Execute("insert into vlmr_concurso (concurso, Descricao) values ('null', NULL)");
  const Value empty =
      single("select Descricao from vlmr_concurso where concurso='empty'", "descricao");
  const Value null =
      single("select Descricao from vlmr_concurso where concurso='null'", "descricao");
  EXPECT_EQ(empty, Value(std::string()));
  EXPECT_TRUE(is_null(null));
  try {
    text_of(null, "descricao");
    FAIL() << "Null became text";
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), failure_number::kInvalidUseOfNull);
  }
}

TEST_P(ClientOperations, DecimalsComeBackExact) {
  struct Case {
    const char* written;
    const char* text;
  };
  const Case cases[] = {{"1500.50", "1500.5"},
                        {"0.10", "0.1"},
                        {"-3.00", "-3"},
                        {"9999999999.99", "9999999999.99"},
                        {"1234567890.07", "1234567890.07"}};
  for (const auto& c : cases) {
    cn_.Execute("insert into vlmr_pagamento (matricula, anomes, valor) values ('" +
                std::string(c.written) + "', '202601', " + c.written + ")");
  }
  for (const auto& c : cases) {
    const Value v =
        single("select valor from vlmr_pagamento where matricula='" + std::string(c.written) + "'",
               "VALOR");
    EXPECT_EQ(text_of(v, "valor"), c.text) << "written " << c.written << ", read " << debug_text(v);
  }
  const Value sum = single("select sum(valor) as total from vlmr_pagamento", "total");
  EXPECT_EQ(text_of(sum, "total"), "11234569387.66") << debug_text(sum);
}

TEST_P(ClientOperations, DatesAndDateTimesKeepTheirParts) {
  db_->exec("Velmora",
            "insert into vlmr_pagamento (matricula, anomes, valor, Dtproc) values "
            "('day', '202601', 1, '2026-01-05 00:00:00');"
            "insert into vlmr_pagamento (matricula, anomes, valor, Dtproc) values "
            "('time', '202601', 1, '2024-02-29 13:45:07');"
            "insert into vlmr_pagamento (matricula, anomes, valor, Dtproc) values "
            "('none', '202601', 1, NULL)");
  const Value day = single("select Dtproc from vlmr_pagamento where matricula='day'", "dtproc");
  const Value time = single("select Dtproc from vlmr_pagamento where matricula='time'", "dtproc");
  EXPECT_EQ(day, Value(DateTime{2026, 1, 5, 0, 0, 0})) << debug_text(day);
  EXPECT_EQ(time, Value(DateTime{2024, 2, 29, 13, 45, 7})) << debug_text(time);
  EXPECT_EQ(text_of(day, "Dtproc"), "2026-01-05");
  EXPECT_EQ(text_of(time, "Dtproc"), "2024-02-29 13:45:07");
  EXPECT_TRUE(
      is_null(single("select Dtproc from vlmr_pagamento where matricula='none'", "Dtproc")));
}

TEST_P(ClientOperations, AccentsSurviveTheRoundTrip) {
  const std::vector<std::string> texts = {"Convênio", "Ação Cível", "D'Ávila", "Manhã",
                                          "ç Ç ã õ é ü ß €"};
  for (std::size_t i = 0; i < texts.size(); ++i) {
    cn_.Execute("insert into vlmr_concurso (concurso, Descricao) values ('" + std::to_string(i) +
                "', " + literal(texts[i]) + ")");
  }
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::string where = "where concurso='" + std::to_string(i) + "'";
    EXPECT_EQ(single("select Descricao from vlmr_concurso " + where, "descricao"), Value(texts[i]));
    // Accents in the statement text itself reach the database intact.
    const Value found = single("select count(*) as n from vlmr_concurso " + where +
                                   " and Descricao = " + literal(texts[i]),
                               "n");
    EXPECT_EQ(text_of(found, "n"), "1") << texts[i];
  }
  EXPECT_EQ(db_->query("Velmora", "select Descricao from vlmr_concurso where concurso='0'"),
            (testing::Rows{{"Convênio"}}));
}

TEST_P(ClientOperations, LongTextIsReadBackWhole) {
  // Two-byte characters throughout, so that pieces end inside multi-byte text.
  const std::string pattern[] = {"C", "o", "n", "v", "ê", "n", "i", "o", " ", "ç"};
  std::string text;
  for (int i = 0; i < 10000; ++i) text += pattern[i % 10];
  cn_.Execute("create table long_notes (id integer, body text)");
  cn_.Execute("insert into long_notes values (1, " + literal(text) + ")");
  const Value v = single("select body from long_notes", "body");
  ASSERT_TRUE(std::holds_alternative<std::string>(v)) << debug_text(v);
  const std::string& back = std::get<std::string>(v);
  EXPECT_EQ(back.size(), text.size());
  EXPECT_TRUE(back == text) << "the text came back changed; first 40 bytes: " << back.substr(0, 40);
}

TEST_P(ClientOperations, OuterRowSetKeepsItsPlaceWhileLookUpsRun) {
  for (int i = 1; i <= 5; ++i) {
    cn_.Execute("insert into vlmr_estagiario (matricula, nome, concurso) values ('" +
                std::to_string(1000 + i) + "', 'Intern " + std::to_string(i) + "', '" +
                std::to_string(i % 2) + "')");
  }
  db_->exec("Velmora",
            "insert into vlmr_concurso values ('0', 'Even');insert into vlmr_concurso values "
            "('1', 'Odd');insert into vlmr_concurso values ('1', 'Odd again')");
  auto rs = cn_.Execute("select matricula, concurso from vlmr_estagiario order by matricula");
  std::vector<std::string> seen;
  while (!rs->Eof()) {
    const std::string mat = text_of(rs->Fields().Item("matricula").Value(), "matricula");
    // A look-up left unread, a second look-up, and a statement without rows,
    // all while the outer row set is mid-way.
    auto rs2 = cn_.Execute("select Descricao from vlmr_concurso where concurso='" +
                           text_of(rs->Fields().Item("concurso").Value(), "concurso") +
                           "' order by Descricao");
    auto rs3 = cn_.Execute("select count(*) as n from vlmr_estagiario");
    cn_.Execute("insert into vlmr_logtransferencia (data) values ('" + mat + "')");
    EXPECT_EQ(text_of(rs3->Fields().Item("n").Value(), "n"), "5");
    seen.push_back(mat + ":" + text_of(rs2->Fields().Item("descricao").Value(), "descricao"));
    rs2->MoveNext();
    EXPECT_EQ(rs2->Eof(), mat == "1002" || mat == "1004") << mat;
    rs->MoveNext();
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"1001:Odd", "1002:Even", "1003:Odd", "1004:Even",
                                            "1005:Odd"}));
  EXPECT_EQ(db_->query("Velmora", "select count(*) from vlmr_logtransferencia"),
            (testing::Rows{{"5"}}));
}

TEST_P(ClientOperations, SelectIntoAndInformationSchemaTables) {
  Connection cn;
  cn.Open("Provider=SQLOLEDB;Data Source=" + db_->server() +
          ";Initial Catalog=consulta_tessarin;User Id=consulta_tessarin_int02;Password=Wubtra583");
  cn.Execute("insert into cons_pagamento values ('1', '202601', '1500.5', '2026-01-05')");
  cn.Execute("Select * into cons_pagamento_2026_12_06 from cons_pagamento ");
  cn.Execute("create view cons_pagamento_view as select * from cons_pagamento");
  EXPECT_EQ(db_->query("consulta_tessarin", "select * from cons_pagamento_2026_12_06"),
            (testing::Rows{{"1", "202601", "1500.5", "2026-01-05"}}));
  struct Case {
    std::string name;
    std::string type;
  };
  for (const Case& c :
       {Case{"cons_pagamento_2026_12_06", "BASE TABLE"}, Case{"cons_pagamento_view", "VIEW"}}) {
    auto rs =
        cn.Execute("SELECT * FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME= '" + c.name + "'");
    ASSERT_FALSE(rs->Eof()) << c.name;
    EXPECT_EQ(rs->Fields().Item("TABLE_TYPE").Value(), Value(c.type)) << c.name;
    EXPECT_EQ(rs->Fields().Item("table_name").Value(), Value(c.name));
  }
  auto none = cn.Execute(
      "SELECT * FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_TYPE = 'BASE TABLE' and TABLE_NAME= "
      "'cons_pagamento_view'");
  EXPECT_TRUE(none->Eof());
}

TEST_P(ClientOperations, TextsThatReadLikeStatementsAreStoredAsWritten) {
  const std::string texts[] = {"see INFORMATION_SCHEMA.TABLES", "a into b from c",
                               "Select * into x from y "};
  int key = 0;
  for (const std::string& text : texts) {
    const std::string concurso = "k" + std::to_string(++key);
    cn_.Execute("insert into vlmr_concurso (concurso, Descricao) values ('" + concurso + "', " +
                literal(text) + ")");
    EXPECT_EQ(single("Select Descricao from vlmr_concurso where concurso='" + concurso +
                         "' and Descricao=" + literal(text),
                     "descricao"),
              Value(text))
        << text;
  }
}

TEST_P(ClientOperations, BadStatementFailsWithTheDatabasesNumberAndMessage) {
  struct Expected {
    std::int32_t number;
    std::string fragment;
  };
  const Expected expected =
      GetParam() == Backend::kEmbedded
          ? Expected{1, "no such table: vlmr_nothing"}
          : Expected{1, "[42P01] ERROR: relation \"vlmr_nothing\" does not exist"};
  try {
    cn_.Execute("Select * from vlmr_nothing");
    FAIL() << "the statement succeeded";
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), expected.number) << f.description();
    EXPECT_NE(f.description().find(expected.fragment), std::string::npos) << f.description();
  }
  // The connection stays usable after a failed statement.
  EXPECT_EQ(text_of(single("select count(*) as n from vlmr_concurso", "n"), "n"), "0");
}

INSTANTIATE_TEST_SUITE_P(Backends, ClientOperations,
                         ::testing::Values(Backend::kEmbedded, Backend::kPostgres),
                         testing::BackendName);

}  // namespace
}  // namespace velmora
