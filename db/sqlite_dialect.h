#pragma once

#include <string>
#include <string_view>

namespace velmora {

// The statement text that the embedded client runs for `sql`, a statement
// written for SQL Server. Two forms are rewritten, and only where they stand
// outside quoted values and names, so that a value is never changed:
// "Select <cols> into NEW from ..." becomes "CREATE TABLE NEW AS SELECT
// <cols> FROM ...", and INFORMATION_SCHEMA.TABLES becomes a subquery over
// sqlite_schema with TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME and TABLE_TYPE
// ('BASE TABLE' or 'VIEW'). Every other statement is returned unchanged.
std::string sqlite_dialect(const std::string& sql);

// False when sqlite_dialect(sql) is certainly `sql` itself, found by a scan
// that copies nothing: the statement neither starts with SELECT and holds
// INTO nor names INFORMATION_SCHEMA. (True does not mean that a rewrite
// happens: the words may stand inside quotes.)
bool sqlite_dialect_rewrites(std::string_view sql);

// sqlite_dialect(sql) with the statement scanned once: `sql` itself, not a
// copy, when the scan finds nothing to rewrite (most statements of a
// night); otherwise the rewritten text, kept in `storage`.
const std::string& sqlite_dialect_text(const std::string& sql, std::string& storage);

}  // namespace velmora
