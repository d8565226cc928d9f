#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <utility>

namespace velmora {

// Owns one ODBC handle of type `Type` (SQL_HANDLE_ENV, SQL_HANDLE_DBC or
// SQL_HANDLE_STMT) and frees it on destruction. Move-only; the destructor
// never throws. Owners declare the environment before the connection and the
// connection before its statements, so that members are freed child first.
template <SQLSMALLINT Type>
class OdbcHandle {
 public:
  OdbcHandle() = default;
  explicit OdbcHandle(SQLHANDLE handle) : handle_(handle) {}
  ~OdbcHandle() { reset(); }
  OdbcHandle(OdbcHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  OdbcHandle& operator=(OdbcHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  OdbcHandle(const OdbcHandle&) = delete;
  OdbcHandle& operator=(const OdbcHandle&) = delete;

  SQLHANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  // Frees the handle now (nothing for an empty one).
  void reset() noexcept {
    if (handle_ != nullptr) SQLFreeHandle(Type, std::exchange(handle_, nullptr));
  }

 private:
  SQLHANDLE handle_ = nullptr;
};

using OdbcEnv = OdbcHandle<SQL_HANDLE_ENV>;
using OdbcDbc = OdbcHandle<SQL_HANDLE_DBC>;
using OdbcStmt = OdbcHandle<SQL_HANDLE_STMT>;

// Allocates a handle of type `Type` under `parent` (SQL_NULL_HANDLE for an
// environment). Throws Failure with the parent's diagnostics on failure.
template <SQLSMALLINT Type>
OdbcHandle<Type> allocate_handle(SQLSMALLINT parent_type, SQLHANDLE parent);

// The diagnostics that an ODBC call left on a handle.
struct OdbcDiagnostics {
  int native_error = 0;     // native error of the first record
  std::string description;  // every record as "[SQLSTATE] message", joined by "; "
  // Some record has SQLSTATE class 08 (communication link) or 57P (the
  // server ended the session).
  bool link_failure = false;
  // Some record says that a wait reached its bound: SQLSTATE HYT00 or HYT01
  // (the driver's own time-out), or PostgreSQL's 57014 (the statement was
  // cancelled, which the client asks for only through its time-out).
  bool time_out = false;
};
OdbcDiagnostics read_diagnostics(SQLSMALLINT type, SQLHANDLE handle);

// Throws the Failure for a failed call: number = native error of the first
// diagnostic record (the generic database number when that is 0),
// description = all records, or `what` when the driver left none.
[[noreturn]] void throw_odbc_failure(const OdbcDiagnostics& diagnostics, const std::string& what);

}  // namespace velmora
