#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/deployment.h"
#include "db/client.h"

namespace velmora::testing {

// A loopback TCP port on which nothing listens (bound once, then released),
// so that connecting to it is refused at once.
int closed_loopback_port();

// A fresh directory under the temp directory, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A clock that tests set by hand.
class FakeClock final : public Clock {
 public:
  DateTime now() const override { return now_; }
  void set(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { now_ = {y, mo, d, h, mi, s}; }
  DateTime now_{2026, 12, 8, 0, 30, 0};
};

// One statement as the observer saw it: the catalog of the connection it ran
// on and its exact text.
struct Statement {
  std::string catalog;
  std::string text;
  bool operator==(const Statement&) const = default;
};
void PrintTo(const Statement& s, std::ostream* os);

// Records every statement executed while it lives.
class StatementRecorder {
 public:
  StatementRecorder();
  ~StatementRecorder();
  const std::vector<Statement>& statements() const { return statements_; }
  std::vector<std::string> texts() const;
  void clear() { statements_.clear(); }

 private:
  std::vector<Statement> statements_;
};

// Rows of a query as text ("NULL" for Null), for comparisons in tests.
using Rows = std::vector<std::vector<std::string>>;

// Direct access to a test database, independent of the connection slots.
class Database {
 public:
  virtual ~Database() = default;
  virtual void exec(const std::string& catalog, const std::string& sql) = 0;
  virtual Rows query(const std::string& catalog, const std::string& sql) = 0;
  // Server piece for the connection texts ("sqlite:DIR" or "host,port").
  virtual std::string server() const = 0;
  // ODBC driver the deployment must use for this database.
  virtual std::string odbc_driver() const { return "FreeTDS"; }
};

// Three embedded databases with the system's empty tables in a temp dir.
class EmbeddedDatabases final : public Database {
 public:
  EmbeddedDatabases();
  void exec(const std::string& catalog, const std::string& sql) override;
  Rows query(const std::string& catalog, const std::string& sql) override;
  std::string server() const override { return "sqlite:" + dir_.path(); }
  const std::string& dir() const { return dir_.path(); }

 private:
  TempDir dir_;
};

// The database servers that tests run against: embedded SQLite files, or
// the PostgreSQL server that the test command starts (reached through ODBC).
enum class Backend { kEmbedded, kPostgres };
std::string BackendName(const ::testing::TestParamInfo<Backend>& info);

// Fresh databases Velmora, consulta_tessarin and CALVERIN with the system's
// empty tables on `backend`.
std::unique_ptr<Database> make_database(Backend backend);

// Puts the process into its start state (reset_process_state_for_testing),
// then points the deployment at `db` (both servers) and installs `clock`;
// resets the process state again on destruction.
class SystemUnderTest {
 public:
  SystemUnderTest(const Database& db, const Clock* clock);
  ~SystemUnderTest();

 private:
  Deployment deployment_;
};

// Fresh databases on the test's backend and a process in its start state
// pointed at them, with the fake clock clock_ (2026-12-08 00:30:00) installed.
// Fixtures that need more call BackendTest::SetUp() first.
class BackendTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override { fresh_databases(); }
  void TearDown() override { sut_.reset(); }

  // New empty databases, and the process state reset and pointed at them.
  void fresh_databases() {
    sut_.reset();
    db_ = make_database(GetParam());
    sut_ = std::make_unique<SystemUnderTest>(*db_, &clock_);
  }

  FakeClock clock_;
  std::unique_ptr<Database> db_;
  std::unique_ptr<SystemUnderTest> sut_;
};

}  // namespace velmora::testing
