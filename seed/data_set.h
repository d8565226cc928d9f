#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/clock.h"
#include "db/value.h"

// A realistic synthetic data set for the three catalogs: interns with their
// exams, grants, assignments, interruptions, commendations, sanctions and a
// year of payments, the organiser's units in groups, a run log of earlier
// nights and consultation tables as the last night left them, snapshots
// included. A night run over it succeeds.
//
// The rows come from a pure function of the options: the same options give
// the same rows, in the same order, on every machine (the generator has its
// own random numbers and never uses the standard library's distributions,
// whose results differ between implementations). Intern k is the same
// whatever the number of interns, so a larger data set extends a smaller
// one.
namespace velmora::seed {

inline constexpr int kDefaultInterns = 2000;
inline constexpr std::uint64_t kDefaultSeed = 1;
// More interns than this would not fit the registration numbers' range.
inline constexpr int kMaxInterns = 899999;

struct Options {
  int interns = kDefaultInterns;  // 1 .. kMaxInterns
  std::uint64_t seed = kDefaultSeed;
  // The day the data set is made on. The snapshots and every date of an
  // intern are counted back from it: the tables are as the night before
  // left them, tonight's run is due on this day. The run log holds the seven
  // nights up to the last one run before this time (this day's own after
  // 00:30:00), and is the only part that reads the time of day.
  DateTime today;
};

// One table that the generator fills.
struct Table {
  std::string catalog;               // "Velmora", "consulta_tessarin" or "CALVERIN"
  std::string name;                  // as the system's statements name it
  std::vector<std::string> columns;  // the order of every row's values
  // Empty for a table of the catalog's schema. Otherwise the table that
  // this one is a select-into copy of (a snapshot): the sink makes it with
  // that table's columns, as the night's snapshot statement would.
  std::string copy_of;
};

// Where the rows go. generate() calls begin, then row for each row, then
// end, once per table; a failure thrown from any of them ends generate().
class Sink {
 public:
  virtual ~Sink() = default;
  virtual void begin(const Table& table) = 0;
  virtual void row(const std::vector<Value>& values) = 0;
  virtual void end() = 0;
};

// Sends every table of the data set to `sink`, source catalog first, then
// the organiser catalog, then the consultation catalog. Throws
// std::invalid_argument when options.interns is out of range.
void generate(const Options& options, Sink& sink);

// The snapshot suffix ("yyyy_mm_dd") of the pair that the last night's run
// left behind, for `today`: the day before yesterday.
std::string earlier_snapshot_suffix(const DateTime& today);

}  // namespace velmora::seed
