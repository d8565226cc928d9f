#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "db/session.h"

namespace velmora {

// Opens the existing file DIR/<catalog>.db read-write (a missing file fails;
// no empty database is ever created), in WAL mode with synchronous=NORMAL.
//
// Every statement commits on its own. With synchronous=NORMAL a commit is in
// the write-ahead log when the statement returns, so it survives the process
// ending in any way; the log reaches the disk at each checkpoint rather than
// at each commit, so a crash of the operating system or a power loss can
// lose the latest commits. It only ever loses the latest: recovery replays
// the log up to its first frame that did not reach the disk, so the file
// holds every commit up to some point and none after it. A failed night
// takes its snapshot, drops the live table later and re-creates it from the
// snapshot after that; whatever is lost, a drop is never kept while the
// snapshot committed before it is gone, which is what the consultation
// server is asked to guarantee with durable commits. At worst the night
// reads back as if it had stopped earlier, and the next night rebuilds.
// (synchronous=FULL, a flush per commit, took a 1 000-intern benchmark night
// from 4.3 s to about 20 s here.)
//
// Statements are accepted as the system writes them for SQL Server (see
// db/sqlite_dialect.h). Row sets stream.
//
// Closing a session keeps its handle, one per file, for the next open of the
// same file, as the ODBC pool keeps connections: only when no statement of
// it is left unfinished and no transaction is open, and it is taken again
// only while the file at the path is still the one it had (same device,
// inode, size and change time; a missing file fails at open as before).
// Kept handles are closed once idle for kIdleConnectionTimeout (db/session.h),
// as the ODBC pool's connections are.
std::unique_ptr<Session> open_sqlite_session(const std::string& directory,
                                             const std::string& catalog);

// Closes the kept handles idle for longer than their time-out. Never throws.
void release_idle_sqlite_handles() noexcept;

// For tests: the number of kept handles, and closing them all.
std::size_t idle_sqlite_handle_count();
void clear_idle_sqlite_handles();

}  // namespace velmora
