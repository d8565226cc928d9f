#pragma once

// The benchmark's data sets: N interns with twelve payments each, their
// exams, grants, assignments, interruptions and commendations, the units of
// the organiser catalog, and the consultation tables as the previous night
// left them (full tables, the commendation rows, and that night's snapshot
// pair, which the measured night's retention drops). Deterministic: the same
// N gives the same rows on every client.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmora::bench {

// One cell: a text, or Null.
using Cell = std::optional<std::string>;

// The date of the measured night (clock 00:30:00 on this day). The previous
// night ran the day before, so its snapshots carry the suffix of two days
// before.
inline constexpr int kNightYear = 2026, kNightMonth = 12, kNightDay = 8;
inline constexpr const char* kPreviousSnapshotSuffix = "2026_12_06";

// Receives the rows of one table at a time.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual void begin(const std::string& table, const std::vector<std::string>& columns) = 0;
  virtual void row(const std::vector<Cell>& cells) = 0;
  virtual void end() = 0;
};

// Feeds every table of `catalog` ("Velmora", "consulta_tessarin" or
// "CALVERIN") for `interns` interns into `sink`.
void generate(const std::string& catalog, int interns, RowSink& sink);

// Statements that complete a catalog after its rows are in: the previous
// night's snapshot pair on the consultation database.
std::vector<std::string> after_load_statements(const std::string& catalog);

// Writes the data set into DIR/<catalog>.db for the three catalogs, which
// must hold the system's empty tables, and analyses them.
void load_sqlite(const std::string& directory, int interns);

// Writes the data set into the three catalogs of the PostgreSQL server at
// `host`:`port` (as the superuser sa, trusted on loopback), whose tables must
// be empty, and analyses them.
void load_postgres(const std::string& host, const std::string& port, int interns);

}  // namespace velmora::bench
