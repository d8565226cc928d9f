#include "db/odbc_handle.h"

#include <vector>

#include "core/failure.h"
#include "db/utf16.h"

namespace velmora {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "unixODBC's SQLWCHAR must be UTF-16");

template <SQLSMALLINT Type>
OdbcHandle<Type> allocate_handle(SQLSMALLINT parent_type, SQLHANDLE parent) {
  SQLHANDLE handle = SQL_NULL_HANDLE;
  const SQLRETURN rc = SQLAllocHandle(Type, parent, &handle);
  if (!SQL_SUCCEEDED(rc)) {
    OdbcDiagnostics d;
    if (parent != nullptr) d = read_diagnostics(parent_type, parent);
    throw_odbc_failure(d, "SQLAllocHandle failed");
  }
  return OdbcHandle<Type>(handle);
}

template OdbcEnv allocate_handle<SQL_HANDLE_ENV>(SQLSMALLINT, SQLHANDLE);
template OdbcDbc allocate_handle<SQL_HANDLE_DBC>(SQLSMALLINT, SQLHANDLE);
template OdbcStmt allocate_handle<SQL_HANDLE_STMT>(SQLSMALLINT, SQLHANDLE);

OdbcDiagnostics read_diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  OdbcDiagnostics out;
  std::vector<SQLWCHAR> message(1024);
  for (SQLSMALLINT record = 1;; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &native, message.data(),
                                  static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
      message.resize(static_cast<std::size_t>(length) + 1);
      rc = SQLGetDiagRecW(type, handle, record, state, &native, message.data(),
                          static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    const std::string sqlstate =
        utf8_from_utf16(std::u16string(reinterpret_cast<const char16_t*>(state), 5));
    std::size_t chars = std::min<std::size_t>(length < 0 ? 0 : length, message.size() - 1);
    std::string text =
        utf8_from_utf16(std::u16string(reinterpret_cast<const char16_t*>(message.data()), chars));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (record == 1) out.native_error = native;
    // Class 08, or the server ending the session itself (PostgreSQL's 57P01
    // to 57P03: shut down, crashed, not accepting connections yet).
    if (sqlstate.starts_with("08") || sqlstate.starts_with("57P")) out.link_failure = true;
    if (sqlstate == "HYT00" || sqlstate == "HYT01" || sqlstate == "57014") out.time_out = true;
    if (!out.description.empty()) out.description += "; ";
    out.description += "[" + sqlstate + "] " + text;
  }
  return out;
}

void throw_odbc_failure(const OdbcDiagnostics& d, const std::string& what) {
  throw database_failure(d.native_error, d.description.empty() ? what : d.description);
}

}  // namespace velmora
