#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "db/odbc_handle.h"
#include "db/session.h"

namespace velmora {

// One physical ODBC connection: the shared environment it was made in and
// its connected handle. Destroying it disconnects, then frees the handle;
// the environment goes when the last connection and the pool let go of it.
class OdbcLink {
 public:
  // Connects with the full ODBC connection string `connection_string`.
  // Throws Failure with the driver's diagnostics when the connection fails.
  OdbcLink(std::shared_ptr<OdbcEnv> env, const std::string& connection_string);
  ~OdbcLink();
  OdbcLink(const OdbcLink&) = delete;
  OdbcLink& operator=(const OdbcLink&) = delete;

  SQLHDBC dbc() const { return dbc_.get(); }
  // The connection's statement handle, allocated at the first call and kept
  // for every later statement on this connection, whichever session it
  // serves: a statement ends with SQLFreeStmt(SQL_CLOSE), which leaves the
  // handle ready for the next one. Allocating and freeing a handle per
  // statement costs the driver manager a statement and four descriptors each
  // time. Throws Failure when the allocation fails.
  SQLHSTMT statement();
  // False when the driver already knows the connection to be dead.
  bool alive() const;
  // When the connection was made.
  std::chrono::steady_clock::time_point connected_at() const { return connected_at_; }

  // Whether the driver reads a SELECT through a server-side cursor (psqlODBC's
  // declare/fetch): on as the connection string sets it, switched per
  // statement by the session, and it stays as last set on the connection,
  // pooled or not. Fixed once the driver refused to switch it.
  enum class CursorMode { kOn, kOff, kFixed };
  CursorMode cursor_mode() const { return cursor_mode_; }
  void note_cursor_mode(CursorMode mode) { cursor_mode_ = mode; }

 private:
  std::shared_ptr<OdbcEnv> env_;  // declared first: freed after the connection
  OdbcDbc dbc_;
  OdbcStmt stmt_;  // freed before the connection is disconnected
  CursorMode cursor_mode_ = CursorMode::kOn;
  bool connected_ = false;
  std::chrono::steady_clock::time_point connected_at_ = std::chrono::steady_clock::now();
};

// Idle physical connections kept for reuse, keyed by the full ODBC
// connection string. Connections are handed back only when healthy (no
// statement open, autocommit on, no communication-link failure seen) and
// are dropped once idle for longer than the idle time-out (the clients' one
// idle policy, kIdleConnectionTimeout); expired ones are reaped on every take
// and give_back. Not thread-safe: the process has one thread, on which the
// night, the window's timer and the operator tool's commands all run.
class OdbcPool {
 public:
  static constexpr std::chrono::seconds kDefaultIdleTimeout = kIdleConnectionTimeout;

  OdbcPool();
  ~OdbcPool();

  // An idle live connection for `connection_string`, or a new one. Throws
  // Failure when a new connection fails.
  std::unique_ptr<OdbcLink> take(const std::string& connection_string);
  // Keeps `link` idle for reuse under `connection_string` (disconnects it
  // at once when the idle time-out is zero).
  void give_back(const std::string& connection_string, std::unique_ptr<OdbcLink> link);

  // Sets the idle time-out; zero turns pooling off. Disconnects idle
  // connections that the new time-out has expired.
  void set_idle_timeout(std::chrono::steady_clock::duration timeout);
  // Disconnects the idle connections whose idle time-out has passed.
  void release_expired();
  // Number of idle connections held.
  std::size_t idle_count();
  // Disconnects every idle connection.
  void clear();
  // Records that a connection made with `connection_string` lost its link:
  // the server went away or restarted, so every connection to the same
  // server (any catalog) made until now is dead too, although its driver
  // cannot know it before it is used. Those idle now are disconnected, and
  // those handed back later are not kept.
  void note_link_failure(const std::string& connection_string);

 private:
  struct Idle {
    std::string connection_string;
    std::unique_ptr<OdbcLink> link;
    std::chrono::steady_clock::time_point since;
  };
  // Moves expired connections out of idle_ into `out` (disconnected when the
  // caller's `out` goes).
  void reap(std::chrono::steady_clock::time_point now, std::vector<Idle>& out);

  std::shared_ptr<OdbcEnv> env_;
  // True when `link` was made before the last link failure of its server.
  bool outdated(const std::string& connection_string, const OdbcLink& link) const;

  std::vector<Idle> idle_;
  std::chrono::steady_clock::duration timeout_ = kDefaultIdleTimeout;
  // The time of the last link failure of each server (the connection
  // string up to its catalog).
  std::vector<std::pair<std::string, std::chrono::steady_clock::time_point>> failures_;
};

// The process's pool, used by every ODBC session.
OdbcPool& odbc_pool();

// The process's pool if it exists: nullptr before the first odbc_pool() call
// and after the pool was destroyed at process exit, when a connection still
// open in a slot is simply disconnected.
OdbcPool* live_odbc_pool() noexcept;

// Disconnects pooled connections idle for longer than the time-out, so that
// they do not stay open on the server between nights. Does nothing when no
// ODBC connection was ever made; never throws. Called from the window's timer.
void release_idle_odbc_connections() noexcept;

}  // namespace velmora
