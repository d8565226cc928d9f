#pragma once

#include <string>

#include "tests/support/fixtures.h"

namespace velmora::testing {

// The databases Velmora, consulta_tessarin and CALVERIN on the PostgreSQL
// server named by VELMORA_TEST_PG ("host,port"), which the test command
// starts. Construction empties each database (schema public dropped and
// re-created for the database's owner) and re-creates the system's tables
// as the test databases have them (tools/catalog_tables.h) as that owner. Throws std::runtime_error when
// VELMORA_TEST_PG is not set, so that a test without its server fails.
//
// exec and query run as the database's owner login through the ODBC client
// (not through Connection, so the statement observer never sees them);
// query renders Null as "NULL" and other values by the default conversion.
class PostgresDatabases final : public Database {
 public:
  PostgresDatabases();
  // The same databases on the server `server` ("host,port") instead.
  explicit PostgresDatabases(std::string server);
  void exec(const std::string& catalog, const std::string& sql) override;
  Rows query(const std::string& catalog, const std::string& sql) override;
  std::string server() const override { return server_; }
  std::string odbc_driver() const override { return kDriver; }

  static constexpr const char* kDriver = "PostgreSQL Unicode";

  // The VELMORA_TEST_PG value; throws std::runtime_error when it is unset.
  static std::string test_server();
  // The connection text the system uses for `catalog`, logging in as
  // `login` with `password` (the catalog's owner when both are empty).
  std::string connection_text(const std::string& catalog, const std::string& login = "",
                              const std::string& password = "") const;

 private:
  std::string server_;
};

// A PostgreSQL cluster of one test's own (tools/pg-test-server in a temp
// dir), with the logins and databases of the shared one, for tests that stop
// and start their server. Stopped on destruction. Throws std::runtime_error
// when the cluster cannot be made or started.
class PostgresTestCluster {
 public:
  PostgresTestCluster();
  ~PostgresTestCluster();
  PostgresTestCluster(const PostgresTestCluster&) = delete;
  PostgresTestCluster& operator=(const PostgresTestCluster&) = delete;

  // "127.0.0.1,port", the server piece of the connection texts.
  const std::string& server() const { return server_; }
  // Stops the server at once (immediate shutdown: every backend killed, no
  // checkpoint), as a server that crashes or loses its machine.
  void crash();
  // Starts it again on the same port; waits until it accepts connections.
  void resume();
  // From now on the server refuses the login of the connection texts (sa)
  // while it stays up, as a server whose login was disabled.
  void refuse_login();

 private:
  void tool(const std::string& command);

  TempDir dir_;
  std::string server_;
};

}  // namespace velmora::testing
