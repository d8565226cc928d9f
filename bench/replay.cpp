#include "bench/replay.h"

#include <libpq-fe.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "db/odbc_handle.h"
#include "db/odbc_session.h"
#include "db/sqlite_dialect.h"
#include "db/utf16.h"

namespace velmora::bench {
namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Index of `catalog` in `names`, added when new.
std::size_t index_of(std::vector<std::string>& names, const std::string& catalog) {
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (names[k] == catalog) return k;
  }
  names.push_back(catalog);
  return names.size() - 1;
}

[[noreturn]] void odbc_fail(SQLSMALLINT type, SQLHANDLE handle, const std::string& what) {
  throw std::runtime_error(what + ": " + read_diagnostics(type, handle).description);
}

}  // namespace

StreamWriter::StreamWriter(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {
  if (!file_) throw std::runtime_error("cannot write " + path);
}

StreamWriter::~StreamWriter() { std::fclose(file_); }

void StreamWriter::append(const std::string& catalog, const std::string& text) {
  std::fprintf(file_, "%s\n%zu\n", catalog.c_str(), text.size());
  std::fwrite(text.data(), 1, text.size(), file_);
  std::fputc('\n', file_);
}

std::vector<RecordedStatement> read_stream(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::vector<RecordedStatement> out;
  RecordedStatement s;
  std::string length;
  while (std::getline(in, s.catalog) && std::getline(in, length)) {
    s.text.resize(std::stoul(length));
    in.read(s.text.data(), static_cast<std::streamsize>(s.text.size()));
    in.ignore(1);
    out.push_back(s);
  }
  return out;
}

ReplayResult replay_sqlite(const std::string& directory,
                           const std::vector<RecordedStatement>& stream) {
  std::vector<std::string> catalogs;
  std::vector<std::pair<std::size_t, std::string>> work;
  work.reserve(stream.size());
  for (const auto& s : stream)
    work.emplace_back(index_of(catalogs, s.catalog), sqlite_dialect(s.text));

  ReplayResult result;
  std::size_t sink = 0;
  const auto start = Clock::now();
  std::vector<sqlite3*> handles;
  for (const auto& catalog : catalogs) {
    sqlite3* db = nullptr;
    const std::string path = directory + "/" + catalog + ".db";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      throw std::runtime_error(path + ": " + sqlite3_errmsg(db));
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 10000);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    handles.push_back(db);
  }
  for (const auto& [k, text] : work) {
    sqlite3* db = handles[k];
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, text.c_str(), static_cast<int>(text.size()) + 1, &stmt, nullptr) !=
        SQLITE_OK) {
      throw std::runtime_error(std::string(sqlite3_errmsg(db)) + " in: " + text);
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      const int n = sqlite3_column_count(stmt);
      for (int c = 0; c < n; ++c) {
        // Each value read in its own storage class, as a client reads it.
        switch (sqlite3_column_type(stmt, c)) {
          case SQLITE_INTEGER:
            sink += static_cast<std::size_t>(sqlite3_column_int64(stmt, c));
            break;
          case SQLITE_FLOAT:
            sink += static_cast<std::size_t>(sqlite3_column_double(stmt, c));
            break;
          case SQLITE_NULL:
            continue;
          default:
            sink += sqlite3_column_text(stmt, c)[0];
            sink += static_cast<std::size_t>(sqlite3_column_bytes(stmt, c));
        }
        ++result.values;
      }
      ++result.rows;
    }
    if (rc != SQLITE_DONE)
      throw std::runtime_error(std::string(sqlite3_errmsg(db)) + " in: " + text);
    sqlite3_finalize(stmt);
    ++result.statements;
  }
  for (sqlite3* db : handles) sqlite3_close_v2(db);
  result.seconds = seconds_since(start);
  result.rows += sink == 0;  // keeps the reads from being optimised away
  return result;
}

std::string replay_connection_string(const ConnectionText& text, const std::string& driver,
                                     OdbcOptions options) {
  std::string out = odbc_connection_string(text, driver);
  const std::string own = odbc_driver_options(driver);
  if (options == OdbcOptions::kDriverDefaults && !own.empty()) {
    if (const auto at = out.find(own); at != std::string::npos) out.erase(at, own.size());
  }
  return out;
}

ReplayResult replay_odbc(const std::map<std::string, ConnectionText>& texts,
                         const std::string& driver, OdbcOptions options,
                         const std::vector<RecordedStatement>& stream) {
  std::vector<std::string> catalogs;
  std::vector<std::pair<std::size_t, std::u16string>> work;
  work.reserve(stream.size());
  for (const auto& s : stream)
    work.emplace_back(index_of(catalogs, s.catalog), utf16_from_utf8(s.text));

  auto env = allocate_handle<SQL_HANDLE_ENV>(SQL_HANDLE_ENV, nullptr);
  SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  std::vector<OdbcDbc> dbcs;
  std::vector<OdbcStmt> stmts;
  std::vector<SQLWCHAR> piece(4096);
  const SQLLEN piece_bytes = static_cast<SQLLEN>(piece.size() * sizeof(SQLWCHAR));

  ReplayResult result;
  const auto start = Clock::now();
  for (const auto& catalog : catalogs) {
    auto dbc = allocate_handle<SQL_HANDLE_DBC>(SQL_HANDLE_ENV, env.get());
    std::u16string text =
        utf16_from_utf8(replay_connection_string(texts.at(catalog), driver, options));
    SQLSMALLINT out = 0;
    if (!SQL_SUCCEEDED(SQLDriverConnectW(
            dbc.get(), nullptr, reinterpret_cast<SQLWCHAR*>(text.data()),
            static_cast<SQLSMALLINT>(text.size()), nullptr, 0, &out, SQL_DRIVER_NOPROMPT))) {
      odbc_fail(SQL_HANDLE_DBC, dbc.get(), "connect to " + catalog);
    }
    stmts.push_back(allocate_handle<SQL_HANDLE_STMT>(SQL_HANDLE_DBC, dbc.get()));
    dbcs.push_back(std::move(dbc));
  }
  for (auto& [k, text] : work) {
    SQLHSTMT s = stmts[k].get();
    SQLRETURN rc = SQLExecDirectW(s, reinterpret_cast<SQLWCHAR*>(text.data()),
                                  static_cast<SQLINTEGER>(text.size()));
    if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(rc)) odbc_fail(SQL_HANDLE_STMT, s, "execute");
    SQLSMALLINT columns = 0;
    if (rc != SQL_NO_DATA) SQLNumResultCols(s, &columns);
    if (columns > 0) {
      while ((rc = SQLFetch(s)) != SQL_NO_DATA) {
        if (!SQL_SUCCEEDED(rc)) odbc_fail(SQL_HANDLE_STMT, s, "fetch");
        for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
          SQLLEN indicator = 0;
          while (true) {
            rc = SQLGetData(s, c, SQL_C_WCHAR, piece.data(), piece_bytes, &indicator);
            if (rc == SQL_NO_DATA) break;
            if (!SQL_SUCCEEDED(rc)) odbc_fail(SQL_HANDLE_STMT, s, "get data");
            if (indicator != SQL_NULL_DATA) ++result.values;
            const bool truncated = rc == SQL_SUCCESS_WITH_INFO &&
                                   (indicator == SQL_NO_TOTAL || indicator >= piece_bytes);
            if (!truncated) break;
          }
        }
        ++result.rows;
      }
    }
    SQLFreeStmt(s, SQL_CLOSE);
    ++result.statements;
  }
  stmts.clear();
  for (auto& dbc : dbcs) SQLDisconnect(dbc.get());
  dbcs.clear();
  result.seconds = seconds_since(start);
  return result;
}

ReplayResult replay_libpq(const std::map<std::string, ConnectionText>& texts,
                          const std::vector<RecordedStatement>& stream) {
  std::vector<std::string> catalogs;
  std::vector<std::pair<std::size_t, const std::string*>> work;
  work.reserve(stream.size());
  for (const auto& s : stream) work.emplace_back(index_of(catalogs, s.catalog), &s.text);

  ReplayResult result;
  const auto start = Clock::now();
  std::vector<PGconn*> conns;
  for (const auto& catalog : catalogs) {
    const ConnectionText& t = texts.at(catalog);
    std::string host = t.data_source, port;
    if (const auto comma = host.find(','); comma != std::string::npos) {
      port = host.substr(comma + 1);
      host = host.substr(0, comma);
    }
    const char* keys[] = {"host", "port", "dbname", "user", "password", nullptr};
    const char* values[] = {host.c_str(),   port.c_str(),       t.catalog.c_str(),
                            t.user.c_str(), t.password.c_str(), nullptr};
    PGconn* c = PQconnectdbParams(keys, values, 0);
    if (PQstatus(c) != CONNECTION_OK) {
      throw std::runtime_error("connect to " + catalog + ": " + PQerrorMessage(c));
    }
    conns.push_back(c);
  }
  for (const auto& [k, text] : work) {
    PGresult* r = PQexec(conns[k], text->c_str());
    const auto status = PQresultStatus(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      throw std::runtime_error(std::string(PQresultErrorMessage(r)) + " in: " + *text);
    }
    const int rows = PQntuples(r), fields = PQnfields(r);
    for (int row = 0; row < rows; ++row) {
      for (int f = 0; f < fields; ++f) {
        if (!PQgetisnull(r, row, f)) result.values += PQgetvalue(r, row, f)[0] != 1;
      }
      ++result.rows;
    }
    PQclear(r);
    ++result.statements;
  }
  for (PGconn* c : conns) PQfinish(c);
  result.seconds = seconds_since(start);
  return result;
}

}  // namespace velmora::bench
