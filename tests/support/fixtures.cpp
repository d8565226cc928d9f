#include "tests/support/fixtures.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <stdexcept>

#include "app/run/process_state.h"
#include "db/connection_text.h"
#include "tools/embedded_databases.h"

namespace velmora::testing {

int closed_loopback_port() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    throw std::runtime_error("bind failed");
  }
  close(fd);  // bound but never listening: connections are refused
  return ntohs(address.sin_port);
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "velmora-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void PrintTo(const Statement& s, std::ostream* os) { *os << "[" << s.catalog << "] " << s.text; }

StatementRecorder::StatementRecorder() {
  set_statement_observer([this](const Connection& c, const std::string& text) {
    std::string catalog;
    try {
      catalog = parse_connection_text(c.ConnectionString()).catalog;
    } catch (...) {
      catalog = "?";
    }
    statements_.push_back({catalog, text});
  });
}

StatementRecorder::~StatementRecorder() { set_statement_observer(nullptr); }

std::vector<std::string> StatementRecorder::texts() const {
  std::vector<std::string> out;
  for (const auto& s : statements_) out.push_back(s.text);
  return out;
}

EmbeddedDatabases::EmbeddedDatabases() { tools::create_embedded_databases(dir_.path()); }

namespace {
struct RawDb {
  sqlite3* db = nullptr;
  explicit RawDb(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      std::string m = sqlite3_errmsg(db);
      sqlite3_close(db);
      throw std::runtime_error(path + ": " + m);
    }
    sqlite3_busy_timeout(db, 10000);
  }
  ~RawDb() { sqlite3_close(db); }
};
}  // namespace

void EmbeddedDatabases::exec(const std::string& catalog, const std::string& sql) {
  RawDb raw(dir_.path() + "/" + catalog + ".db");
  char* error = nullptr;
  if (sqlite3_exec(raw.db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string m = error ? error : "?";
    sqlite3_free(error);
    throw std::runtime_error(catalog + ": " + m + " in: " + sql);
  }
}

Rows EmbeddedDatabases::query(const std::string& catalog, const std::string& sql) {
  RawDb raw(dir_.path() + "/" + catalog + ".db");
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(raw.db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
    throw std::runtime_error(catalog + ": " + sqlite3_errmsg(raw.db) + " in: " + sql);
  Rows rows;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
      const auto* t = sqlite3_column_text(stmt, i);
      row.push_back(t ? reinterpret_cast<const char*>(t) : "NULL");
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(stmt);
  return rows;
}

std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::kEmbedded ? "Embedded" : "Postgres";
}

SystemUnderTest::SystemUnderTest(const Database& db, const Clock* clock) {
  reset_process_state_for_testing();
  deployment_ = built_in_deployment();
  deployment_.source_server = db.server();
  deployment_.consulta_server = db.server();
  deployment_.odbc_driver = db.odbc_driver();
  set_deployment_for_testing(&deployment_);
  set_clock(clock);
}

SystemUnderTest::~SystemUnderTest() { reset_process_state_for_testing(); }

}  // namespace velmora::testing
