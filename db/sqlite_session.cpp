#include "db/sqlite_session.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <optional>
#include <regex>
#include <string_view>
#include <vector>

#include "core/failure.h"

namespace velmora {
namespace {

using SqliteDb = std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)>;
using SqliteStmt = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

[[noreturn]] void throw_sqlite(sqlite3* db, const std::string& context = {}) {
  const int code = db ? sqlite3_extended_errcode(db) : SQLITE_NOMEM;
  std::string message = db ? sqlite3_errmsg(db) : "out of memory";
  if (!context.empty()) message += " (" + context + ")";
  throw Failure(code, message);
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

// "yyyy-mm-dd", optionally followed by a blank or T and "hh:mm", "hh:mm:ss"
// or "hh:mm:ss.fff", naming a real calendar day and time; anything else
// stays text.
std::optional<DateTime> iso_date(std::string_view text) {
  auto number = [&](std::size_t at, std::size_t width, int& out) {
    if (at + width > text.size()) return false;
    out = 0;
    for (std::size_t k = at; k < at + width; ++k) {
      if (!std::isdigit(static_cast<unsigned char>(text[k]))) return false;
      out = out * 10 + (text[k] - '0');
    }
    return true;
  };
  DateTime d;
  if (!number(0, 4, d.year) || text.size() < 10 || text[4] != '-' || !number(5, 2, d.month) ||
      text[7] != '-' || !number(8, 2, d.day)) {
    return std::nullopt;
  }
  std::size_t at = 10;
  if (at < text.size()) {
    if ((text[at] != ' ' && text[at] != 'T') || !number(at + 1, 2, d.hour) ||
        at + 3 >= text.size() || text[at + 3] != ':' || !number(at + 4, 2, d.minute)) {
      return std::nullopt;
    }
    at += 6;
    if (at < text.size()) {
      if (text[at] != ':' || !number(at + 1, 2, d.second)) return std::nullopt;
      at += 3;
      if (at < text.size()) {
        if (text[at] != '.' || at + 1 == text.size()) return std::nullopt;
        for (std::size_t k = at + 1; k < text.size(); ++k) {
          if (!std::isdigit(static_cast<unsigned char>(text[k]))) return std::nullopt;
        }
      }
    }
  }
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
  if (d.year < 1 || d.month < 1 || d.month > 12 || d.day < 1 ||
      d.day > kDays[d.month - 1] + (d.month == 2 && leap) || d.hour > 23 || d.minute > 59 ||
      d.second > 59) {
    return std::nullopt;
  }
  return d;
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
        if (auto date = iso_date(text)) return *date;
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
    throw Failure(SQLITE_ERROR, "only one statement may be executed at a time");
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

namespace {

// `sql` with the inside of every quoted literal or quoted name ('...', "...",
// [...]) replaced by a character that is neither a letter nor a blank, so
// that the rewriting below sees only the statement's own words and never
// changes a value. The result has the same length as `sql`.
std::string without_quoted_parts(const std::string& sql) {
  std::string out = sql;
  char close = 0;
  for (std::size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (close == 0) {
      if (c == '\'' || c == '"')
        close = c;
      else if (c == '[')
        close = ']';
      continue;
    }
    if (c == close) {
      if (i + 1 < sql.size() && sql[i + 1] == close) {  // a doubled quote stays inside
        out[i] = out[i + 1] = '\x01';
        ++i;
        continue;
      }
      close = 0;
      continue;
    }
    out[i] = '\x01';
  }
  return out;
}

bool is_blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool is_name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// True when `word` (lower case) stands in `text` at `at`, in any letter case,
// followed by a blank.
bool word_at(const std::string& text, std::size_t at, std::string_view word) {
  if (at + word.size() >= text.size()) return false;
  for (std::size_t k = 0; k < word.size(); ++k) {
    if (std::tolower(static_cast<unsigned char>(text[at + k])) != word[k]) return false;
  }
  return is_blank(text[at + word.size()]);
}

std::size_t skip_blanks(const std::string& text, std::size_t at) {
  while (at < text.size() && is_blank(text[at])) ++at;
  return at;
}

// "Select COLS into NEW from REST" as "CREATE TABLE NEW AS SELECT COLS FROM
// REST", found on the masked text `bare` and cut from `sql`; empty when the
// statement has another form.
std::string select_into(const std::string& sql, const std::string& bare) {
  std::size_t at = skip_blanks(bare, 0);
  if (!word_at(bare, at, "select")) return {};
  const std::size_t cols = skip_blanks(bare, at + 6);
  // The first "into" standing as a word after the select list.
  for (std::size_t into = cols + 1; into < bare.size(); ++into) {
    if (!is_blank(bare[into - 1]) || !word_at(bare, into, "into")) continue;
    std::size_t name = skip_blanks(bare, into + 4);
    std::size_t name_end = name;
    while (name_end < bare.size() && is_name_char(bare[name_end])) ++name_end;
    if (name_end == name || std::isdigit(static_cast<unsigned char>(bare[name])) ||
        name_end == bare.size() || !is_blank(bare[name_end])) {
      return {};
    }
    const std::size_t from = skip_blanks(bare, name_end);
    if (!word_at(bare, from, "from")) return {};
    std::size_t cols_end = into;
    while (cols_end > cols && is_blank(bare[cols_end - 1])) --cols_end;
    const std::size_t rest = skip_blanks(bare, from + 4);
    return "CREATE TABLE " + sql.substr(name, name_end - name) + " AS SELECT " +
           sql.substr(cols, cols_end - cols) + " FROM " + sql.substr(rest);
  }
  return {};
}

}  // namespace

std::string sqlite_dialect(const std::string& sql) {
  static const std::regex information_schema(R"(\bINFORMATION_SCHEMA\s*\.\s*TABLES\b)",
                                             std::regex::icase);
  static const std::string tables =
      "(SELECT 'main' AS TABLE_CATALOG, 'main' AS TABLE_SCHEMA, name AS TABLE_NAME, "
      "CASE type WHEN 'table' THEN 'BASE TABLE' ELSE 'VIEW' END AS TABLE_TYPE "
      "FROM sqlite_schema WHERE type IN ('table','view') AND name NOT LIKE 'sqlite!_%' "
      "ESCAPE '!') AS TABLES";
  std::string text = sql;
  std::string bare = without_quoted_parts(text);
  if (std::string rewritten = select_into(text, bare); !rewritten.empty()) {
    text = std::move(rewritten);
    bare = without_quoted_parts(text);
  }
  // Replace the view's name only where it stands outside quotes.
  std::string out;
  std::size_t copied = 0;
  for (auto it = std::sregex_iterator(bare.begin(), bare.end(), information_schema);
       it != std::sregex_iterator(); ++it) {
    const auto at = static_cast<std::size_t>(it->position());
    out.append(text, copied, at - copied).append(tables);
    copied = at + static_cast<std::size_t>(it->length());
  }
  out.append(text, copied, std::string::npos);
  return out;
}

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
