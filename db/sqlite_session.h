#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "db/session.h"

namespace velmora {

// Opens the existing file DIR/<catalog>.db read-write (a missing file fails;
// no empty database is ever created), in WAL mode with synchronous=NORMAL so
// that every statement takes effect on its own without a flush per insert.
//
// Statements are accepted as the system writes them for SQL Server (see
// db/sqlite_dialect.h). Row sets stream.
//
// Closing a session keeps its handle, one per file, for the next open of the
// same file, as the ODBC pool keeps connections: only when no statement of
// it is left unfinished and no transaction is open, and it is taken again
// only while the file at the path is still the one it had (same device,
// inode, size and change time; a missing file fails at open as before).
// Kept handles are closed once idle for 60 s.
std::unique_ptr<Session> open_sqlite_session(const std::string& directory,
                                             const std::string& catalog);

// Closes the kept handles idle for longer than their time-out. Never throws.
void release_idle_sqlite_handles() noexcept;

// For tests: the number of kept handles, and closing them all.
std::size_t idle_sqlite_handle_count();
void clear_idle_sqlite_handles();

}  // namespace velmora
