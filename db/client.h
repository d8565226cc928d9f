#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/value.h"

namespace velmora {

class Cursor;
class Session;
class Recordset;

// One column of the current row, read where the recordset holds it: valid
// until the recordset moves to another row or closes.
class Field {
 public:
  explicit Field(const velmora::Value& value) : value_(&value) {}
  // The column's value: Null, text, number or date.
  const velmora::Value& Value() const { return *value_; }

 private:
  const velmora::Value* value_;
};

// The columns of a recordset's current row.
class Fields {
 public:
  explicit Fields(const Recordset& owner) : owner_(owner) {}
  // The field named `name`, matched without regard to letter case. Throws
  // Failure 3265 for an unknown name, 3021 when there is no current row and
  // 3704 when the recordset is closed.
  Field Item(std::string_view name) const;

 private:
  const Recordset& owner_;
};

// A forward-only row set, positioned on its first row when it comes from a
// SELECT. A recordset created on its own, or one whose statement returned no
// rows set, or whose connection has been closed, is closed: using it throws
// Failure 3704.
class Recordset {
 public:
  Recordset();
  ~Recordset();
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  // True when the row set is empty or has moved past its last row. (Named
  // Eof because EOF is a macro of the C library.)
  bool Eof() const;
  // Makes the next row current; throws 3021 when already past the end.
  void MoveNext();
  velmora::Fields Fields() const { return velmora::Fields(*this); }

  bool IsOpen() const { return cursor_ != nullptr || at_end_known_open_; }

 private:
  friend class Connection;
  friend class Fields;
  void attach(std::unique_ptr<Cursor> cursor);
  void close() noexcept;
  const velmora::Value& value_of(std::string_view name) const;
  void fetch();

  std::unique_ptr<Cursor> cursor_;
  std::vector<std::string> columns_;  // folded to lower case
  std::vector<velmora::Value> row_;
  // Where the next field look-up starts: callers mostly read the fields in
  // column order.
  mutable std::size_t next_column_ = 0;
  bool names_unique_ = true;
  bool eof_ = true;
  bool at_end_known_open_ = false;  // open, read to its end, cursor released
};

// A connection to one catalog. The object starts unopened; destroying it
// closes the connection and every recordset it returned.
class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Opens the connection named by `connection_string` (Provider, Data
  // Source, Initial Catalog, User Id, Password): the login is the
  // connection text's. Throws Failure with the database's number and message
  // when the open fails, 3705 when already open.
  void Open(const std::string& connection_string);

  // Runs `sql` at once (no transaction is ever begun) and returns its row
  // set, closed for a statement without rows. Every statement passes the
  // statement observer first. Throws Failure with the database's number and
  // message, 3704 when the connection is not open.
  std::shared_ptr<Recordset> Execute(const std::string& sql);

  // Closes the connection and the recordsets it returned; nothing happens
  // for a connection that is not open.
  void Close();

  bool IsOpen() const { return session_ != nullptr; }
  const std::string& ConnectionString() const { return connection_string_; }

 private:
  std::unique_ptr<Session> session_;
  std::string connection_string_;
  std::vector<std::weak_ptr<Recordset>> recordsets_;
};

// The seam through which every Execute passes: sees the statement text,
// exactly, and the connection it is about to run on.
using StatementObserver = std::function<void(const Connection&, const std::string&)>;
// Installs `observer` (empty to remove it).
void set_statement_observer(StatementObserver observer);

}  // namespace velmora
