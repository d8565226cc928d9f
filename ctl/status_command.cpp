#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <ostream>

#include "app/run/nightly_run.h"
#include "app/run/process_locks.h"
#include "core/clock.h"
#include "ctl/catalogs.h"
#include "ctl/commands.h"
#include "ctl/status_model.h"
#include "ctl/status_report.h"

namespace velmora::ctl {
namespace {

constexpr std::size_t kRunsShown = 10;

std::string field(const Recordset& rs, const std::string& column) {
  const Value v = rs.Fields().Item(column).Value();
  return is_null(v) ? std::string() : text_of(v, column);
}

std::vector<LogRow> read_run_log(Connection& source) {
  auto rs =
      source.Execute("select data, hora_inicial, hora_final, erro from vlmr_logtransferencia");
  std::vector<LogRow> rows;
  for (; !rs->Eof(); rs->MoveNext()) {
    rows.push_back({field(*rs, "data"), field(*rs, "hora_inicial"), field(*rs, "hora_final"),
                    field(*rs, "erro")});
  }
  return rows;
}

// Everything status shows, read once: a database that cannot be read is
// noted with its failure, and the rest is still read.
StatusFacts read_facts() {
  StatusFacts facts;
  facts.now = clock().now();
  facts.run = lock_holder(run_lock_path());
  facts.nightly = lock_holder(instance_lock_path());
  try {
    auto source = open_catalog(Catalog::kSource);
    facts.log = read_run_log(*source);
    source->Close();
    facts.log_read = true;
  } catch (const Failure& f) {
    facts.log_failure = failure_text(f);
  }
  try {
    auto consulta = open_catalog(Catalog::kConsulta);
    auto rows_of = [&](const std::string& table) -> std::optional<std::int64_t> {
      if (!base_table_exists(*consulta, table)) return std::nullopt;
      return count_rows(*consulta, table);
    };
    for (const SnapshotPair& p : snapshot_pairs(base_table_names(*consulta))) {
      PairRows pair{p.suffix, std::nullopt, std::nullopt};
      if (p.has_estagiario) pair.estagiario = count_rows(*consulta, "cons_estagiario_" + p.suffix);
      if (p.has_pagamento) pair.pagamento = count_rows(*consulta, "cons_pagamento_" + p.suffix);
      facts.pairs.push_back(pair);
    }
    for (const char* table : {"cons_estagiario", "cons_pagamento", "cons_estagiarioelogio"}) {
      facts.tables.push_back({table, rows_of(table)});
    }
    consulta->Close();
    facts.consulta_read = true;
  } catch (const Failure& f) {
    facts.pairs.clear();
    facts.tables.clear();
    facts.consulta_failure = failure_text(f);
  }
  return facts;
}

// Writes `text` to `path` as node_exporter's textfile collector expects:
// a temporary file in the same directory, renamed over the old one, so that
// a reader never sees half a file. Throws Failure.
void write_atomically(const std::string& path, const std::string& text) {
  const std::string temporary = path + "." + std::to_string(getpid()) + ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << text;
    file.flush();
    if (!file) {
      const int error = errno;
      std::remove(temporary.c_str());
      throw Failure(error, "cannot write " + temporary + ": " + std::strerror(error));
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    std::remove(temporary.c_str());
    throw Failure(error,
                  "cannot rename " + temporary + " to " + path + ": " + std::strerror(error));
  }
}

int minutes_option(const Arguments& arguments, const char* name, int fallback, int low = 1) {
  const auto text = arguments.value(name);
  return text ? static_cast<int>(integer_option(name, *text, low, 7 * 24 * 60)) : fallback;
}

int perform(const Arguments& arguments, Console& console) {
  Thresholds limits;
  limits.grace = minutes_option(arguments, "grace", limits.grace, 0);
  limits.stuck_after = minutes_option(arguments, "stuck-after", limits.stuck_after);
  limits.slow_after = minutes_option(arguments, "slow-after", limits.slow_after);
  const bool check = arguments.has("check");
  const bool json = arguments.has("json");
  if (check && json) throw UsageError("--check and --json cannot be given together");
  const auto metrics_file = arguments.value("prometheus");
  if (metrics_file && metrics_file->empty()) {
    throw UsageError("option --prometheus needs a value FILE");
  }

  const StatusFacts facts = read_facts();
  const Status status = assess(facts, limits);
  bool written = true;
  if (metrics_file) {
    try {
      write_atomically(*metrics_file, metrics_text(facts, status, unix_seconds));
    } catch (const Failure& f) {
      console.err << "velmora-ctl status: " << f.description() << "\n";
      written = false;
    }
  }
  if (check) {
    console.out << check_text(facts, status);
    return static_cast<int>(status.state);
  }
  if (json) {
    console.out << json_text(facts, status, limits);
  } else if (!metrics_file) {
    for (const std::string& line : report_lines(facts, status, kRunsShown)) {
      console.out << line << "\n";
    }
  }
  // Written metrics say themselves which database could not be read.
  if (metrics_file && !json) return written ? kSuccess : kFailure;
  return facts.log_read && facts.consulta_read && written ? kSuccess : kFailure;
}

}  // namespace

Command status_command() {
  // The defaults as the model has them.
  static const Thresholds defaults;
  static const std::string kGraceHelp = "minutes after " + std::string(nightly_run::kTriggerText) +
                                        " before a night is missed (default " +
                                        std::to_string(defaults.grace) + ")";
  static const std::string kStuckHelp = "minutes after which a run in progress is stuck (default " +
                                        std::to_string(defaults.stuck_after) + ")";
  static const std::string kSlowHelp =
      "minutes after which a night is slow (default " + std::to_string(defaults.slow_after) + ")";
  return {"status",
          "show the last runs, the snapshots and the nightly process; the monitoring check",
          "Shows the last runs from the run log (date, start, end, outcome): for a failed\n"
          "night whether its tables are RESTORED (equal to its snapshot pair) or NOT\n"
          "RESTORED, with the restore command; a run in progress (and when the mail-failure\n"
          "box holds it); a run that stopped; nights of the last week without a run; the\n"
          "snapshot pairs with their row counts; the row counts of the consultation tables;\n"
          "whether a nightly process serves these databases on this machine and when its\n"
          "next run is due; and the state with every problem. Changes nothing. Exit status 1\n"
          "when a database cannot be read.\n\n"
          "--check prints the monitoring-plugin line \"VELMORA <STATE> - <cause> | perfdata\"\n"
          "and the problems, and exits 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN (a database\n"
          "cannot be read). --json prints the same facts as JSON. --prometheus FILE writes\n"
          "them as Prometheus metrics to FILE (a temporary file renamed over it).\n",
          {{"check", "", "print the monitoring check and exit with its state"},
           {"json", "", "print the facts as JSON"},
           {"prometheus", "FILE", "write the metrics to FILE"},
           {"grace", "MIN", kGraceHelp},
           {"stuck-after", "MIN", kStuckHelp},
           {"slow-after", "MIN", kSlowHelp}},
          perform};
}

}  // namespace velmora::ctl
