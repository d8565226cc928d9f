#include "db/sqlite_session.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <optional>
#include <string_view>
#include <vector>

#include "core/calendar.h"
#include "core/failure.h"
#include "db/sqlite_dialect.h"

namespace velmora {
namespace {

using SqliteDb = std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)>;
using SqliteStmt = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

[[noreturn]] void throw_sqlite(sqlite3* db, const std::string& context = {}) {
  const int code = db ? sqlite3_extended_errcode(db) : SQLITE_NOMEM;
  std::string message = db ? sqlite3_errmsg(db) : "out of memory";
  if (!context.empty()) message += " (" + context + ")";
  throw database_failure(code, message);
}

bool contains_ci(std::string haystack, const std::string& needle) {
  std::transform(haystack.begin(), haystack.end(), haystack.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return haystack.find(needle) != std::string::npos;
}

bool is_decimal_type(const std::string& declared) {
  return contains_ci(declared, "DEC") || contains_ci(declared, "NUMERIC") ||
         contains_ci(declared, "MONEY");
}

// Optional blanks, an optional sign, digits, an optional decimal part.
bool is_plain_number(std::string_view text) {
  std::size_t i = 0;
  auto digits = [&] {
    const std::size_t start = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
    return i - start;
  };
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  if (digits() == 0) return false;
  if (i < text.size() && text[i] == '.') {
    ++i;
    digits();
  }
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  return i == text.size();
}

// Reads column `i` of the current row. Declared types steer the reading:
// DECIMAL/NUMERIC/MONEY columns give exact decimals, DATE/TIME columns
// holding ISO text give dates.
Value read_column(sqlite3_stmt* stmt, int i) {
  const char* decl = sqlite3_column_decltype(stmt, i);
  const std::string declared = decl ? decl : "";
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL:
      return Null{};
    case SQLITE_INTEGER:
      if (is_decimal_type(declared)) return Decimal{std::to_string(sqlite3_column_int64(stmt, i))};
      return static_cast<std::int64_t>(sqlite3_column_int64(stmt, i));
    case SQLITE_FLOAT:
      if (is_decimal_type(declared)) {
        return Decimal{reinterpret_cast<const char*>(sqlite3_column_text(stmt, i))};
      }
      return sqlite3_column_double(stmt, i);
    default: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
      std::string text(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)));
      if (contains_ci(declared, "DATE") || contains_ci(declared, "TIME")) {
        if (auto date = parse_iso_date_time(text)) return *date;
      }
      if (is_decimal_type(declared) && is_plain_number(text)) return Decimal{text};
      return text;
    }
  }
}

class SqliteCursor;

class SqliteSession final : public Session {
 public:
  explicit SqliteSession(SqliteDb db) : db_(std::move(db)) {}

  std::unique_ptr<Cursor> execute(const std::string& sql) override;

  void close() override {
    // Every cursor has been released by its connection; close_v2 would
    // otherwise keep the file open until they are.
    db_.reset();
  }

  void forget(SqliteCursor* c) { std::erase(open_cursors_, c); }

 private:
  SqliteDb db_;
  std::vector<SqliteCursor*> open_cursors_;
};

class SqliteCursor final : public Cursor {
 public:
  SqliteCursor(SqliteSession& session, sqlite3* db, SqliteStmt stmt)
      : session_(session), db_(db), stmt_(std::move(stmt)) {
    const int n = sqlite3_column_count(stmt_.get());
    for (int i = 0; i < n; ++i) columns_.emplace_back(sqlite3_column_name(stmt_.get(), i));
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
    row.clear();
    for (int i = 0; i < static_cast<int>(columns_.size()); ++i)
      row.push_back(read_column(stmt_.get(), i));
  }

  SqliteSession& session_;
  sqlite3* db_;
  SqliteStmt stmt_;
  std::vector<std::string> columns_;
  std::deque<std::vector<Value>> buffer_;
  bool has_row_ = false;
};

std::unique_ptr<Cursor> SqliteSession::execute(const std::string& sql) {
  const std::string text = sqlite_dialect(sql);
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
  const bool yields_rows = sqlite3_column_count(stmt.get()) > 0;
  auto cursor = std::make_unique<SqliteCursor>(*this, db_.get(), std::move(stmt));
  open_cursors_.push_back(cursor.get());
  cursor->start();
  if (!yields_rows) return nullptr;
  return cursor;
}

}  // namespace

std::unique_ptr<Session> open_sqlite_session(const std::string& directory,
                                             const std::string& catalog) {
  const std::string path = directory + "/" + catalog + ".db";
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  SqliteDb db(raw, &sqlite3_close_v2);  // owned even when the open failed
  if (rc != SQLITE_OK) throw_sqlite(db.get(), path);
  sqlite3_extended_result_codes(db.get(), 1);
  sqlite3_busy_timeout(db.get(), 10000);
  for (const char* pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL"}) {
    if (sqlite3_exec(db.get(), pragma, nullptr, nullptr, nullptr) != SQLITE_OK)
      throw_sqlite(db.get(), path);
  }
  return std::make_unique<SqliteSession>(std::move(db));
}

}  // namespace velmora
