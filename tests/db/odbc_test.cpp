#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "core/deployment.h"
#include "core/failure.h"
#include "db/client.h"
#include "db/conexao.h"
#include "db/connection_text.h"
#include "db/odbc_handle.h"
#include "db/odbc_pool.h"
#include "db/odbc_session.h"
#include "db/time_outs.h"
#include "db/utf16.h"
#include "tests/support/postgres.h"

namespace velmora {
namespace {

// The dead-peer options of each driver with the compiled-in bounds.
const std::string kFreeTdsBounds = ";TDS_Version=7.4;Timeout=900";
const std::string kPsqlOdbcBounds =
    ";KeepaliveTime=30;KeepaliveInterval=10;pqopt={keepalives_count=3 tcp_user_timeout=60000}";

TEST(OdbcConnectionString, MapsTheConnectionTextForTheDriver) {
  struct Case {
    ConnectionText text;
    std::string driver;
    std::string expected;
  };
  const Case cases[] = {
      {parse_connection_text("Provider=SQLOLEDB;Data Source=srcdb;Initial Catalog=Velmora;User "
                             "Id=sa;Password=''"),
       "FreeTDS",
       "Driver={FreeTDS};Server=srcdb;Database=Velmora;UID=sa;PWD=;ClientCharset=UTF-8" +
           kFreeTdsBounds},
      {parse_connection_text("Provider=SQLOLEDB;Data Source=10.1.2.3, 1433;Initial "
                             "Catalog=consulta_tessarin;User Id=consulta_tessarin_int02;"
                             "Password=Wubtra583"),
       "FreeTDS",
       "Driver={FreeTDS};Server=10.1.2.3;Port=1433;Database=consulta_tessarin;"
       "UID=consulta_tessarin_int02;PWD=Wubtra583;ClientCharset=UTF-8" +
           kFreeTdsBounds},
      {parse_connection_text("Provider=SQLOLEDB;Data Source=127.0.0.1,5432;Initial "
                             "Catalog=CALVERIN;User Id=CALVERIN_int01;Password=Tavreq527"),
       "PostgreSQL Unicode",
       "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=5432;Database=CALVERIN;"
       "UID=CALVERIN_int01;PWD=Tavreq527;UseDeclareFetch=1;Fetch=1000" +
           kPsqlOdbcBounds},
      {{"", "h", "Velmora", "sa", ""},
       "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so",
       "Driver={/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so};Server=h;Database=Velmora;UID=sa;"
       "PWD=;ClientCharset=UTF-8" +
           kFreeTdsBounds},
      {{"", "h", "Velmora", "sa", "a;b{c}d"},
       "Odd}Driver",
       "Driver={Odd}}Driver};Server=h;Database=Velmora;UID=sa;PWD={a;b{c}}d}"},
      {{"", "h", "Velmora", "sa", " pad "},
       "PostgreSQL Unicode",
       "Driver={PostgreSQL Unicode};Server=h;Database=Velmora;UID=sa;PWD={ pad };"
       "UseDeclareFetch=1;Fetch=1000" +
           kPsqlOdbcBounds},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(odbc_connection_string(c.text, c.driver), c.expected)
        << "data source " << c.text.data_source << ", password " << c.text.password << ", driver "
        << c.driver;
  }
  EXPECT_EQ(odbc_driver_options("PostgreSQL Unicode"), ";UseDeclareFetch=1;Fetch=1000");
  EXPECT_EQ(odbc_driver_options("/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so"),
            ";UseDeclareFetch=1;Fetch=1000");
  EXPECT_EQ(odbc_driver_options("FreeTDS"), "");
}

TEST(OdbcConnectionString, CarriesTheBoundsInUse) {
  TimeOuts bounds;
  bounds.statement = std::chrono::seconds(7);
  bounds.keepalive_idle = std::chrono::seconds(2);
  bounds.keepalive_interval = std::chrono::seconds(1);
  bounds.keepalive_count = 4;
  bounds.unacknowledged = std::chrono::seconds(5);
  set_time_outs_for_testing(&bounds);
  const ConnectionText text{"", "h", "Velmora", "sa", ""};
  EXPECT_EQ(odbc_connection_string(text, "FreeTDS"),
            "Driver={FreeTDS};Server=h;Database=Velmora;UID=sa;PWD=;ClientCharset=UTF-8;"
            "TDS_Version=7.4;Timeout=7");
  EXPECT_EQ(odbc_connection_string(text, "PostgreSQL Unicode"),
            "Driver={PostgreSQL Unicode};Server=h;Database=Velmora;UID=sa;PWD=;UseDeclareFetch=1;"
            "Fetch=1000;KeepaliveTime=2;KeepaliveInterval=1;pqopt={keepalives_count=4 "
            "tcp_user_timeout=5000}");
  set_time_outs_for_testing(nullptr);
}

TEST(OdbcText, ConvertsBetweenUtf8AndUtf16) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"", u""},
      {"Convênio", u"Convênio"},
      {"€ 5", u"€ 5"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},  // outside the basic plane: a surrogate pair
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf16_from_utf8(c.utf8), c.utf16) << c.utf8;
    EXPECT_EQ(utf8_from_utf16(c.utf16), c.utf8) << c.utf8;
  }
  EXPECT_EQ(utf16_from_utf8("a\xFF"
                            "b"),
            u"a\uFFFDb");
  EXPECT_EQ(utf16_from_utf8("\xC3"), u"\uFFFD") << "a cut sequence";
  EXPECT_EQ(utf16_from_utf8("ab\xE2\x82"), u"ab\uFFFD\uFFFD") << "cut at the end of a text";
  EXPECT_EQ(utf16_from_utf8("\xF0\x9F\x98\x80\xF0\x9F\x98\x80"), u"\U0001F600\U0001F600")
      << "two units for every four bytes";
  EXPECT_EQ(utf16_from_utf8("x\xE2\x82\xACy\xC3\xA9z"), u"x\u20ACy\u00E9z");
  EXPECT_EQ(utf8_from_utf16(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

// Connects with `text` through Connection and returns the failure it raises.
Failure open_failure(const std::string& text) {
  Connection cn;
  try {
    cn.Open(text);
  } catch (const Failure& f) {
    EXPECT_FALSE(cn.IsOpen());
    return f;
  }
  ADD_FAILURE() << "the connection opened: " << text;
  return Failure(0, "");
}

class DeploymentDriver {
 public:
  explicit DeploymentDriver(const std::string& driver) {
    d_ = built_in_deployment();
    d_.odbc_driver = driver;
    set_deployment_for_testing(&d_);
  }
  ~DeploymentDriver() { set_deployment_for_testing(nullptr); }

 private:
  Deployment d_;
};

TEST(FreeTds, ClosedLoopbackPortFailsWithTheDriversNumberAndMessage) {
  DeploymentDriver driver("FreeTDS");
  const Failure f = open_failure("Provider=SQLOLEDB;Data Source=127.0.0.1," +
                                 std::to_string(testing::closed_loopback_port()) +
                                 ";Initial Catalog=Velmora;User Id=sa;Password=''");
  EXPECT_EQ(f.number(), 20009) << f.description();
  EXPECT_NE(f.description().find("[FreeTDS][SQL Server]Unable to connect"), std::string::npos)
      << f.description();
  EXPECT_NE(f.description().find("[08S01]"), std::string::npos) << f.description();
}

class OdbcPostgres : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = std::make_unique<testing::PostgresDatabases>();
    driver_ = std::make_unique<DeploymentDriver>(testing::PostgresDatabases::kDriver);
    odbc_pool().clear();
  }
  void TearDown() override {
    odbc_pool().set_idle_timeout(OdbcPool::kDefaultIdleTimeout);
    odbc_pool().clear();
  }
  static std::string backend_pid(Connection& cn) {
    auto rs = cn.Execute("select pg_backend_pid() as pid");
    return text_of(rs->Fields().Item("pid").Value(), "pid");
  }
  std::unique_ptr<testing::PostgresDatabases> db_;
  std::unique_ptr<DeploymentDriver> driver_;
};

TEST_F(OdbcPostgres, UnreachableServerAndWrongPasswordFailWithTheDriversNumberAndMessage) {
  struct Case {
    std::string what;
    std::string text;
    std::int32_t number;
    std::string fragment;
  };
  const Case cases[] = {
      {"closed port",
       "Provider=SQLOLEDB;Data Source=127.0.0.1," +
           std::to_string(testing::closed_loopback_port()) +
           ";Initial Catalog=Velmora;User Id=sa;Password=''",
       101, "[08001] connection to server at \"127.0.0.1\""},
      {"wrong password", db_->connection_text("consulta_tessarin", "consulta_tessarin_int02", "x"),
       101, "password authentication failed for user \"consulta_tessarin_int02\""},
      {"login in the wrong letter case",
       db_->connection_text("CALVERIN", "calverin_int01", "Tavreq527"), 101,
       "password authentication failed for user \"calverin_int01\""},
      {"missing catalog",
       "Provider=SQLOLEDB;Data Source=" + db_->server() +
           ";Initial Catalog=nowhere;User Id=sa;Password=''",
       101, "database \"nowhere\" does not exist"},
  };
  for (const Case& c : cases) {
    const Failure f = open_failure(c.text);
    EXPECT_EQ(f.number(), c.number) << c.what << ": " << f.description();
    EXPECT_NE(f.description().find(c.fragment), std::string::npos)
        << c.what << ": " << f.description();
  }
}

TEST_F(OdbcPostgres, DecimalsLongerThanAnyColumnComeBackWhole) {
  // An unconstrained numeric can carry far more digits than a declared
  // column; none of them may be cut.
  const std::string digits = std::string(300, '7') + "." + std::string(200, '3');
  Connection cn;
  cn.Open(db_->connection_text("CALVERIN"));
  auto rs = cn.Execute("select cast('" + digits + "' as numeric) as big");
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Fields().Item("big").Value(), Value(Decimal{digits}));
}

TEST_F(OdbcPostgres, ClosingAndOpeningReusesThePhysicalConnection) {
  const std::string text = db_->connection_text("CALVERIN");
  Connection cn;
  cn.Open(text);
  const std::string pid = backend_pid(cn);
  for (int i = 0; i < 5; ++i) {
    cn.Close();
    EXPECT_EQ(odbc_pool().idle_count(), 1u);
    cn.Open(text);
    EXPECT_EQ(odbc_pool().idle_count(), 0u);
    EXPECT_EQ(backend_pid(cn), pid) << "open number " << i + 2;
  }
  // Another login is another connection.
  Connection other;
  other.Open(db_->connection_text("CALVERIN", "sa", "''"));
  EXPECT_NE(backend_pid(other), pid);
}

TEST_F(OdbcPostgres, AnExpiredIdleConnectionIsDisconnectedNotReused) {
  odbc_pool().set_idle_timeout(std::chrono::milliseconds(200));
  const std::string text = db_->connection_text("consulta_tessarin");
  Connection cn;
  cn.Open(text);
  const std::string first = backend_pid(cn);
  cn.Close();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  cn.Open(text);
  const std::string second = backend_pid(cn);
  EXPECT_NE(second, first);
  auto rs = cn.Execute("select count(*) as n from pg_stat_activity where pid = " + first);
  EXPECT_EQ(text_of(rs->Fields().Item("n").Value(), "n"), "0") << "the expired connection lives on";
}

TEST_F(OdbcPostgres, IdleConnectionsAreReleasedBetweenNightsWithoutAnOpen) {
  odbc_pool().set_idle_timeout(std::chrono::milliseconds(200));
  const std::string text = db_->connection_text("CALVERIN");
  Connection cn;
  cn.Open(text);
  const std::string pid = backend_pid(cn);
  cn.Close();
  release_idle_odbc_connections();
  EXPECT_EQ(odbc_pool().idle_count(), 1u) << "released before its time-out";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  release_idle_odbc_connections();
  EXPECT_EQ(odbc_pool().idle_count(), 0u);
  Connection admin;
  admin.Open(db_->connection_text("CALVERIN", "sa", "''"));
  // The server ends the backend shortly after the disconnect.
  std::string left = "1";
  for (int i = 0; i < 40 && left != "0"; ++i) {
    if (i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto rs = admin.Execute("select count(*) as n from pg_stat_activity where pid = " + pid);
    left = text_of(rs->Fields().Item("n").Value(), "n");
  }
  EXPECT_EQ(left, "0") << "the released connection lives on";
}

TEST_F(OdbcPostgres, ZeroIdleTimeoutTurnsPoolingOff) {
  odbc_pool().set_idle_timeout(std::chrono::seconds(0));
  const std::string text = db_->connection_text("CALVERIN");
  Connection cn;
  cn.Open(text);
  const std::string first = backend_pid(cn);
  cn.Close();
  EXPECT_EQ(odbc_pool().idle_count(), 0u);
  cn.Open(text);
  EXPECT_NE(backend_pid(cn), first);
}

TEST_F(OdbcPostgres, AConnectionThatLostItsServerIsNotPooled) {
  Connection cn;
  cn.Open(db_->connection_text("Velmora"));
  const std::string pid = backend_pid(cn);
  Connection open_elsewhere;  // in use while the link fails, closed after
  open_elsewhere.Open(db_->connection_text("consulta_tessarin"));
  {
    Connection admin;
    admin.Open(db_->connection_text("CALVERIN", "sa", "''"));
    admin.Execute("select pg_terminate_backend(" + pid + ")");
  }
  ASSERT_EQ(odbc_pool().idle_count(), 1u);  // the admin connection
  try {
    cn.Execute("select 1 as one");
    FAIL() << "a statement ran on a terminated connection";
  } catch (const Failure& f) {
    EXPECT_NE(f.description().find("[57P01] FATAL: terminating connection"), std::string::npos)
        << f.description();
  }
  cn.Close();
  // The lost link makes every connection to that server made before it
  // suspect: the idle admin connection (another catalog) goes as well.
  EXPECT_EQ(odbc_pool().idle_count(), 0u) << "a connection made before the failure was kept";
  open_elsewhere.Close();
  EXPECT_EQ(odbc_pool().idle_count(), 0u) << "a connection made before the failure was pooled";
  cn.Open(db_->connection_text("Velmora"));
  EXPECT_NE(backend_pid(cn), pid);
  cn.Close();
  EXPECT_EQ(odbc_pool().idle_count(), 1u) << "a connection made after the failure is pooled";
}

// A run that stops before its closing step leaves connections in the slots;
// they close at process exit, after the pool (made later) is already gone.
TEST_F(OdbcPostgres, ConnectionLeftOpenInASlotClosesCleanlyAtExit) {
  const std::string text = db_->connection_text("Velmora");
  EXPECT_EXIT(
      {
        CONEXAO.cn = std::make_shared<Connection>();
        CONEXAO.cn->Open(text);
        CONEXAO.rs = CONEXAO.cn->Execute("select 1 as one");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

// The backend serving a statement of `session`, as the server names it.
std::int64_t backend_of(Session& session, const std::string& sql = "select pg_backend_pid()") {
  auto cursor = session.execute(sql);
  std::vector<Value> row;
  EXPECT_TRUE(cursor->next(row));
  return std::get<std::int64_t>(row.at(0));
}

TEST_F(OdbcPostgres, StatementArrivingWhileARowSetStreamsRunsOnAFurtherConnection) {
  db_->exec("Velmora",
            "insert into vlmr_concurso select g::text, 'Exame ' || g from "
            "generate_series(1, 2500) g");
  auto session = open_odbc_session(parse_connection_text(db_->connection_text("Velmora")),
                                   testing::PostgresDatabases::kDriver);
  auto outer = session->execute(
      "select concurso, pg_backend_pid() as pid from vlmr_concurso order by concurso::int");
  std::vector<Value> row;
  ASSERT_TRUE(outer->next(row));
  const Value first = row.at(1);

  // Look-ups run on a second connection while the outer row set streams,
  // each on the same one: the look-up before it has ended.
  const std::int64_t lookup = backend_of(*session);
  EXPECT_NE(Value(lookup), first);
  EXPECT_EQ(backend_of(*session), lookup);
  // A statement's effect is there at once for everyone: no transaction.
  session->execute("insert into vlmr_bolsaauxilio values (9, 'Bolsa')");
  EXPECT_EQ(db_->query("Velmora", "select descricao from vlmr_bolsaauxilio"),
            testing::Rows{{"Bolsa"}});

  int expected = 2;
  while (outer->next(row)) {
    ASSERT_EQ(row.at(0), Value(std::to_string(expected))) << "row " << expected;
    ++expected;
  }
  EXPECT_EQ(expected, 2501);
  // With the row set at its end, the first connection serves again.
  EXPECT_EQ(Value(backend_of(*session)), first);
  outer.reset();
  const std::size_t idle = odbc_pool().idle_count();
  session->close();
  EXPECT_EQ(odbc_pool().idle_count(), idle + 2) << "both connections go back to the pool";
}

// Heap in use by the process, in bytes.
std::size_t heap_in_use() { return mallinfo2().uordblks; }

TEST_F(OdbcPostgres, LongStreamingRowSetTakesMemoryIndependentOfItsLength) {
  // 10 000 rows of about 1 KB: 10 MB if the client or the driver held them.
  db_->exec(
      "Velmora",
      "insert into vlmr_estagiario (matricula, nome, filiacao, sancao) select g::text, "
      "repeat('n', 100), repeat('f', 200), repeat('s', 700) from generate_series(1, 10000) g");
  auto session = open_odbc_session(parse_connection_text(db_->connection_text("Velmora")),
                                   testing::PostgresDatabases::kDriver);
  backend_of(*session);  // the connection's own buffers exist before measuring
  const std::size_t before = heap_in_use();
  std::size_t most = before;
  auto outer = session->execute("select * from vlmr_estagiario");
  std::vector<Value> row;
  int rows = 0;
  while (outer->next(row)) {
    // Every hundredth row a look-up interrupts the row set, as in a night.
    if (++rows % 100 == 0) {
      backend_of(*session, "select count(*) from vlmr_concurso");
      most = std::max(most, heap_in_use());
    }
  }
  EXPECT_EQ(rows, 10000);
  EXPECT_LT(most - before, 4u << 20) << "heap grew by " << (most - before) << " bytes";
  outer.reset();
  session->close();
}

// What the server says the backend `pid` is doing: "idle" between
// statements, "idle in transaction" while psqlODBC holds a cursor open.
std::string backend_state(testing::PostgresDatabases& db, std::int64_t pid) {
  const testing::Rows rows =
      db.query("Velmora", "select state from pg_stat_activity where pid = " + std::to_string(pid));
  return rows.empty() ? "gone" : rows.at(0).at(0);
}

TEST_F(OdbcPostgres, OnlyASelectMadeWhileNoRowSetIsBeingReadStreamsThroughTheCursor) {
  db_->exec("Velmora",
            "insert into vlmr_concurso select g::text, 'Exame ' || g from "
            "generate_series(1, 3000) g");
  const std::string outer_sql = "select concurso from vlmr_concurso order by concurso::int";
  // Two rows, of which only the first is read: the look-up stays open while
  // the server is asked whether its backend holds a transaction.
  const std::string lookup_sql =
      "select pg_backend_pid() as pid from vlmr_concurso where concurso in ('1', '2')";
  struct Case {
    const char* what;
    int outer_rows_read;  // -1: no outer row set at all
    bool outer_dropped;   // the outer row set discarded before the look-up
    const char* lookup_state;
  };
  const Case cases[] = {
      {"nothing else open", -1, false, "idle in transaction"},
      {"outer row set only executed", 0, false, "idle in transaction"},
      {"outer row set on its first row", 1, false, "idle in transaction"},
      {"outer row set read past its first row", 2, false, "idle"},
      {"outer row set read far", 1500, false, "idle"},
      {"outer row set read to its end", 3000, false, "idle in transaction"},
      {"outer row set dropped while being read", 2, true, "idle in transaction"},
  };
  for (const Case& c : cases) {
    auto session = open_odbc_session(parse_connection_text(db_->connection_text("Velmora")),
                                     testing::PostgresDatabases::kDriver);
    std::unique_ptr<Cursor> outer;
    std::vector<Value> row;
    if (c.outer_rows_read >= 0) {
      outer = session->execute(outer_sql);
      for (int k = 0; k < c.outer_rows_read; ++k) ASSERT_TRUE(outer->next(row)) << c.what;
      if (c.outer_rows_read == 3000) {
        EXPECT_FALSE(outer->next(row)) << c.what;
      }
      if (c.outer_dropped) outer.reset();
    }
    auto lookup = session->execute(lookup_sql);
    ASSERT_TRUE(lookup->next(row)) << c.what;
    const std::int64_t pid = std::get<std::int64_t>(row.at(0));
    EXPECT_EQ(backend_state(*db_, pid), c.lookup_state) << c.what;
    // Whatever the mode, the look-up's rows and the outer row set's are all there.
    EXPECT_TRUE(lookup->next(row)) << c.what;
    EXPECT_FALSE(lookup->next(row)) << c.what;
    EXPECT_EQ(backend_state(*db_, pid), "idle") << c.what << ": the row set has ended";
    if (outer && c.outer_rows_read < 3000) {
      int rows = c.outer_rows_read;
      while (outer->next(row)) ++rows;
      EXPECT_EQ(rows, 3000) << c.what;
    }
    lookup.reset();
    outer.reset();
    session->close();
  }
}

TEST_F(OdbcPostgres, EveryStatementTakesEffectAtOnceOnTheConnectionsOneStatementHandle) {
  db_->exec("Velmora",
            "insert into vlmr_concurso select g::text, 'Exame ' || g from "
            "generate_series(1, 2500) g");
  auto session = open_odbc_session(parse_connection_text(db_->connection_text("Velmora")),
                                   testing::PostgresDatabases::kDriver);
  const std::int64_t pid = backend_of(*session);
  // Each step leaves the connection's statement handle closed in another way;
  // the insert that follows it on the same handle must be seen at once from
  // another connection, and the backend must hold no transaction.
  struct Step {
    const char* what;
    std::function<void()> run;
  };
  std::vector<Value> row;
  const Step steps[] = {
      {"a streamed row set read to its end",
       [&] {
         auto c = session->execute("select * from vlmr_concurso");
         while (c->next(row)) {
         }
       }},
      {"a streamed row set dropped after its first row",
       [&] { ASSERT_TRUE(session->execute("select * from vlmr_concurso")->next(row)); }},
      {"an empty row set",
       [&] { EXPECT_FALSE(session->execute("select 1 where false")->next(row)); }},
      {"a failed select",
       [&] { EXPECT_THROW(session->execute("select * from nowhere"), Failure); }},
      {"a failed insert",
       [&] { EXPECT_THROW(session->execute("insert into nowhere values (1)"), Failure); }},
      {"an insert",
       [&] { session->execute("insert into vlmr_bolsaauxilio values (0, 'primeira')"); }},
      {"a look-up made while a row set is being read",
       [&] {
         auto outer = session->execute("select * from vlmr_concurso");
         ASSERT_TRUE(outer->next(row) && outer->next(row));
         EXPECT_TRUE(session->execute("select 1")->next(row));
         while (outer->next(row)) {
         }
       }},
  };
  int id = 1;
  for (const Step& step : steps) {
    step.run();
    EXPECT_EQ(backend_state(*db_, pid), "idle") << "after " << step.what;
    session->execute("insert into vlmr_bolsaauxilio values (" + std::to_string(id) + ", 'x')");
    EXPECT_EQ(db_->query("Velmora", "select count(*) from vlmr_bolsaauxilio where id_bolsa = " +
                                        std::to_string(id)),
              testing::Rows{{"1"}})
        << "the insert after " << step.what;
    EXPECT_EQ(backend_of(*session), pid) << "still the one connection after " << step.what;
    ++id;
  }
  session->close();
}

}  // namespace
}  // namespace velmora
