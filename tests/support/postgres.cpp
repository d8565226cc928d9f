#include "tests/support/postgres.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/failure.h"
#include "db/connection_text.h"
#include "db/odbc_pool.h"
#include "db/odbc_session.h"
#include "tools/catalog_tables.h"
#include "tools_dir.h"

namespace velmora::testing {
namespace {

struct Owner {
  const char* catalog;
  const char* login;
  const char* password;
};
constexpr Owner kOwners[] = {
    {"Velmora", "sa", "''"},
    {"consulta_tessarin", "consulta_tessarin_int02", "Wubtra583"},
    {"CALVERIN", "CALVERIN_int01", "Tavreq527"},
};

const Owner& owner_of(const std::string& catalog) {
  for (const auto& o : kOwners) {
    if (catalog == o.catalog) return o;
  }
  throw std::runtime_error("no test database named " + catalog);
}

std::string quoted_name(const std::string& name) { return "\"" + name + "\""; }

}  // namespace

std::string PostgresDatabases::test_server() {
  const char* value = std::getenv("VELMORA_TEST_PG");
  if (!value || !*value) {
    throw std::runtime_error(
        "VELMORA_TEST_PG is not set: PostgreSQL tests need the server that tools/run-tests "
        "starts (or tools/pg-test-server start DIR, then export VELMORA_TEST_PG from DIR/env "
        "and ODBCSYSINI=tools/odbc)");
  }
  return value;
}

std::string PostgresDatabases::connection_text(const std::string& catalog, const std::string& login,
                                               const std::string& password) const {
  const Owner& o = owner_of(catalog);
  const bool owner = login.empty() && password.empty();
  return "Provider=SQLOLEDB;Data Source=" + server_ + ";Initial Catalog=" + catalog +
         ";User Id=" + (owner ? o.login : login) + ";Password=" + (owner ? o.password : password);
}

PostgresDatabases::PostgresDatabases() : PostgresDatabases(test_server()) {}

PostgresDatabases::PostgresDatabases(std::string server) : server_(std::move(server)) {
  for (const auto& o : kOwners) {
    // The superuser sa empties the database; its owner then creates the tables.
    auto admin =
        open_odbc_session(parse_connection_text(connection_text(o.catalog, "sa", "''")), kDriver);
    admin->execute("DROP SCHEMA IF EXISTS public CASCADE; CREATE SCHEMA public AUTHORIZATION " +
                   quoted_name(o.login));
    admin->close();
    exec(o.catalog,
         catalogs::schema(o.catalog, catalogs::Dialect::kPostgres, catalogs::Constraints::kNone));
  }
}

void PostgresDatabases::exec(const std::string& catalog, const std::string& sql) {
  try {
    auto session = open_odbc_session(parse_connection_text(connection_text(catalog)), kDriver);
    session->execute(sql);
    session->close();
  } catch (const Failure& f) {
    throw std::runtime_error(catalog + ": " + f.what() + " in: " + sql);
  }
}

Rows PostgresDatabases::query(const std::string& catalog, const std::string& sql) {
  try {
    auto session = open_odbc_session(parse_connection_text(connection_text(catalog)), kDriver);
    Rows rows;
    if (auto cursor = session->execute(sql)) {
      std::vector<Value> row;
      while (cursor->next(row)) {
        std::vector<std::string> texts;
        for (const auto& v : row) texts.push_back(is_null(v) ? "NULL" : text_of(v, ""));
        rows.push_back(std::move(texts));
      }
    }
    session->close();
    return rows;
  } catch (const Failure& f) {
    throw std::runtime_error(catalog + ": " + f.what() + " in: " + sql);
  }
}

PostgresTestCluster::PostgresTestCluster() {
  // The server runs as the postgres user, which must reach the cluster.
  ::chmod(dir_.path().c_str(), 0755);
  tool("start");
  std::ifstream env(dir_.path() + "/cluster/env");
  for (std::string line; std::getline(env, line);) {
    if (line.starts_with("VELMORA_TEST_PG=")) server_ = line.substr(16);
  }
  if (server_.empty()) throw std::runtime_error("pg-test-server wrote no VELMORA_TEST_PG");
  // The suite's shared server commits without waiting for its log, which
  // loses the last commits when the server is killed. A server that is
  // crashed on purpose must keep every commit it confirmed, as a production
  // server does.
  try {
    auto admin =
        open_odbc_session(parse_connection_text("Provider=SQLOLEDB;Data Source=" + server_ +
                                                ";Initial Catalog=Velmora;User Id=sa;Password=''"),
                          PostgresDatabases::kDriver);
    admin->execute("ALTER SYSTEM SET synchronous_commit = on");
    admin->execute("SELECT pg_reload_conf()");
    admin->close();
  } catch (const Failure& f) {
    throw std::runtime_error(std::string("setting up the test's cluster: ") + f.what());
  }
}

PostgresTestCluster::~PostgresTestCluster() {
  try {
    tool("stop");
  } catch (...) {
  }
}

void PostgresTestCluster::crash() { tool("crash"); }

void PostgresTestCluster::resume() { tool("resume"); }

void PostgresTestCluster::refuse_login() {
  auto admin =
      open_odbc_session(parse_connection_text("Provider=SQLOLEDB;Data Source=" + server_ +
                                              ";Initial Catalog=Velmora;User Id=sa;Password=''"),
                        PostgresDatabases::kDriver);
  admin->execute("ALTER ROLE sa NOLOGIN");
  admin->close();
  // Connections logged in before stay usable; none of them may be handed
  // out by the pool as a new login.
  if (OdbcPool* pool = live_odbc_pool()) pool->clear();
}

void PostgresTestCluster::tool(const std::string& command) {
  const std::string script = std::string(kToolsDir) + "/pg-test-server";
  const std::string line = "bash '" + script + "' " + command + " '" + dir_.path() +
                           "/cluster' >>'" + dir_.path() + "/tool.log' 2>&1";
  if (std::system(line.c_str()) != 0) {
    std::ifstream log(dir_.path() + "/tool.log");
    std::ostringstream text;
    text << log.rdbuf();
    throw std::runtime_error("pg-test-server " + command + " failed:\n" + text.str());
  }
}

std::unique_ptr<Database> make_database(Backend backend) {
  if (backend == Backend::kEmbedded) return std::make_unique<EmbeddedDatabases>();
  return std::make_unique<PostgresDatabases>();
}

}  // namespace velmora::testing
