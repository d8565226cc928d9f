#pragma once

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
std::unique_ptr<Session> open_sqlite_session(const std::string& directory,
                                             const std::string& catalog);

}  // namespace velmora
