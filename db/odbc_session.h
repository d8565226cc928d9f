#pragma once

#include <memory>
#include <string>

#include "db/session.h"

namespace velmora {

// Opens an ODBC session through unixODBC with the driver named `driver`,
// taking a pooled physical connection when an idle healthy one exists for
// the same connection string (see db/odbc_pool.h); closing the session hands
// the connection back. Throws Failure with the driver's number and message.
//
// Row sets stream from the driver. A statement executed while an earlier row
// set of the session is still streaming first reads that row set's remaining
// rows into memory and frees its statement (drivers such as FreeTDS allow one
// active statement per connection); the earlier row set keeps its place.
std::unique_ptr<Session> open_odbc_session(const ConnectionText& text, const std::string& driver);

// The ODBC connection string for `text` and `driver`:
// "Driver={D};Server=H[;Port=P];Database=C;UID=U;PWD=W", where a Data Source
// "H,P" gives Server and Port, followed by ";ClientCharset=UTF-8" for a
// FreeTDS driver (a name containing "tds" in any letter case). Values with
// ';', '{', '}' or outer blanks are written in braces, '}' doubled.
std::string odbc_connection_string(const ConnectionText& text, const std::string& driver);

}  // namespace velmora
