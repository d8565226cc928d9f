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

// Through the ODBC driver `driver` with the connection strings the ODBC
// client builds from `texts` (catalog -> connection text); statements as
// UTF-16 (converted before the clock starts), values read as UTF-16 text.
ReplayResult replay_odbc(const std::map<std::string, ConnectionText>& texts,
                         const std::string& driver, const std::vector<RecordedStatement>& stream);

// Through libpq to the same server and logins: the floor below ODBC.
ReplayResult replay_libpq(const std::map<std::string, ConnectionText>& texts,
                          const std::vector<RecordedStatement>& stream);

}  // namespace velmora::bench
