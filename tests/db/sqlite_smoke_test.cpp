#include <gtest/gtest.h>

#include <filesystem>

#include "core/failure.h"
#include "db/client.h"
#include "db/conexao.h"
#include "db/sqlite_dialect.h"
#include "db/sqlite_session.h"
#include "tests/support/fixtures.h"

namespace velmora {
namespace {

TEST(SqliteDialect, RewritesSelectIntoAndInformationSchema) {
  EXPECT_EQ(sqlite_dialect("Select * into cons_pagamento_2026_12_06 from cons_pagamento "),
            "CREATE TABLE cons_pagamento_2026_12_06 AS SELECT * FROM cons_pagamento ");
  EXPECT_EQ(sqlite_dialect("Select * into cons_estagiario from cons_estagiario_2026_12_06"),
            "CREATE TABLE cons_estagiario AS SELECT * FROM cons_estagiario_2026_12_06");
  EXPECT_EQ(sqlite_dialect("Delete from cons_pagamento"), "Delete from cons_pagamento");
}

// The session runs most statements as they are, without a copy, and the
// others as sqlite_dialect writes them.
TEST(SqliteDialect, TextIsTheStatementItselfUnlessItIsRewritten) {
  const std::string cases[] = {
      "Delete from cons_pagamento",
      "Select 'x into y' as a from T",
      "Select * into cons_pagamento_2026_12_06 from cons_pagamento ",
      "SELECT * FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME= 'cons_pagamento'",
  };
  for (const std::string& sql : cases) {
    std::string storage;
    const std::string& text = sqlite_dialect_text(sql, storage);
    EXPECT_EQ(text, sqlite_dialect(sql)) << sql;
    EXPECT_EQ(&text == &sql, !sqlite_dialect_rewrites(sql)) << sql;
  }
}

// Only the statement's own words are rewritten: a value between quotes that
// happens to read like SQL is stored exactly as written.
TEST(SqliteDialect, LeavesQuotedValuesAloneAndIgnoresLetterCaseAndLineBreaks) {
  const std::string tables =
      "(SELECT 'main' AS TABLE_CATALOG, 'main' AS TABLE_SCHEMA, name AS TABLE_NAME, "
      "CASE type WHEN 'table' THEN 'BASE TABLE' ELSE 'VIEW' END AS TABLE_TYPE "
      "FROM sqlite_schema WHERE type IN ('table','view') AND name NOT LIKE 'sqlite!_%' "
      "ESCAPE '!') AS TABLES";
  struct Case {
    std::string sql;
    std::string expected;
  };
  const Case cases[] = {
      {"Insert into cons_estagiarioelogio(elogioc) values ('see INFORMATION_SCHEMA.TABLES')",
       "Insert into cons_estagiarioelogio(elogioc) values ('see INFORMATION_SCHEMA.TABLES')"},
      {"Select Descricao from vlmr_concurso where concurso='a into b from c'",
       "Select Descricao from vlmr_concurso where concurso='a into b from c'"},
      {"select nome from t where x='it''s into b from c' and y=\"q into r from s\"",
       "select nome from t where x='it''s into b from c' and y=\"q into r from s\""},
      {"Select 'x into y from z' as a into T from U where b='information_schema.tables'",
       "CREATE TABLE T AS SELECT 'x into y from z' as a FROM U where "
       "b='information_schema.tables'"},
      {"SELECT * INTO cons_pagamento_2026_12_06 FROM cons_pagamento ",
       "CREATE TABLE cons_pagamento_2026_12_06 AS SELECT * FROM cons_pagamento "},
      {"Select *\r\ninto\tcons_x\nfrom cons_pagamento\nwhere 1=1",
       "CREATE TABLE cons_x AS SELECT * FROM cons_pagamento\nwhere 1=1"},
      {"select * from information_schema.tables where table_name='x'",
       "select * from " + tables + " where table_name='x'"},
  };
  for (const Case& c : cases) EXPECT_EQ(sqlite_dialect(c.sql), c.expected) << c.sql;
}

// The scan that lets a statement pass without a copy: it must say true for
// every statement that sqlite_dialect changes, wherever the words stand.
TEST(SqliteDialect, ScanFindsTheWordsInAnyCaseAndPlace) {
  const struct {
    const char* sql;
    bool rewrites;
  } cases[] = {
      {"Select * into x from y", true},
      {"  SELECT a INTO x FROM y", true},
      {"select a from y where b=1 inTO", true},
      {"INFORMATION_SCHEMA.TABLES", true},
      {"select * from InFoRmAtIoN_ScHeMa.tables", true},
      {"x information_schema", true},
      {"insert into cons_pagamento(matricula) values ('1')", false},
      {"select a from y where b='int'", false},
      {"select * from informationxschema.tables", false},
      {"select * from information_schem", false},
      {"sel", false},
      {"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sqlite_dialect_rewrites(c.sql), c.rewrites) << c.sql;
    if (!c.rewrites) {
      EXPECT_EQ(sqlite_dialect(c.sql), c.sql);
    }
  }
}

TEST(SqliteSession, SlotsRunStatementsAndKeepOuterRowSetPlace) {
  testing::EmbeddedDatabases db;
  testing::SystemUnderTest sut(db, nullptr);
  db.exec("Velmora",
          "insert into vlmr_pagamento values ('1','202601',1500.5,'2026-01-05 00:00:00');"
          "insert into vlmr_pagamento values ('2','202601',10,NULL);");
  CONEXAO.abrir();
  CONEXAO.rs = CONEXAO.cn->Execute("Select * from vlmr_pagamento");
  ASSERT_FALSE(CONEXAO.rs->Eof());
  CONEXAO.rs2 = CONEXAO.cn->Execute("select count(*) as n from vlmr_pagamento");
  EXPECT_EQ(std::get<std::int64_t>(CONEXAO.rs2->Fields().Item("N").Value()), 2);
  CONEXAO.cn->Execute("insert into vlmr_logtransferencia(data) values ('x')");
  EXPECT_EQ(text_of(CONEXAO.rs->Fields().Item("VALOR").Value(), "valor"), "1500.5");
  EXPECT_EQ(text_of(CONEXAO.rs->Fields().Item("dtproc").Value(), "dtproc"), "2026-01-05");
  CONEXAO.rs->MoveNext();
  EXPECT_TRUE(is_null(CONEXAO.rs->Fields().Item("Dtproc").Value()));
  CONEXAO.rs->MoveNext();
  EXPECT_TRUE(CONEXAO.rs->Eof());
  CONEXAO.fechar();
  EXPECT_FALSE(CONEXAO.cn);
  EXPECT_THROW(CONEXAO.rs2->Eof(), Failure);
}

TEST(SqliteSession, DropWhileCheckRowSetIsOpen) {
  testing::EmbeddedDatabases db;
  testing::SystemUnderTest sut(db, nullptr);
  Conexao2.abrir();
  Conexao2.cn->Execute("Select * into cons_pagamento_2024_02_28 from cons_pagamento ");
  Conexao2.rs = Conexao2.cn->Execute(
      "SELECT * FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_TYPE = 'BASE TABLE' and TABLE_NAME= "
      "'cons_pagamento_2024_02_28'");
  ASSERT_FALSE(Conexao2.rs->Eof());
  Conexao2.cn->Execute("Drop table cons_pagamento_2024_02_28");
  EXPECT_EQ(db.query("consulta_tessarin",
                     "select count(*) from sqlite_schema where name='cons_pagamento_2024_02_28'"),
            (testing::Rows{{"0"}}));
}

TEST(SqliteSession, DateColumnsGiveDatesOnlyForRealCalendarDays) {
  testing::EmbeddedDatabases db;
  testing::SystemUnderTest sut(db, nullptr);
  struct Case {
    const char* stored;
    Value read;
  };
  const Case cases[] = {
      {"2024-02-29", DateTime{2024, 2, 29}},
      {"2007-03-02T14:30", DateTime{2007, 3, 2, 14, 30, 0}},
      {"2007-03-02 14:30:05.250", DateTime{2007, 3, 2, 14, 30, 5}},
      {"2023-02-29", std::string("2023-02-29")},
      {"2007-13-01", std::string("2007-13-01")},
      {"2007-03-02 24:00:00", std::string("2007-03-02 24:00:00")},
      {"02/03/2007", std::string("02/03/2007")},
      {"", std::string("")},
  };
  for (const auto& c : cases) {
    db.exec("Velmora",
            "delete from vlmr_pagamento; insert into vlmr_pagamento values "
            "('1','202601',1,'" +
                std::string(c.stored) + "')");
    Connection cn;
    cn.Open(source_connection_text());
    auto rs = cn.Execute("select Dtproc from vlmr_pagamento");
    ASSERT_FALSE(rs->Eof());
    EXPECT_EQ(rs->Fields().Item("Dtproc").Value(), c.read)
        << c.stored << " read as " << debug_text(rs->Fields().Item("Dtproc").Value());
  }
}

TEST(SqliteSession, RowsReadAheadForAWriteComeBackInOrder) {
  testing::EmbeddedDatabases db;
  testing::SystemUnderTest sut(db, nullptr);
  std::string rows = "BEGIN;";
  for (int i = 0; i < 2000; ++i)
    rows += "insert into vlmr_concurso values ('" + std::to_string(i) + "','x');";
  db.exec("Velmora", rows + "COMMIT;");
  Connection cn;
  cn.Open(source_connection_text());
  auto rs = cn.Execute("select concurso from vlmr_concurso order by rowid");
  rs->MoveNext();
  // A change on the same connection makes the open row set read ahead.
  cn.Execute("Drop table vlmr_bolsaauxilio");
  for (int i = 1; i < 2000; ++i, rs->MoveNext()) {
    ASSERT_FALSE(rs->Eof()) << i;
    ASSERT_EQ(std::get<std::string>(rs->Fields().Item("concurso").Value()), std::to_string(i));
  }
  EXPECT_TRUE(rs->Eof());
}

TEST(SqliteSession, MissingFileIsAnOpenFailure) {
  testing::TempDir dir;
  Connection cn;
  try {
    cn.Open("Provider=SQLOLEDB;Data Source=sqlite:" + dir.path() +
            ";Initial Catalog=Velmora;User Id=sa;Password=''");
    FAIL() << "open succeeded";
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), 14);
    EXPECT_NE(f.description().find("unable to open"), std::string::npos) << f.description();
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/Velmora.db"));
}

}  // namespace
}  // namespace velmora
