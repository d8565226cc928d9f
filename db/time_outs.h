#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "core/failure.h"

namespace velmora {

// The bounds of every wait on a database. The values in use are the
// compiled-in ones (built_in_time_outs) unless a test replaced them.
struct TimeOuts {
  // Making a connection, login included (ODBC).
  std::chrono::seconds login{30};
  // One statement, from its sending to its answer, or one fetch of rows
  // (ODBC; the server cancels it or the driver gives up).
  std::chrono::seconds statement{900};
  // Waiting for another process's lock on an embedded database file.
  std::chrono::seconds busy{60};
  // Dead-peer detection on ODBC connections: an idle connection is probed
  // after keepalive_idle, then every keepalive_interval, and counted dead
  // after keepalive_count unanswered probes; data sent and not acknowledged
  // for unacknowledged (where the driver can say so) ends it too.
  std::chrono::seconds keepalive_idle{30};
  std::chrono::seconds keepalive_interval{10};
  int keepalive_count = 3;
  std::chrono::seconds unacknowledged{60};
};

// The compiled-in bounds.
TimeOuts built_in_time_outs();

// The bounds in use. Reads the replacement that a test set, if any.
const TimeOuts& time_outs();

// Tests shorten the bounds; nullptr restores the compiled-in ones. Applies
// to connections and statements made afterwards.
void set_time_outs_for_testing(const TimeOuts* replacement);

namespace failure_number {
// A wait on an ODBC server that reached its bound (login or statement).
inline constexpr std::int32_t kOdbcTimeOut = -2147217871;  // 0x80040E31
// A wait for another process's lock on an embedded database file
// (SQLite's SQLITE_BUSY).
inline constexpr std::int32_t kEmbeddedTimeOut = 5;
}  // namespace failure_number

// The failure of a wait that reached its bound:
// "<what> time-out after <N> s on <where>", followed by " (<detail>)" when
// the client said more, e.g. "statement time-out after 900 s on
// consulta_tessarin (...)".
Failure time_out_failure(std::int32_t number, const std::string& what, std::chrono::seconds bound,
                         const std::string& where, const std::string& detail);

}  // namespace velmora
