#include "seed/embedded_data_set.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "core/failure.h"
#include "tools/catalog_tables.h"

namespace velmora::seed {
namespace {

namespace fs = std::filesystem;
using SqliteDb = std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)>;
using SqliteStmt = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

[[noreturn]] void fail(sqlite3* db, const std::string& where) {
  throw Failure(db ? sqlite3_extended_errcode(db) : SQLITE_NOMEM,
                where + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

void exec(sqlite3* db, const std::string& sql, const std::string& where) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) fail(db, where);
}

// Dates as SQL Server's datetime text, which the embedded client reads back
// as dates.
std::string datetime_text(const DateTime& d) {
  char out[32];
  std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour,
                d.minute, d.second);
  return out;
}

// One catalog's file while it is being written.
struct Pending {
  std::string final_path;
  std::string temp_path;
  SqliteDb db{nullptr, &sqlite3_close_v2};
};

class SqliteSink final : public Sink {
 public:
  explicit SqliteSink(const EmbeddedTarget& target) {
    for (std::string_view catalog : catalogs::kCatalogs) {
      Pending& p = files_[std::string(catalog)];
      p.final_path = database_file(target, catalog);
      fs::create_directories(fs::path(p.final_path).parent_path());
      p.temp_path = p.final_path + ".seeding-" + std::to_string(getpid());
      fs::remove(p.temp_path);
      sqlite3* raw = nullptr;
      const int rc = sqlite3_open_v2(p.temp_path.c_str(), &raw,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
      p.db.reset(raw);
      if (rc != SQLITE_OK) fail(raw, p.temp_path);
      // A new file that nobody else sees yet: no journal until it is done.
      exec(raw, "PRAGMA journal_mode=OFF", p.temp_path);
      exec(raw, "PRAGMA synchronous=OFF", p.temp_path);
      exec(raw,
           catalogs::schema(catalog, catalogs::Dialect::kSqlite,
                            catalogs::Constraints::kInstallation),
           p.temp_path);
      exec(raw, "BEGIN", p.temp_path);
    }
  }

  ~SqliteSink() override {
    statement_.reset();
    for (auto& [catalog, p] : files_) {
      if (!p.db) continue;  // installed
      p.db.reset();
      std::error_code ignored;
      fs::remove(p.temp_path, ignored);
    }
  }

  void begin(const Table& t) override {
    Pending& p = file_of(t.catalog);
    db_ = p.db.get();
    where_ = t.catalog + "." + t.name;
    if (!t.copy_of.empty()) {
      exec(db_, "CREATE TABLE " + t.name + " AS SELECT * FROM " + t.copy_of + " WHERE 0", where_);
    }
    std::string sql = "INSERT INTO " + t.name + " (";
    std::string marks;
    for (const auto& column : t.columns) {
      if (!marks.empty()) {
        sql += ",";
        marks += ",";
      }
      sql += column;
      marks += "?";
    }
    sql += ") VALUES (" + marks + ")";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) fail(db_, where_);
    statement_.reset(raw);
    counts_.push_back({t.catalog, t.name, 0});
  }

  void row(const std::vector<Value>& values) override {
    sqlite3_stmt* s = statement_.get();
    sqlite3_reset(s);
    for (std::size_t i = 0; i < values.size(); ++i) {
      const int at = static_cast<int>(i) + 1;
      const Value& v = values[i];
      if (std::holds_alternative<Null>(v)) {
        sqlite3_bind_null(s, at);
      } else if (const auto* t = std::get_if<std::string>(&v)) {
        sqlite3_bind_text(s, at, t->data(), static_cast<int>(t->size()), SQLITE_TRANSIENT);
      } else if (const auto* n = std::get_if<std::int64_t>(&v)) {
        sqlite3_bind_int64(s, at, *n);
      } else if (const auto* d = std::get_if<Decimal>(&v)) {
        // The column's numeric affinity turns the digits into its number.
        sqlite3_bind_text(s, at, d->digits.data(), static_cast<int>(d->digits.size()),
                          SQLITE_TRANSIENT);
      } else if (const auto* f = std::get_if<double>(&v)) {
        sqlite3_bind_double(s, at, *f);
      } else {
        const std::string text = datetime_text(std::get<DateTime>(v));
        sqlite3_bind_text(s, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      }
    }
    if (sqlite3_step(s) != SQLITE_DONE) fail(db_, where_);
    ++counts_.back().rows;
  }

  void end() override { statement_.reset(); }

  // Commits every file, puts it into WAL mode as the embedded client runs
  // it, and renames it over its final name.
  std::vector<TableCount> install() {
    for (auto& [catalog, p] : files_) {
      exec(p.db.get(), "COMMIT", p.temp_path);
      exec(p.db.get(), "PRAGMA journal_mode=WAL", p.temp_path);
      if (sqlite3_close(p.db.get()) != SQLITE_OK) fail(p.db.get(), p.temp_path);
      p.db.release();
    }
    for (auto& [catalog, p] : files_) {
      // A write-ahead log left by the file being replaced would be replayed
      // onto the new one.
      fs::remove(p.final_path + "-wal");
      fs::remove(p.final_path + "-shm");
      fs::rename(p.temp_path, p.final_path);
    }
    return counts_;
  }

 private:
  Pending& file_of(const std::string& catalog) {
    auto it = files_.find(catalog);
    if (it == files_.end()) throw Failure(SQLITE_ERROR, "no database for catalog " + catalog);
    return it->second;
  }

  std::map<std::string, Pending> files_;
  sqlite3* db_ = nullptr;
  std::string where_;
  SqliteStmt statement_{nullptr, &sqlite3_finalize};
  std::vector<TableCount> counts_;
};

}  // namespace

std::string database_file(const EmbeddedTarget& target, std::string_view catalog) {
  const std::string& dir = catalog == "Velmora" ? target.source_dir : target.consulta_dir;
  return (fs::path(dir) / (std::string(catalog) + ".db")).string();
}

std::vector<std::string> existing_database_files(const EmbeddedTarget& target) {
  std::vector<std::string> out;
  for (std::string_view catalog : catalogs::kCatalogs) {
    std::string path = database_file(target, catalog);
    if (fs::exists(path)) out.push_back(std::move(path));
  }
  return out;
}

std::vector<TableCount> write_embedded_data_set(const Options& options,
                                                const EmbeddedTarget& target) {
  SqliteSink sink(target);
  generate(options, sink);
  return sink.install();
}

}  // namespace velmora::seed
