#include <gtest/gtest.h>

#include <filesystem>

#include "core/failure.h"
#include "db/client.h"
#include "db/sqlite_session.h"
#include "tests/support/fixtures.h"

namespace velmora {
namespace {

class SqliteHandleReuse : public ::testing::Test {
 protected:
  void SetUp() override { clear_idle_sqlite_handles(); }
  void TearDown() override { clear_idle_sqlite_handles(); }

  std::string text() const {
    return "Provider=SQLOLEDB;Data Source=" + db_.server() +
           ";Initial Catalog=CALVERIN;User Id=CALVERIN_int01;Password=Tavreq527";
  }
  std::string path() const { return db_.dir() + "/CALVERIN.db"; }

  testing::EmbeddedDatabases db_;
};

TEST_F(SqliteHandleReuse, ReopenedFileTakesTheClosedConnectionsHandle) {
  db_.exec("CALVERIN", "insert into gruposorgaos values (1, 'Grupo')");
  for (int open = 1; open <= 3; ++open) {
    Connection cn;
    cn.Open(text());
    EXPECT_EQ(idle_sqlite_handle_count(), 0u) << "open " << open;
    auto rs = cn.Execute("select descricao from gruposorgaos");
    EXPECT_EQ(rs->Fields().Item("descricao").Value(), Value(std::string("Grupo")));
    cn.Close();
    EXPECT_EQ(idle_sqlite_handle_count(), 1u) << "open " << open;
  }
}

TEST_F(SqliteHandleReuse, ClosedConnectionsRowSetsAreClosedAndLeaveNothingOnTheHandle) {
  db_.exec("CALVERIN", "insert into gruposorgaos values (1, 'a'), (2, 'b'), (3, 'c')");
  std::shared_ptr<Recordset> left;
  {
    Connection cn;
    cn.Open(text());
    left = cn.Execute("select grupo from gruposorgaos");  // streaming, rows left
    cn.Execute("BEGIN");  // a transaction left open is not carried over
    cn.Close();
  }
  EXPECT_FALSE(left->IsOpen());
  EXPECT_EQ(idle_sqlite_handle_count(), 0u) << "a handle inside a transaction is not kept";

  Connection cn;
  cn.Open(text());
  auto rs = cn.Execute("select grupo from gruposorgaos");
  cn.Close();
  EXPECT_FALSE(rs->IsOpen());
  EXPECT_EQ(idle_sqlite_handle_count(), 1u);
  // The kept handle has no statement pending: the schema can change at once,
  // and a transaction can begin.
  cn.Open(text());
  cn.Execute("drop table gruposorgaos");
  cn.Execute("BEGIN");
  cn.Execute("ROLLBACK");
  cn.Close();
}

TEST_F(SqliteHandleReuse, MissingOrReplacedFileIsNotServedByAKeptHandle) {
  {
    Connection cn;
    cn.Open(text());
    cn.Close();
  }
  ASSERT_EQ(idle_sqlite_handle_count(), 1u);
  std::filesystem::remove(path());
  Connection missing;
  try {
    missing.Open(text());
    FAIL() << "a missing file opened";
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), 14) << f.description();  // SQLITE_CANTOPEN
  }
  EXPECT_EQ(idle_sqlite_handle_count(), 0u);

  // A file made anew at the same path is read as it now is.
  testing::EmbeddedDatabases other;
  std::filesystem::copy_file(other.dir() + "/Velmora.db", path());
  Connection cn;
  cn.Open(text());
  auto rs = cn.Execute("select count(*) as n from vlmr_pagamento");
  EXPECT_EQ(rs->Fields().Item("n").Value(), Value(std::int64_t{0}));
  cn.Close();
}

}  // namespace
}  // namespace velmora
