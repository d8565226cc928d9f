#include "db/odbc_session.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <vector>

#include "core/failure.h"
#include "core/sql_text.h"
#include "db/odbc_handle.h"
#include "db/odbc_pool.h"
#include "db/utf16.h"

namespace velmora {
namespace {

std::string braced(const std::string& value) {
  std::string out = "{";
  for (char c : value) {
    out.push_back(c);
    if (c == '}') out.push_back('}');
  }
  out.push_back('}');
  return out;
}

std::string braced_if_needed(const std::string& value) {
  const bool plain = value.find_first_of(";{}") == std::string::npos &&
                     (value.empty() || (value.front() != ' ' && value.back() != ' '));
  return plain ? value : braced(value);
}

bool is_freetds(const std::string& driver) {
  std::string lower = driver;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.find("tds") != std::string::npos;
}

// How a column's values are fetched and what Value they become.
enum class Kind { kText, kInteger, kDecimal, kDouble, kDateTime };

Kind kind_of(SQLSMALLINT type) {
  switch (type) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
      return Kind::kInteger;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return Kind::kDecimal;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return Kind::kDouble;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIMESTAMP:
      return Kind::kDateTime;
    default:
      return Kind::kText;  // character types and everything else, as the driver writes it
  }
}

class OdbcSession;

class OdbcCursor final : public Cursor {
 public:
  OdbcCursor(OdbcSession* session, OdbcStmt stmt, SQLSMALLINT column_count);
  ~OdbcCursor() override;

  const std::vector<std::string>& columns() const override { return names_; }
  bool next(std::vector<Value>& row) override;

  // Reads every remaining row into memory and frees the statement; the
  // cursor then serves rows from memory and no longer needs the session.
  void buffer_rest();
  // Frees the statement and forgets the remaining rows (the session closes).
  void abandon() noexcept;

 private:
  bool fetch_row(std::vector<Value>& row);
  Value read_column(SQLUSMALLINT index);
  Value read_text(SQLUSMALLINT index);
  [[noreturn]] void fail(const std::string& what);
  void detach() noexcept;

  OdbcSession* session_;  // null once buffered or abandoned
  OdbcStmt stmt_;
  std::vector<std::string> names_;
  std::vector<Kind> kinds_;
  std::deque<std::vector<Value>> buffered_;
};

class OdbcSession final : public Session {
 public:
  OdbcSession(std::string connection_string, std::unique_ptr<OdbcLink> link)
      : connection_string_(std::move(connection_string)), link_(std::move(link)) {}
  ~OdbcSession() override { release(); }

  std::unique_ptr<Cursor> execute(const std::string& sql) override;
  void close() override { release(); }

  SQLHDBC dbc() const { return link_->dbc(); }
  // Records that the connection failed at the communication level, so that
  // it is disconnected rather than pooled.
  void note(const OdbcDiagnostics& d) {
    if (d.link_failure) healthy_ = false;
  }
  void set_streaming(OdbcCursor* cursor) { streaming_ = cursor; }
  OdbcCursor* streaming() const { return streaming_; }

 private:
  void release() noexcept;

  std::string connection_string_;
  std::unique_ptr<OdbcLink> link_;
  OdbcCursor* streaming_ = nullptr;  // the row set whose statement is still open
  bool healthy_ = true;
};

OdbcCursor::OdbcCursor(OdbcSession* session, OdbcStmt stmt, SQLSMALLINT column_count)
    : session_(session), stmt_(std::move(stmt)) {
  std::vector<SQLWCHAR> name(256);
  for (SQLUSMALLINT i = 1; i <= column_count; ++i) {
    SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLRETURN rc =
        SQLDescribeColW(stmt_.get(), i, name.data(), static_cast<SQLSMALLINT>(name.size()),
                        &name_length, &type, &size, &digits, &nullable);
    if (SQL_SUCCEEDED(rc) && name_length >= static_cast<SQLSMALLINT>(name.size())) {
      name.resize(static_cast<std::size_t>(name_length) + 1);
      rc = SQLDescribeColW(stmt_.get(), i, name.data(), static_cast<SQLSMALLINT>(name.size()),
                           &name_length, &type, &size, &digits, &nullable);
    }
    if (!SQL_SUCCEEDED(rc)) fail("SQLDescribeCol failed");
    names_.push_back(utf8_from_utf16(
        std::u16string(reinterpret_cast<const char16_t*>(name.data()),
                       static_cast<std::size_t>(std::max<SQLSMALLINT>(name_length, 0)))));
    kinds_.push_back(kind_of(type));
  }
}

OdbcCursor::~OdbcCursor() { abandon(); }

void OdbcCursor::detach() noexcept {
  if (session_ && session_->streaming() == this) session_->set_streaming(nullptr);
  session_ = nullptr;
}

void OdbcCursor::abandon() noexcept {
  detach();
  stmt_.reset();
}

void OdbcCursor::fail(const std::string& what) {
  const OdbcDiagnostics d = read_diagnostics(SQL_HANDLE_STMT, stmt_.get());
  if (session_) session_->note(d);
  throw_odbc_failure(d, what);
}

bool OdbcCursor::next(std::vector<Value>& row) {
  if (!stmt_) {
    if (buffered_.empty()) return false;
    row = std::move(buffered_.front());
    buffered_.pop_front();
    return true;
  }
  return fetch_row(row);
}

bool OdbcCursor::fetch_row(std::vector<Value>& row) {
  const SQLRETURN rc = SQLFetch(stmt_.get());
  if (rc == SQL_NO_DATA) {
    abandon();
    return false;
  }
  if (!SQL_SUCCEEDED(rc)) fail("SQLFetch failed");
  row.clear();
  row.reserve(kinds_.size());
  for (SQLUSMALLINT i = 0; i < kinds_.size(); ++i) row.push_back(read_column(i + 1));
  return true;
}

void OdbcCursor::buffer_rest() {
  std::vector<Value> row;
  while (stmt_ && fetch_row(row)) buffered_.push_back(std::move(row));
  abandon();
}

Value OdbcCursor::read_column(SQLUSMALLINT index) {
  SQLHSTMT s = stmt_.get();
  SQLLEN indicator = 0;
  switch (kinds_[index - 1]) {
    case Kind::kInteger: {
      SQLBIGINT v = 0;
      if (!SQL_SUCCEEDED(SQLGetData(s, index, SQL_C_SBIGINT, &v, sizeof v, &indicator)))
        fail("SQLGetData failed");
      if (indicator == SQL_NULL_DATA) return Null{};
      return static_cast<std::int64_t>(v);
    }
    case Kind::kDouble: {
      double v = 0;
      if (!SQL_SUCCEEDED(SQLGetData(s, index, SQL_C_DOUBLE, &v, sizeof v, &indicator)))
        fail("SQLGetData failed");
      if (indicator == SQL_NULL_DATA) return Null{};
      return v;
    }
    case Kind::kDecimal: {
      // As text, in pieces like any text: an unconstrained numeric may hold
      // more digits than any fixed buffer.
      Value digits = read_text(index);
      if (is_null(digits)) return digits;
      return Decimal{trim_blanks(std::get<std::string>(digits))};
    }
    case Kind::kDateTime: {
      SQL_TIMESTAMP_STRUCT t{};
      if (!SQL_SUCCEEDED(SQLGetData(s, index, SQL_C_TYPE_TIMESTAMP, &t, sizeof t, &indicator)))
        fail("SQLGetData failed");
      if (indicator == SQL_NULL_DATA) return Null{};
      return DateTime{t.year, t.month, t.day, t.hour, t.minute, t.second};
    }
    case Kind::kText:
      break;
  }
  return read_text(index);
}

Value OdbcCursor::read_text(SQLUSMALLINT index) {
  SQLHSTMT s = stmt_.get();
  SQLLEN indicator = 0;
  // Text comes in pieces: drivers report column sizes smaller than the
  // values they deliver, so read until the driver says the value is done.
  constexpr std::size_t kPieceChars = 2048;
  std::u16string text;
  std::vector<SQLWCHAR> piece(kPieceChars);
  const SQLLEN piece_bytes = static_cast<SQLLEN>(kPieceChars * sizeof(SQLWCHAR));
  for (bool first = true;; first = false) {
    const SQLRETURN rc = SQLGetData(s, index, SQL_C_WCHAR, piece.data(), piece_bytes, &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) fail("SQLGetData failed");
    if (indicator == SQL_NULL_DATA) {
      if (first) return Null{};
      break;
    }
    const bool truncated =
        rc == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator >= piece_bytes);
    const std::size_t chars = truncated ? kPieceChars - 1  // the rest is the terminator
                                        : static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR);
    text.append(reinterpret_cast<const char16_t*>(piece.data()), chars);
    if (!truncated) break;
  }
  return utf8_from_utf16(text);
}

std::unique_ptr<Cursor> OdbcSession::execute(const std::string& sql) {
  if (streaming_) streaming_->buffer_rest();
  OdbcStmt stmt = allocate_handle<SQL_HANDLE_STMT>(SQL_HANDLE_DBC, link_->dbc());
  std::u16string text = utf16_from_utf8(sql);
  SQLRETURN rc = SQLExecDirectW(stmt.get(), reinterpret_cast<SQLWCHAR*>(text.data()),
                                static_cast<SQLINTEGER>(text.size()));
  SQLSMALLINT columns = 0;
  // A batch may yield its row set after results without columns (row counts).
  while (true) {
    if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(rc)) {
      const OdbcDiagnostics d = read_diagnostics(SQL_HANDLE_STMT, stmt.get());
      note(d);
      throw_odbc_failure(d, "SQLExecDirect failed");
    }
    if (rc != SQL_NO_DATA) {
      if (!SQL_SUCCEEDED(SQLNumResultCols(stmt.get(), &columns))) {
        const OdbcDiagnostics d = read_diagnostics(SQL_HANDLE_STMT, stmt.get());
        note(d);
        throw_odbc_failure(d, "SQLNumResultCols failed");
      }
      if (columns > 0) break;
    }
    rc = SQLMoreResults(stmt.get());
    if (rc == SQL_NO_DATA) return nullptr;
  }
  auto cursor = std::make_unique<OdbcCursor>(this, std::move(stmt), columns);
  streaming_ = cursor.get();
  return cursor;
}

void OdbcSession::release() noexcept {
  if (!link_) return;
  if (streaming_) streaming_->abandon();
  try {
    OdbcPool* pool = live_odbc_pool();
    if (pool && healthy_ && link_->alive()) pool->give_back(connection_string_, std::move(link_));
  } catch (...) {
    // Out of memory while pooling: the connection is simply disconnected.
  }
  link_.reset();
}

}  // namespace

std::string odbc_connection_string(const ConnectionText& text, const std::string& driver) {
  std::string host = text.data_source;
  std::string port;
  if (const auto comma = host.find(','); comma != std::string::npos) {
    port = trim_blanks(host.substr(comma + 1));
    host = trim_blanks(host.substr(0, comma));
  }
  std::string out = "Driver=" + braced(driver) + ";Server=" + braced_if_needed(host);
  if (!port.empty()) out += ";Port=" + braced_if_needed(port);
  out += ";Database=" + braced_if_needed(text.catalog) + ";UID=" + braced_if_needed(text.user) +
         ";PWD=" + braced_if_needed(text.password);
  if (is_freetds(driver)) out += ";ClientCharset=UTF-8";
  return out;
}

std::unique_ptr<Session> open_odbc_session(const ConnectionText& text, const std::string& driver) {
  std::string connection_string = odbc_connection_string(text, driver);
  auto link = odbc_pool().take(connection_string);
  return std::make_unique<OdbcSession>(std::move(connection_string), std::move(link));
}

}  // namespace velmora
