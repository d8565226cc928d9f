#include "bench/data_set.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>

#include "seed/embedded_data_set.h"
#include "tools/catalog_tables.h"

namespace velmora::bench {
namespace {

struct PgDeleter {
  void operator()(PGconn* c) const { PQfinish(c); }
};

// A value as COPY's text format writes it; false for Null.
bool copy_text(const Value& v, std::string& out) {
  if (std::holds_alternative<Null>(v)) return false;
  if (const auto* t = std::get_if<std::string>(&v)) {
    out = *t;
  } else if (const auto* n = std::get_if<std::int64_t>(&v)) {
    out = std::to_string(*n);
  } else if (const auto* d = std::get_if<Decimal>(&v)) {
    out = d->digits;
  } else if (const auto* f = std::get_if<double>(&v)) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", *f);
    out = text;
  } else {
    const DateTime& d = std::get<DateTime>(v);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day,
                  d.hour, d.minute, d.second);
    out = text;
  }
  return true;
}

// Copies rows with COPY FROM STDIN, one table at a time, on a connection
// per catalog.
class PostgresSink final : public seed::Sink {
 public:
  PostgresSink(const std::string& host, const std::string& port) {
    for (std::string_view catalog : catalogs::kCatalogs) {
      auto& conn = connections_[std::string(catalog)];
      conn.reset(PQconnectdb(
          ("host=" + host + " port=" + port + " user=sa dbname=" + std::string(catalog)).c_str()));
      if (PQstatus(conn.get()) != CONNECTION_OK)
        fail(conn.get(), "connect to " + std::string(catalog));
    }
  }

  void begin(const seed::Table& table) override {
    conn_ = connections_.at(table.catalog).get();
    if (!table.copy_of.empty()) {
      // A snapshot belongs to the consultation login, as one that a night
      // made does.
      exec(conn_,
           "CREATE TABLE " + table.name + " AS SELECT * FROM " + table.copy_of + " WITH NO DATA");
      exec(conn_, "ALTER TABLE " + table.name + " OWNER TO consulta_tessarin_int02");
    }
    std::string sql = "COPY " + table.name + " (";
    for (std::size_t k = 0; k < table.columns.size(); ++k) sql += (k ? "," : "") + table.columns[k];
    sql += ") FROM STDIN";
    PGresult* r = PQexec(conn_, sql.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COPY_IN;
    PQclear(r);
    if (!ok) fail(conn_, sql);
  }

  void row(const std::vector<Value>& values) override {
    for (std::size_t k = 0; k < values.size(); ++k) {
      if (k) buffer_ += '\t';
      if (!copy_text(values[k], text_)) {
        buffer_ += "\\N";
        continue;
      }
      for (char c : text_) {
        if (c == '\\' || c == '\t' || c == '\n') buffer_ += '\\';
        buffer_ += c;
      }
    }
    buffer_ += '\n';
    if (buffer_.size() > (1 << 16)) flush();
  }

  void end() override {
    flush();
    if (PQputCopyEnd(conn_, nullptr) != 1) fail(conn_, "COPY end");
    PGresult* r = PQgetResult(conn_);
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    if (!ok) fail(conn_, "COPY");
    while ((r = PQgetResult(conn_)) != nullptr) PQclear(r);
  }

  void analyse() {
    for (auto& [catalog, conn] : connections_) exec(conn.get(), "VACUUM ANALYZE");
  }

 private:
  static void exec(PGconn* conn, const std::string& sql) {
    PGresult* r = PQexec(conn, sql.c_str());
    const auto status = PQresultStatus(r);
    PQclear(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail(conn, sql);
  }
  void flush() {
    if (buffer_.empty()) return;
    if (PQputCopyData(conn_, buffer_.data(), static_cast<int>(buffer_.size())) != 1) {
      fail(conn_, "COPY data");
    }
    buffer_.clear();
  }
  [[noreturn]] static void fail(PGconn* conn, const std::string& what) {
    throw std::runtime_error(what + ": " + PQerrorMessage(conn));
  }

  std::map<std::string, std::unique_ptr<PGconn, PgDeleter>> connections_;
  PGconn* conn_ = nullptr;
  std::string buffer_;
  std::string text_;
};

void sqlite_exec(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
  }
}

}  // namespace

seed::Options data_set_options(int interns) {
  seed::Options options;
  options.interns = interns;
  options.seed = kSeed;
  options.today = {kNightYear, kNightMonth, kNightDay, 0, 0, 0};
  return options;
}

void load_sqlite(const std::string& directory, int interns) {
  seed::write_embedded_data_set(data_set_options(interns), {directory, directory});
  for (std::string_view catalog : catalogs::kCatalogs) {
    const std::string path = directory + "/" + std::string(catalog) + ".db";
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, &sqlite3_close);
    if (rc != SQLITE_OK) throw std::runtime_error(path + ": " + sqlite3_errmsg(raw));
    sqlite_exec(raw, "ANALYZE");
    sqlite_exec(raw, "PRAGMA wal_checkpoint(TRUNCATE)");
  }
}

void load_postgres(const std::string& host, const std::string& port, int interns) {
  PostgresSink sink(host, port);
  seed::generate(data_set_options(interns), sink);
  sink.analyse();
}

}  // namespace velmora::bench
