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
// Row sets stream from the driver; none is read into memory. A physical
// connection streams one row set at a time (FreeTDS allows one active
// statement per connection): a statement executed while every connection of
// the session streams a row set that has rows left runs on a further
// connection with the same connection string, taken from the pool and kept
// by the session until it closes. Finding out whether a row set has rows
// left reads at most one row ahead of it.
//
// With psqlODBC a SELECT streams through a server-side cursor, except while
// another row set of the same thread is being read row by row (the program
// has moved past its first row and not reached its end): a SELECT then is a
// look-up for the current row, and its rows come whole, without the cursor.
// Every statement of a physical connection runs on one statement handle,
// closed (SQLFreeStmt(SQL_CLOSE)) when its row set ends or the statement
// has none.
std::unique_ptr<Session> open_odbc_session(const ConnectionText& text, const std::string& driver);

// The ODBC connection string for `text` and `driver`:
// "Driver={D};Server=H[;Port=P];Database=C;UID=U;PWD=W", where a Data Source
// "H,P" gives Server and Port, followed by ";ClientCharset=UTF-8" for a
// FreeTDS driver (a name containing "tds" in any letter case), or by
// odbc_driver_options for the PostgreSQL driver (a name containing
// "postgres" or "psqlodbc"). Then the driver's dead-peer options from the
// bounds in use (db/time_outs.h): ";TDS_Version=7.4;Timeout=<statement s>"
// for FreeTDS; ";KeepaliveTime=<idle s>;KeepaliveInterval=<interval s>;
// pqopt={keepalives_count=<n> tcp_user_timeout=<ms>}" for psqlODBC. Values
// with ';', '{', '}' or outer blanks are written in braces, '}' doubled.
//
// Every connection is made with SQL_ATTR_LOGIN_TIMEOUT and every statement
// runs with SQL_ATTR_QUERY_TIMEOUT from the same bounds; a wait that
// reaches either fails with time_out_failure (number -2147217871), naming
// the catalog (and, for the login, the server).
std::string odbc_connection_string(const ConnectionText& text, const std::string& driver);

// The options that odbc_connection_string adds for `driver`'s row sets:
// ";UseDeclareFetch=1;Fetch=1000" for psqlODBC, which otherwise reads every
// row set into memory whole (it then reads a SELECT through a server-side
// cursor, 1000 rows at a time), nothing for other drivers.
std::string odbc_driver_options(const std::string& driver);

}  // namespace velmora
