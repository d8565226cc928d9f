#include "db/odbc_session.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <deque>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/failure.h"
#include "core/sql_text.h"
#include "db/odbc_handle.h"
#include "db/odbc_pool.h"
#include "db/time_outs.h"
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

bool names_driver(const std::string& driver, std::string_view part) {
  std::string lower = driver;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.find(part) != std::string::npos;
}

bool is_freetds(const std::string& driver) { return names_driver(driver, "tds"); }

bool is_psqlodbc(const std::string& driver) {
  return names_driver(driver, "postgres") || names_driver(driver, "psqlodbc");
}

// psqlODBC reads every row set into memory whole unless its declare/fetch
// mode is on: then a SELECT runs as "BEGIN;declare ... cursor with hold for
// ...;fetch 1000 in ...", further rows come 1000 at a time, and closing the
// statement sends "close ...;commit". The connection string turns the mode
// on; the driver's connection attribute SQL_ATTR_PGOPT_USE_DECLAREFETCH
// switches it for the statements that follow, each statement taking the
// mode it was executed in.
constexpr const char* kPsqlOdbcOptions = ";UseDeclareFetch=1;Fetch=1000";
constexpr SQLINTEGER kPsqlOdbcUseDeclareFetch = 65539;

// Row sets of this thread that the program reads row by row (it has moved
// past their first row) and that have not ended. While one is being read, a
// SELECT is a look-up made for the row at hand: the program reads one row
// set at a time and looks things up for each of its rows.
thread_local int t_row_sets_being_read = 0;

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

// What each driver is told, in the connection string, to find out that
// its server has gone away while a statement waits for an answer.
// psqlODBC: TCP keepalives (idle time and interval; their count and the
// time-out of unacknowledged data through libpq's own options). FreeTDS
// sets keepalives on its sockets itself; its Timeout bounds every wait for
// the server's answer, the same bound as a statement's. FreeTDS is given
// its protocol version: left to find it out, it tries the Sybase protocol
// after a login that got no answer, and FreeTDS 1.3 then never returns
// from that login (a server that accepts and never answers hangs it
// whatever the login time-out). 7.4 is what it tries first for a Microsoft
// server; an older server answers with its own version.
std::string dead_peer_options(const std::string& driver) {
  const TimeOuts& t = time_outs();
  if (is_psqlodbc(driver)) {
    return ";KeepaliveTime=" + std::to_string(t.keepalive_idle.count()) +
           ";KeepaliveInterval=" + std::to_string(t.keepalive_interval.count()) +
           ";pqopt={keepalives_count=" + std::to_string(t.keepalive_count) + " tcp_user_timeout=" +
           std::to_string(std::chrono::milliseconds(t.unacknowledged).count()) + "}";
  }
  if (is_freetds(driver)) {
    return ";TDS_Version=7.4;Timeout=" + std::to_string(t.statement.count());
  }
  return {};
}

class OdbcCursor;

// One physical connection of a session and the row set streaming on it, if
// any: a connection runs one statement's row set at a time, as FreeTDS
// allows without MARS.
struct SessionLink {
  std::unique_ptr<OdbcLink> link;
  OdbcCursor* streaming = nullptr;
  bool healthy = true;            // no communication-link failure seen
  std::string connection_string;  // the key under which it is pooled
  std::string catalog;            // named by the failures of its statements

  // The connection's statement handle, ready for a new statement: every
  // statement of the connection runs on it (see OdbcLink::statement).
  SQLHSTMT statement() { return link->statement(); }

  // Records that the connection failed at the communication level, so that
  // it is disconnected rather than pooled, and tells the pool, which then
  // reuses no connection to that server made before. A connection whose
  // statement ran into its time-out is not pooled either: the driver may
  // still be waiting for the server to confirm the cancel.
  void note(const OdbcDiagnostics& d) {
    if (d.time_out) healthy = false;
    if (!d.link_failure) return;
    healthy = false;
    if (OdbcPool* pool = live_odbc_pool()) pool->note_link_failure(connection_string);
  }

  // Throws the failure of a call on one of its statements: a time-out
  // naming its bound and catalog, or the driver's own.
  [[noreturn]] void fail(const OdbcDiagnostics& d, const std::string& what) {
    note(d);
    if (d.time_out) {
      throw time_out_failure(failure_number::kOdbcTimeOut, "statement", time_outs().statement,
                             catalog, d.description);
    }
    throw_odbc_failure(d, what);
  }
};

class OdbcCursor final : public Cursor {
 public:
  OdbcCursor(SessionLink* link, SQLHSTMT stmt, SQLSMALLINT column_count);
  ~OdbcCursor() override;

  const std::vector<std::string>& columns() const override { return names_; }
  bool next(std::vector<Value>& row) override;

  // Reads one row ahead unless one is already held. False when the row set
  // has ended: its statement is then closed and its connection free for the
  // next statement.
  bool read_ahead();
  // Closes the statement and forgets the remaining rows (its row set has
  // ended, or the session closes): its connection is free for the next
  // statement, and the driver has ended what it began for the row set (for
  // psqlODBC's cursor, its transaction).
  void abandon() noexcept;

 private:
  bool fetch_row(std::vector<Value>& row);
  Value read_column(SQLUSMALLINT index);
  Value read_text(SQLUSMALLINT index);
  [[noreturn]] void fail(const std::string& what);
  void detach() noexcept;

  SessionLink* link_;  // null once the row set has ended or was abandoned
  SQLHSTMT stmt_;      // the connection's handle; null once closed
  bool first_row_read_ = false;
  bool being_read_ = false;  // counted in t_row_sets_being_read
  std::vector<std::string> names_;
  std::vector<Kind> kinds_;
  std::optional<std::vector<Value>> ahead_;  // the row read ahead, at most one
  // Buffers for reading text, made once per row set rather than per value.
  static constexpr std::size_t kPieceChars = 2048;
  std::vector<SQLWCHAR> piece_ = std::vector<SQLWCHAR>(kPieceChars);
  std::u16string text_;
};

// A session starts on one physical connection. A statement that arrives
// while a row set streams on every connection it has runs on a further
// connection to the same catalog and login, taken from the pool, so that no
// row set is ever read into memory; the connections are handed back to the
// pool together when the session closes.
class OdbcSession final : public Session {
 public:
  OdbcSession(std::string connection_string, std::string catalog, std::unique_ptr<OdbcLink> link,
              bool psqlodbc)
      : connection_string_(std::move(connection_string)),
        catalog_(std::move(catalog)),
        psqlodbc_(psqlodbc) {
    links_.push_back(SessionLink{std::move(link), nullptr, true, connection_string_, catalog_});
  }
  ~OdbcSession() override { release(); }

  std::unique_ptr<Cursor> execute(const std::string& sql) override;
  void close() override { release(); }

 private:
  // The first connection without a streaming row set, after reading one row
  // ahead of each streaming one to see whether it has in fact ended; a new
  // one from the pool when none is free.
  SessionLink& free_link();
  // Sets psqlODBC's cursor mode on `link` for the next statement: on, so
  // that its row set streams, unless a row set of this thread is being read
  // row by row, when the statement is a look-up for that row and its few
  // rows come whole, without the cursor's extra round trip and transaction.
  void choose_cursor_mode(SessionLink& link);
  void release() noexcept;

  std::string connection_string_;
  std::string catalog_;
  bool psqlodbc_;
  std::deque<SessionLink> links_;  // a deque: cursors keep pointers to its elements
};

OdbcCursor::OdbcCursor(SessionLink* link, SQLHSTMT stmt, SQLSMALLINT column_count)
    : link_(link), stmt_(stmt) {
  std::vector<SQLWCHAR> name(256);
  for (SQLUSMALLINT i = 1; i <= column_count; ++i) {
    SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLRETURN rc = SQLDescribeColW(stmt_, i, name.data(), static_cast<SQLSMALLINT>(name.size()),
                                   &name_length, &type, &size, &digits, &nullable);
    if (SQL_SUCCEEDED(rc) && name_length >= static_cast<SQLSMALLINT>(name.size())) {
      name.resize(static_cast<std::size_t>(name_length) + 1);
      rc = SQLDescribeColW(stmt_, i, name.data(), static_cast<SQLSMALLINT>(name.size()),
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
  if (link_ && link_->streaming == this) link_->streaming = nullptr;
  link_ = nullptr;
  if (being_read_) --t_row_sets_being_read;
  being_read_ = false;
}

void OdbcCursor::abandon() noexcept {
  detach();
  if (stmt_) SQLFreeStmt(std::exchange(stmt_, nullptr), SQL_CLOSE);
}

void OdbcCursor::fail(const std::string& what) {
  const OdbcDiagnostics d = read_diagnostics(SQL_HANDLE_STMT, stmt_);
  SessionLink* link = link_;
  // The row set is lost; its statement is closed so that the connection's
  // handle serves the next statement.
  abandon();
  if (link) link->fail(d, what);
  throw_odbc_failure(d, what);
}

bool OdbcCursor::next(std::vector<Value>& row) {
  bool delivered = false;
  if (ahead_) {
    row = std::move(*ahead_);
    ahead_.reset();
    delivered = true;
  } else {
    delivered = stmt_ && fetch_row(row);
  }
  if (delivered && !std::exchange(first_row_read_, true)) return true;
  if (delivered && !being_read_ && link_) {
    being_read_ = true;
    ++t_row_sets_being_read;
  }
  return delivered;
}

bool OdbcCursor::read_ahead() {
  if (ahead_) return true;
  std::vector<Value> row;
  if (!stmt_ || !fetch_row(row)) return false;
  ahead_ = std::move(row);
  return true;
}

bool OdbcCursor::fetch_row(std::vector<Value>& row) {
  const SQLRETURN rc = SQLFetch(stmt_);
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

Value OdbcCursor::read_column(SQLUSMALLINT index) {
  SQLHSTMT s = stmt_;
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
  SQLHSTMT s = stmt_;
  SQLLEN indicator = 0;
  // Text comes in pieces: drivers report column sizes smaller than the
  // values they deliver, so read until the driver says the value is done.
  std::u16string& text = text_;
  text.clear();
  std::vector<SQLWCHAR>& piece = piece_;
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

SessionLink& OdbcSession::free_link() {
  for (SessionLink& l : links_) {
    if (!l.streaming || !l.streaming->read_ahead()) return l;
  }
  links_.push_back(SessionLink{odbc_pool().take(connection_string_), nullptr, true,
                               connection_string_, catalog_});
  return links_.back();
}

void OdbcSession::choose_cursor_mode(SessionLink& link) {
  using Mode = OdbcLink::CursorMode;
  const Mode mode = link.link->cursor_mode();
  const Mode wanted = t_row_sets_being_read > 0 ? Mode::kOff : Mode::kOn;
  if (!psqlodbc_ || mode == Mode::kFixed || mode == wanted) return;
  const SQLRETURN rc =
      SQLSetConnectAttr(link.link->dbc(), kPsqlOdbcUseDeclareFetch,
                        reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(wanted == Mode::kOn)), 0);
  // A driver that cannot switch keeps the cursor: memory stays flat, only
  // the look-ups pay the extra round trip.
  link.link->note_cursor_mode(SQL_SUCCEEDED(rc) ? wanted : Mode::kFixed);
}

std::unique_ptr<Cursor> OdbcSession::execute(const std::string& sql) {
  if (links_.empty()) {
    throw Failure(failure_number::kObjectClosed, "the ODBC session is closed");
  }
  SessionLink& link = free_link();
  choose_cursor_mode(link);
  SQLHSTMT stmt = link.statement();
  // Reads the diagnostics of a failed call, closes the statement so that the
  // handle serves the next one, and throws.
  auto fail = [&](const char* what) {
    const OdbcDiagnostics d = read_diagnostics(SQL_HANDLE_STMT, stmt);
    SQLFreeStmt(stmt, SQL_CLOSE);
    link.fail(d, what);
  };
  // The bound of the statement and of each fetch of its rows: FreeTDS
  // waits for the answer that long and then cancels; psqlODBC has the
  // server end the statement (statement_timeout). Set for every statement,
  // as the kept handle outlives a change of the bounds in use.
  if (!SQL_SUCCEEDED(SQLSetStmtAttr(
          stmt, SQL_ATTR_QUERY_TIMEOUT,
          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(time_outs().statement.count())),
          SQL_IS_UINTEGER))) {
    fail("SQLSetStmtAttr failed");
  }
  std::u16string text = utf16_from_utf8(sql);
  SQLRETURN rc = SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(text.data()),
                                static_cast<SQLINTEGER>(text.size()));
  SQLSMALLINT columns = 0;
  // A batch may yield its row set after results without columns (row counts).
  while (true) {
    if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(rc)) fail("SQLExecDirect failed");
    if (rc != SQL_NO_DATA) {
      if (!SQL_SUCCEEDED(SQLNumResultCols(stmt, &columns))) fail("SQLNumResultCols failed");
      if (columns > 0) break;
    }
    rc = SQLMoreResults(stmt);
    if (rc == SQL_NO_DATA) {
      SQLFreeStmt(stmt, SQL_CLOSE);
      return nullptr;
    }
  }
  auto cursor = std::make_unique<OdbcCursor>(&link, stmt, columns);
  link.streaming = cursor.get();
  return cursor;
}

void OdbcSession::release() noexcept {
  for (SessionLink& l : links_) {
    if (l.streaming) l.streaming->abandon();
    try {
      OdbcPool* pool = live_odbc_pool();
      if (pool && l.healthy && l.link->alive())
        pool->give_back(connection_string_, std::move(l.link));
    } catch (...) {
      // Out of memory while pooling: the connection is simply disconnected.
    }
    l.link.reset();
  }
  links_.clear();
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
  out += odbc_driver_options(driver);
  out += dead_peer_options(driver);
  return out;
}

std::string odbc_driver_options(const std::string& driver) {
  if (is_psqlodbc(driver)) return kPsqlOdbcOptions;
  return "";
}

std::unique_ptr<Session> open_odbc_session(const ConnectionText& text, const std::string& driver) {
  std::string connection_string = odbc_connection_string(text, driver);
  auto link = odbc_pool().take(connection_string);
  return std::make_unique<OdbcSession>(std::move(connection_string), text.catalog, std::move(link),
                                       is_psqlodbc(driver));
}

}  // namespace velmora
