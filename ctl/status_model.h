#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/run/process_locks.h"
#include "core/calendar.h"

// velmora-ctl status's one model: the facts read once from the databases and
// the lock files, and what they mean for the operator and for monitoring.
// Everything here is pure; status_command.cpp reads the facts and the
// renderers (status_report.h) write the text, the check, JSON and metrics.
namespace velmora::ctl {

// One row of vlmr_logtransferencia, each column as text ("" for Null).
struct LogRow {
  std::string data;
  std::string hora_inicial;
  std::string hora_final;
  std::string erro;
};

// The rows of a table, nullopt when the table is missing.
struct TableRows {
  std::string table;
  std::optional<std::int64_t> rows;
};

// A snapshot pair and the rows of each of its tables (nullopt: missing).
struct PairRows {
  std::string suffix;
  std::optional<std::int64_t> estagiario;
  std::optional<std::int64_t> pagamento;
};

// Everything status reads, read once.
struct StatusFacts {
  DateTime now;
  // The run log, or the failure that kept it from being read.
  bool log_read = false;
  std::vector<LogRow> log;
  std::string log_failure;
  // The consultation database: its pairs (oldest suffix first) and its three
  // live tables, or the failure that kept them from being read.
  bool consulta_read = false;
  std::vector<PairRows> pairs;
  std::vector<TableRows> tables;  // cons_estagiario, cons_pagamento, cons_estagiarioelogio
  std::string consulta_failure;
  std::optional<LockHolder> nightly;  // the instance lock's holder
  std::optional<LockHolder> run;      // the run lock's holder
};

// The limits the check judges by, in minutes.
struct Thresholds {
  int grace = 10;        // after 00:30:00 before a night without a start row is missed
  int stuck_after = 30;  // a run in progress longer than this is stuck
  int slow_after = 10;   // a night that took longer than this was slow
};

// Monitoring-plugin states; the value is the check's exit status.
enum class State { kOk = 0, kWarning = 1, kCritical = 2, kUnknown = 3 };
// "OK", "WARNING", "CRITICAL", "UNKNOWN".
const char* state_name(State state);

// One thing wrong, in one line.
struct Problem {
  State state;
  std::string text;
};

enum class Outcome { kOk, kFailed, kInProgress, kStopped };

// One run of the log, judged.
struct LoggedRun {
  LogRow row;  // times without their trailing blank
  Outcome outcome;
  std::optional<DateTime> start;         // date and start time, when they read as such
  std::optional<DateTime> end;           // the day after the start when the end is earlier
  std::optional<std::int64_t> duration;  // seconds, for a run with an end
  std::string pair;  // the snapshot pair it took (its date minus one day), "" when unknown
};

// How the live tables compare with a failed night's own snapshot pair.
enum class Verdict { kRestored, kNotRestored, kNoPair };

struct Comparison {
  std::string table;                     // cons_estagiario or cons_pagamento
  std::optional<std::int64_t> live;      // nullopt: missing
  std::optional<std::int64_t> snapshot;  // nullopt: missing
};

struct FailedNight {
  LoggedRun run;
  Verdict verdict;
  std::vector<Comparison> tables;  // empty for kNoPair
  std::string restore_command;     // for kNotRestored
};

// The run lock's holder and what it is doing.
struct RunInProgress {
  LockHolder holder;
  std::optional<std::int64_t> seconds;  // since it took the lock
  bool mail_failure_box = false;        // the box holds the run
  bool nightly = false;                 // held by the nightly process
};

struct Status {
  State state = State::kOk;
  std::vector<Problem> problems;  // CRITICAL first, then UNKNOWN, then WARNING
  std::vector<LoggedRun> runs;    // newest first
  std::optional<LoggedRun> last_completed;
  std::optional<LoggedRun> last_success;
  std::optional<FailedNight> failed_night;  // when the newest completed run failed
  std::optional<RunInProgress> in_progress;
  std::vector<std::string> missed;   // nights of the last week without a run, newest first
  std::vector<std::string> orphans;  // suffixes of pairs that no night will drop
};

// What the facts mean. Pure.
Status assess(const StatusFacts& facts, const Thresholds& limits);

// The second of the day of nightly_run::kTriggerText, 00:30:00.
inline constexpr int kTriggerSecond = 30 * 60;
// Seconds since midnight of `t`'s time of day.
int second_of_day(const DateTime& t);
// "1960 rows", or "MISSING" for a missing table.
std::string rows_text(const std::optional<std::int64_t>& rows);
// "velmora, pid 9381, since 2026-12-09 02:31:52".
std::string holder_text(const LockHolder& holder);

// Seconds from `from` to `to`, both local wall-clock times.
std::int64_t seconds_between(const DateTime& from, const DateTime& to);
// "yyyy-mm-dd HH:MM:SS" read back, nullopt otherwise.
std::optional<DateTime> parse_date_time(const std::string& text);
// "42 s", "12 min", "3 h 5 min".
std::string span_text(std::int64_t seconds);

}  // namespace velmora::ctl
