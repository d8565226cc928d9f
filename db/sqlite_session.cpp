#include "db/sqlite_session.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <deque>
#include <optional>
#include <string_view>
#include <vector>

#include "core/ascii.h"
#include "core/calendar.h"
#include "core/failure.h"
#include "core/sql_text.h"
#include "db/sqlite_dialect.h"
#include "db/time_outs.h"

namespace velmora {
namespace {

using SqliteDb = std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)>;
using SqliteStmt = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

// The catalog of a database file: its name without directory and ".db".
std::string catalog_of(sqlite3* db) {
  const char* file = sqlite3_db_filename(db, "main");
  std::string name = file ? file : "";
  if (const auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
  if (name.ends_with(".db")) name.resize(name.size() - 3);
  return name;
}

[[noreturn]] void throw_sqlite(sqlite3* db, const std::string& context = {}) {
  const int code = db ? sqlite3_extended_errcode(db) : SQLITE_NOMEM;
  std::string message = db ? sqlite3_errmsg(db) : "out of memory";
  // Plain SQLITE_BUSY comes only once the busy handler has waited out its
  // time-out for another process's lock (the other busy codes come at once).
  if (code == SQLITE_BUSY) {
    throw time_out_failure(failure_number::kEmbeddedTimeOut, "lock wait", time_outs().busy,
                           catalog_of(db), message);
  }
  if (!context.empty()) message += " (" + context + ")";
  throw database_failure(code, message);
}

// True when `needle` (upper case) occurs in `haystack` in any letter case.
bool contains_ci(std::string_view haystack, std::string_view needle) {
  if (needle.size() > haystack.size()) return false;
  for (std::size_t at = 0; at + needle.size() <= haystack.size(); ++at) {
    std::size_t k = 0;
    while (k < needle.size() && upper_ascii(haystack[at + k]) == needle[k]) {
      ++k;
    }
    if (k == needle.size()) return true;
  }
  return false;
}

// How a column's declared type steers the reading of its values; found once
// per row set.
struct ColumnKind {
  bool decimal = false;  // DECIMAL, NUMERIC or MONEY: exact decimals
  bool date = false;     // DATE or TIME: ISO text reads as a date
};

ColumnKind kind_of(const char* declared) {
  const std::string_view d = declared ? declared : "";
  return {contains_ci(d, "DEC") || contains_ci(d, "NUMERIC") || contains_ci(d, "MONEY"),
          contains_ci(d, "DATE") || contains_ci(d, "TIME")};
}

// A decimal column's text that reads as a number, blanks of any kind
// around it.
bool is_plain_number(std::string_view text) {
  return is_number_text(text,
                        [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; });
}

// `text` into `out`, in the storage of the text `out` already holds when it
// holds one: a row set's rows mostly have text in the same columns.
void assign_text(Value& out, std::string_view text) {
  if (auto* held = std::get_if<std::string>(&out)) {
    held->assign(text);
  } else {
    out.emplace<std::string>(text);
  }
}

// Reads column `i` of the current row into `out`. Declared types steer the
// reading: DECIMAL/NUMERIC/MONEY columns give exact decimals, DATE/TIME
// columns holding ISO text give dates.
void read_column(sqlite3_stmt* stmt, int i, ColumnKind kind, Value& out) {
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL:
      out = Null{};
      return;
    case SQLITE_INTEGER:
      if (kind.decimal) {
        out = Decimal{std::to_string(sqlite3_column_int64(stmt, i))};
      } else {
        out = static_cast<std::int64_t>(sqlite3_column_int64(stmt, i));
      }
      return;
    case SQLITE_FLOAT:
      if (kind.decimal) {
        out = Decimal{reinterpret_cast<const char*>(sqlite3_column_text(stmt, i))};
      } else {
        out = sqlite3_column_double(stmt, i);
      }
      return;
    default: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
      const std::string_view text(p ? p : "",
                                  static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)));
      if (kind.date) {
        if (auto date = parse_iso_date_time(text)) {
          out = *date;
          return;
        }
      }
      if (kind.decimal && is_plain_number(text)) {
        out = Decimal{std::string(text)};
        return;
      }
      assign_text(out, text);
    }
  }
}

// What tells one file from another at a path: a file removed and made anew,
// or written by another process since, is not the file a kept handle has.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec changed{};

  bool operator==(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size &&
           changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
  }
};

std::optional<FileIdentity> identity_of(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{st.st_dev, st.st_ino, st.st_size, st.st_ctim};
}

// Handles of closed sessions, at most one per file, kept for the next open
// of the same file: opening a file costs a system call for each of the file,
// its write-ahead log and its shared-memory index, and a reading of the
// schema, which the unit lookup would otherwise pay once per intern.
class IdleHandles {
 public:
  // The handle kept for `path` if the file there is still the one it had.
  SqliteDb take(const std::string& path) {
    release_expired();
    const auto it =
        std::find_if(idle_.begin(), idle_.end(), [&](const Idle& i) { return i.path == path; });
    if (it == idle_.end()) return SqliteDb(nullptr, &sqlite3_close_v2);
    Idle idle = std::move(*it);
    idle_.erase(it);
    if (identity_of(path) != idle.identity) return SqliteDb(nullptr, &sqlite3_close_v2);
    return std::move(idle.db);
  }

  // Keeps `db` for `path` when nothing of its use is left on it: no
  // statement unfinished and no transaction open, and it may write. Closes
  // it otherwise.
  void give_back(const std::string& path, SqliteDb db) {
    release_expired();
    const auto identity = identity_of(path);
    // A handle that could only read (the open asks to write, and SQLite
    // falls back to reading a file it may not write) is not kept: once the
    // file may be written again, the next open must find that out.
    if (!identity || sqlite3_next_stmt(db.get(), nullptr) != nullptr ||
        !sqlite3_get_autocommit(db.get()) || sqlite3_db_readonly(db.get(), "main") == 1) {
      return;
    }
    // What the session wrote goes into the file itself, as at a close, so a
    // copy of the file taken while the handle waits holds it.
    sqlite3_wal_checkpoint_v2(db.get(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    std::erase_if(idle_, [&](const Idle& i) { return i.path == path; });
    idle_.push_back({path, *identity, std::move(db), std::chrono::steady_clock::now()});
  }

  void release_expired() {
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(idle_, [&](const Idle& i) { return now - i.since >= kIdleConnectionTimeout; });
  }

  std::size_t size() const { return idle_.size(); }
  void clear() { idle_.clear(); }

 private:
  struct Idle {
    std::string path;
    FileIdentity identity;
    SqliteDb db;
    std::chrono::steady_clock::time_point since;
  };
  std::vector<Idle> idle_;
};

IdleHandles& idle_handles() {
  static IdleHandles instance;
  return instance;
}

class SqliteCursor;

class SqliteSession final : public Session {
 public:
  SqliteSession(std::string path, SqliteDb db) : path_(std::move(path)), db_(std::move(db)) {}
  ~SqliteSession() override { close(); }

  std::unique_ptr<Cursor> execute(const std::string& sql) override;

  // Every cursor has been released by its connection by now, so the handle
  // carries nothing of this session into the next open of the file.
  void close() override {
    if (db_) idle_handles().give_back(path_, std::move(db_));
    db_.reset();
  }

  void forget(SqliteCursor* c) { std::erase(open_cursors_, c); }

 private:
  std::string path_;
  SqliteDb db_;
  std::vector<SqliteCursor*> open_cursors_;
};

class SqliteCursor final : public Cursor {
 public:
  SqliteCursor(SqliteSession& session, sqlite3* db, SqliteStmt stmt)
      : session_(session), db_(db), stmt_(std::move(stmt)) {
    const int n = sqlite3_column_count(stmt_.get());
    columns_.reserve(static_cast<std::size_t>(n));
    kinds_.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
      columns_.emplace_back(sqlite3_column_name(stmt_.get(), i));
      kinds_.push_back(kind_of(sqlite3_column_decltype(stmt_.get(), i)));
    }
  }
  ~SqliteCursor() override { session_.forget(this); }

  const std::vector<std::string>& columns() const override { return columns_; }

  // The first step runs at once, so that the statement takes effect (and
  // fails) inside Execute.
  void start() { step(); }

  bool next(std::vector<Value>& row) override {
    if (!buffer_.empty()) {
      row = std::move(buffer_.front());
      buffer_.pop_front();
      return true;
    }
    if (!stmt_) return false;
    if (!has_row_) step();
    if (!has_row_) return false;
    read_row(row);
    has_row_ = false;
    return true;
  }

  // Reads the rows not yet delivered into memory and finishes the statement.
  // Needed before a statement that changes the schema: SQLite refuses those
  // while a read is pending on the same connection.
  void buffer_rest() {
    std::vector<Value> row;
    while (stmt_) {
      if (!has_row_) step();
      if (!has_row_) break;
      read_row(row);
      buffer_.push_back(std::move(row));
      has_row_ = false;
    }
  }

  bool pending() const { return stmt_ != nullptr; }

 private:
  void step() {
    const int rc = sqlite3_step(stmt_.get());
    if (rc == SQLITE_ROW) {
      has_row_ = true;
    } else if (rc == SQLITE_DONE) {
      has_row_ = false;
      stmt_.reset();
    } else {
      has_row_ = false;
      // Finalizing first makes errmsg report the statement's own error.
      stmt_.reset();
      throw_sqlite(db_);
    }
  }

  void read_row(std::vector<Value>& row) {
    row.resize(columns_.size());
    for (std::size_t i = 0; i < columns_.size(); ++i)
      read_column(stmt_.get(), static_cast<int>(i), kinds_[i], row[i]);
  }

  SqliteSession& session_;
  sqlite3* db_;
  SqliteStmt stmt_;
  std::vector<std::string> columns_;
  std::vector<ColumnKind> kinds_;
  std::deque<std::vector<Value>> buffer_;
  bool has_row_ = false;
};

std::unique_ptr<Cursor> SqliteSession::execute(const std::string& sql) {
  // Most statements pass unchanged, and then without a copy.
  std::string rewritten;
  const std::string& text = sqlite_dialect_text(sql, rewritten);
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db_.get(), text.c_str(), static_cast<int>(text.size()) + 1, &raw, &tail) !=
      SQLITE_OK) {
    sqlite3_finalize(raw);
    throw_sqlite(db_.get());
  }
  SqliteStmt stmt(raw, &sqlite3_finalize);
  if (!stmt) return nullptr;  // only blanks or a comment
  if (tail && std::string_view(tail).find_first_not_of(" \t\r\n;") != std::string_view::npos) {
    throw database_failure(SQLITE_ERROR, "only one statement may be executed at a time");
  }
  if (!sqlite3_stmt_readonly(stmt.get())) {
    for (SqliteCursor* c : open_cursors_) c->buffer_rest();
  }
  if (sqlite3_column_count(stmt.get()) == 0) {
    // No row set: the statement runs to its end here, without a cursor.
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
      stmt.reset();  // finalized first, errmsg reports the statement's own error
      throw_sqlite(db_.get());
    }
    return nullptr;
  }
  auto cursor = std::make_unique<SqliteCursor>(*this, db_.get(), std::move(stmt));
  open_cursors_.push_back(cursor.get());
  cursor->start();
  return cursor;
}

// A statement that meets another process's lock on the file waits for it
// that long, then fails as a time-out. No bound on a statement's own run
// time is set: it works on a local file in this process, and nothing it
// could wait for beyond that lock would let a progress handler run.
void set_busy_time_out(sqlite3* db) {
  const auto bound = std::chrono::duration_cast<std::chrono::milliseconds>(time_outs().busy);
  sqlite3_busy_timeout(db, static_cast<int>(bound.count()));
}

}  // namespace

std::unique_ptr<Session> open_sqlite_session(const std::string& directory,
                                             const std::string& catalog) {
  std::string path = directory + "/" + catalog + ".db";
  if (SqliteDb kept = idle_handles().take(path)) {
    set_busy_time_out(kept.get());
    return std::make_unique<SqliteSession>(std::move(path), std::move(kept));
  }
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  SqliteDb db(raw, &sqlite3_close_v2);  // owned even when the open failed
  if (rc != SQLITE_OK) throw_sqlite(db.get(), path);
  sqlite3_extended_result_codes(db.get(), 1);
  set_busy_time_out(db.get());
  for (const char* pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL"}) {
    if (sqlite3_exec(db.get(), pragma, nullptr, nullptr, nullptr) != SQLITE_OK)
      throw_sqlite(db.get(), path);
  }
  return std::make_unique<SqliteSession>(std::move(path), std::move(db));
}

void release_idle_sqlite_handles() noexcept { idle_handles().release_expired(); }

std::size_t idle_sqlite_handle_count() { return idle_handles().size(); }

void clear_idle_sqlite_handles() { idle_handles().clear(); }

}  // namespace velmora
