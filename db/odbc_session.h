#pragma once

#include <memory>
#include <string>

#include "db/session.h"

namespace velmora {

// Opens an ODBC session through unixODBC with the driver named `driver`.
// Data Source "host" or "host,port" gives Server and Port; Initial Catalog,
// User Id and Password give Database, UID and PWD.
std::unique_ptr<Session> open_odbc_session(const ConnectionText& text, const std::string& driver);

}  // namespace velmora
