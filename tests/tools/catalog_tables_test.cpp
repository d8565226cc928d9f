#include "tools/catalog_tables.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "transfer/intern_fields.h"

namespace velmora::testing {
namespace {

using catalogs::Constraints;
using catalogs::Dialect;

// The three catalogs attached to one in-memory database, each created from
// its derived SQLite schema.
class Catalogs {
 public:
  explicit Catalogs(Constraints constraints) {
    sqlite3* raw = nullptr;
    sqlite3_open(":memory:", &raw);
    db_.reset(raw);
    for (std::string_view catalog : catalogs::kCatalogs) {
      const std::string name(catalog);
      exec("ATTACH ':memory:' AS " + name);
      // Unqualified names go to the first attached database that has them.
      for (std::string statement :
           split(catalogs::schema(catalog, Dialect::kSqlite, constraints))) {
        for (const std::string keyword :
             {"CREATE TABLE ", "CREATE INDEX ", "CREATE UNIQUE INDEX "}) {
          if (statement.starts_with(keyword)) statement.insert(keyword.size(), name + ".");
        }
        exec(statement);
      }
    }
  }

  // True when SQLite accepts `sql`.
  bool exec(const std::string& sql) {
    return sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  }

  std::vector<std::string> columns(const catalogs::Table& t) {
    std::vector<std::string> out;
    sqlite3_stmt* s = nullptr;
    const std::string sql = "select name from " + std::string(t.catalog) + ".pragma_table_info('" +
                            std::string(t.name) + "')";
    sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW) {
      out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    }
    sqlite3_finalize(s);
    return out;
  }

 private:
  // The statements of a script, comments dropped.
  static std::vector<std::string> split(const std::string& script) {
    std::vector<std::string> out;
    std::string current;
    std::size_t at = 0;
    while (at < script.size()) {
      const std::size_t end = std::min(script.find('\n', at), script.size());
      const std::string line = script.substr(at, end - at);
      at = end + 1;
      if (line.starts_with("--")) continue;
      current += line + "\n";
      if (line.ends_with(";")) {
        out.push_back(current);
        current.clear();
      }
    }
    return out;
  }

  std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db_{nullptr, &sqlite3_close};
};

TEST(CatalogTables, EveryDerivedShapeHoldsTheDescribedColumnsInOrder) {
  for (Constraints constraints : {Constraints::kInstallation, Constraints::kNone}) {
    Catalogs db(constraints);
    for (const catalogs::Table& t : catalogs::tables()) {
      EXPECT_EQ(db.columns(t), catalogs::column_names(t))
          << t.catalog << "." << t.name << (constraints == Constraints::kNone ? " (tests)" : "");
    }
  }
}

TEST(CatalogTables, OnlyTheInstallationRefusesNullsRepeatedKeysAndRepeatedCodes) {
  struct Case {
    const char* what;
    std::vector<std::string> statements;  // the last one is the one refused
  };
  const Case cases[] = {
      {"a Null in a NOT NULL column", {"insert into vlmr_concurso values ('EX1', NULL)"}},
      {"a repeated key",
       {"insert into vlmr_estagiariointerrupcao values (1, '7', '2026-01-01', NULL, NULL, 'm')",
        "insert into vlmr_estagiariointerrupcao values (1, '7', '2026-02-01', NULL, NULL, 'n')"}},
      {"a repeated unit code",
       {"insert into orgaos values (1, 'A', 'Q1', 'R1', 1)",
        "insert into orgaos values (2, 'B', 'Q1', 'R1', 1)"}},
  };
  for (const Case& c : cases) {
    Catalogs installation(Constraints::kInstallation);
    Catalogs tests(Constraints::kNone);
    for (std::size_t i = 0; i + 1 < c.statements.size(); ++i) {
      ASSERT_TRUE(installation.exec(c.statements[i])) << c.what;
      ASSERT_TRUE(tests.exec(c.statements[i])) << c.what;
    }
    EXPECT_FALSE(installation.exec(c.statements.back())) << c.what;
    EXPECT_TRUE(tests.exec(c.statements.back())) << c.what;
  }
}

// The intern transfer names its columns itself; the description must hold
// each of them, and the consultation table must have the insert's columns
// in the insert's order.
TEST(CatalogTables, HoldsEveryColumnTheInternTransferReadsAndWrites) {
  using intern_fields::Step;
  auto holds = [](std::string_view table, std::string_view column) {
    const auto& columns = catalogs::table(table).columns;
    return std::any_of(columns.begin(), columns.end(), [&](const catalogs::Column& c) {
      return std::equal(c.name.begin(), c.name.end(), column.begin(), column.end(),
                        [](char a, char b) { return std::tolower(a) == std::tolower(b); });
    });
  };
  for (const auto& field : intern_fields::kFields) {
    std::string_view table = "vlmr_estagiario";
    if (field.step == Step::kExam) table = "vlmr_concurso";
    if (field.step == Step::kGrant) table = "vlmr_bolsaauxilio";
    if (field.step == Step::kAssignment) table = "vlmr_estagiariodesignacao";
    if (field.step == Step::kInterruption) table = "vlmr_estagiariointerrupcao";
    EXPECT_TRUE(holds(table, field.column)) << table << "." << field.column;
  }
  std::vector<std::string> inserted;
  for (const auto& column : intern_fields::kColumns) inserted.emplace_back(column.name);
  EXPECT_EQ(catalogs::column_names(catalogs::table("cons_estagiario")), inserted);
}

TEST(CatalogTables, DialectsMapTheInstallationsTypes) {
  EXPECT_EQ(catalogs::schema("CALVERIN", Dialect::kPostgres, Constraints::kNone),
            "-- Units, looked up by their qorv code or their number.\n"
            "CREATE TABLE orgaos (\n"
            "  orgao integer,\n"
            "  nome varchar(100),\n"
            "  qorv varchar(20),\n"
            "  regiao varchar(20),\n"
            "  grupo integer\n"
            ");\n"
            "CREATE INDEX pk_orgaos ON orgaos (orgao);\n"
            "CREATE INDEX ix_orgaos_qorv ON orgaos (qorv);\n"
            "-- Groups, whose description follows a unit's name.\n"
            "CREATE TABLE gruposorgaos (\n"
            "  grupo integer,\n"
            "  descricao varchar(100)\n"
            ");\n"
            "CREATE INDEX pk_gruposorgaos ON gruposorgaos (grupo);\n");
  const std::string log = catalogs::schema("Velmora", Dialect::kSqlite, Constraints::kInstallation);
  EXPECT_NE(log.find("CREATE TABLE vlmr_logtransferencia (\n  data varchar(10) NOT NULL,\n  "
                     "hora_inicial varchar(10) NULL,\n  hora_final varchar(10) NULL,\n  erro "
                     "text NULL\n);\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("  dtiniestagio datetime NULL,\n"), std::string::npos);
  EXPECT_NE(catalogs::schema("Velmora", Dialect::kPostgres, Constraints::kNone)
                .find("  dtiniestagio timestamp,\n"),
            std::string::npos);
  EXPECT_TRUE(catalogs::schema("nowhere", Dialect::kSqlite, Constraints::kNone).empty());
  EXPECT_THROW(catalogs::table("nowhere"), std::out_of_range);
}

}  // namespace
}  // namespace velmora::testing
