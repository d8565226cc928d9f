#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "db/connection_text.h"
#include "db/value.h"

namespace velmora {

// What a database client (embedded SQLite or ODBC) offers to Connection and
// Recordset. Every failure is thrown as Failure with the database's own
// number and message.

// The rows of one result set, read forward only.
class Cursor {
 public:
  virtual ~Cursor() = default;
  // Column names in result order.
  virtual const std::vector<std::string>& columns() const = 0;
  // Fills `row` with the next row; false when there is none left.
  virtual bool next(std::vector<Value>& row) = 0;
};

// One open connection to a catalog.
class Session {
 public:
  virtual ~Session() = default;
  // Runs one statement at once. Returns the rows of a statement that yields
  // a result set, or nullptr for one that does not. Cursors returned earlier
  // keep their place.
  virtual std::unique_ptr<Cursor> execute(const std::string& sql) = 0;
  // Ends the connection. Cursors of this session must be gone by then.
  virtual void close() = 0;
};

// Opens a session for a parsed connection text: the embedded client for a
// Data Source "sqlite:DIR", ODBC otherwise.
std::unique_ptr<Session> open_session(const ConnectionText& text);

// How long both clients keep a closed connection's physical connection (an
// ODBC connection, an SQLite handle) for the next open of the same catalog:
// long enough for the look-ups of a night, which open the organiser catalog
// once per intern, short enough that nothing stays open between nights.
inline constexpr std::chrono::seconds kIdleConnectionTimeout{60};

// Disconnects the physical connections that the clients keep idle for reuse
// once they have been idle for longer than their time-out, so that none
// stays open on a server between nights. Never throws; called from the
// window's timer.
void release_idle_connections() noexcept;

}  // namespace velmora
