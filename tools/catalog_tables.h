#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

// The three catalogs the night reads and writes, described once: every
// table with its columns, their types as a SQL Server installation has
// them, its key and its indexes. The schemas of the embedded databases, of
// the PostgreSQL test server and of the synthetic data set, the column
// lists that velmora-ctl check probes and the generators' column orders are
// all derived from this description.
namespace velmora::catalogs {

struct Column {
  std::string_view name;  // spelled as the system's statements spell it
  // SQL Server's type: int, char(n), varchar(n), varchar(max), datetime or
  // decimal(p,s).
  std::string_view type;
  bool nullable = true;
};

struct Index {
  std::string_view name;
  std::string_view columns;  // comma-separated, in the index's order
  bool unique = false;
};

struct Table {
  std::string_view catalog;  // "Velmora", "consulta_tessarin" or "CALVERIN"
  std::string_view name;
  std::string_view about;  // written as a comment above the table's statement
  std::span<const Column> columns;
  std::string_view key;  // the primary key's columns, comma-separated; empty for none
  std::span<const Index> indexes;
};

// The catalogs in the order in which a data set writes them.
inline constexpr std::string_view kCatalogs[] = {"Velmora", "consulta_tessarin", "CALVERIN"};

// Every table, grouped by catalog.
std::span<const Table> tables();

// The table named `name` (exact spelling). Throws std::out_of_range for a
// table that is not described.
const Table& table(std::string_view name);

// The table's column names, in its order.
std::vector<std::string> column_names(const Table& table);
// The same joined with commas, as a select list.
std::string column_list(const Table& table);

enum class Dialect { kSqlite, kPostgres };

// Whether the statements carry the installation's NOT NULL constraints,
// primary keys and unique indexes. The test databases leave them out (keys
// and unique indexes become plain indexes, so every look-up stays indexed): the tests put Nulls,
// partial rows and repeated codes into the source tables to see how the night copes with what a
// source may hold, which the night must survive or fail on by its own rules rather than have the
// database refuse.
enum class Constraints { kInstallation, kNone };

// The statements that create `catalog`'s empty tables and indexes in
// `dialect`: SQL Server's types map to int -> integer and datetime ->
// timestamp on PostgreSQL, varchar(max) -> text on both; every other type
// is written as it is. Empty for an unknown catalog.
std::string schema(std::string_view catalog, Dialect dialect, Constraints constraints);

}  // namespace velmora::catalogs
