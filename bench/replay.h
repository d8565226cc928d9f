#pragma once

// The statement stream of a night, recorded through the statement observer,
// and its replay straight through an engine: the floor that the night's own
// cost is measured against. A replay runs the statements in their recorded
// order on one connection per catalog, steps every row of every result and
// reads every column, and begins no transaction.

#include <cstddef>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "db/connection_text.h"

namespace velmora::bench {

struct RecordedStatement {
  std::string catalog;
  std::string text;
};

// Appends statements to a file, one record each ("catalog\nlength\ntext\n").
class StreamWriter {
 public:
  explicit StreamWriter(const std::string& path);
  ~StreamWriter();
  StreamWriter(const StreamWriter&) = delete;
  StreamWriter& operator=(const StreamWriter&) = delete;
  void append(const std::string& catalog, const std::string& text);

 private:
  std::FILE* file_;
};

// Every statement of a file that StreamWriter wrote.
std::vector<RecordedStatement> read_stream(const std::string& path);

struct ReplayResult {
  double seconds = 0;
  std::size_t statements = 0;
  std::size_t rows = 0;
  std::size_t values = 0;
};

// Through the sqlite3 C API, DIR/<catalog>.db opened as the embedded client
// opens it (read-write, WAL, synchronous=NORMAL), with the statement forms
// rewritten as the embedded client rewrites them (before the clock starts).
ReplayResult replay_sqlite(const std::string& directory,
                           const std::vector<RecordedStatement>& stream);

// Which connection options an ODBC replay connects with: the driver's
// defaults (for psqlODBC every row set read whole at once), or the night's
// own, those odbc_driver_options adds (for psqlODBC every SELECT through a
// server-side cursor).
enum class OdbcOptions { kDriverDefaults, kNightsOwn };

// The connection string of a replay: the ODBC client's for `text` and
// `driver`, without the options odbc_driver_options adds for kDriverDefaults.
std::string replay_connection_string(const ConnectionText& text, const std::string& driver,
                                     OdbcOptions options);

// Through the ODBC driver `driver` with the connection strings
// replay_connection_string builds from `texts` (catalog -> connection text);
// statements as UTF-16 (converted before the clock starts), values read as
// UTF-16 text, one statement handle per catalog closed after each statement.
ReplayResult replay_odbc(const std::map<std::string, ConnectionText>& texts,
                         const std::string& driver, OdbcOptions options,
                         const std::vector<RecordedStatement>& stream);

// Through libpq to the same server and logins: the floor below ODBC.
ReplayResult replay_libpq(const std::map<std::string, ConnectionText>& texts,
                          const std::vector<RecordedStatement>& stream);

}  // namespace velmora::bench
