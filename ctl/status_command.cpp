#include <algorithm>
#include <ostream>
#include <set>

#include "app/run/nightly_run.h"
#include "app/run/process_locks.h"
#include "core/clock.h"
#include "ctl/catalogs.h"
#include "ctl/commands.h"
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

std::string holder_text(const LockHolder& h) {
  return h.program + ", pid " + std::to_string(h.pid) + ", since " + h.since;
}

int perform(const Arguments&, Console& console) {
  std::ostream& out = console.out;
  const DateTime now = clock().now();
  const auto run_holder = lock_holder(run_lock_path());
  bool readable = true;

  out << "Runs (vlmr_logtransferencia, newest first):\n";
  try {
    auto source = open_catalog(Catalog::kSource);
    const std::vector<LogRow> log = read_run_log(*source);
    source->Close();
    for (const std::string& line : run_log_lines(log, now, run_holder.has_value(), kRunsShown))
      out << line << "\n";
  } catch (const Failure& f) {
    out << "  cannot read the run log: " << failure_text(f) << "\n";
    readable = false;
  }

  out << "Snapshot pairs:\n";
  try {
    auto consulta = open_catalog(Catalog::kConsulta);
    const auto pairs = snapshot_pairs(base_table_names(*consulta));
    if (pairs.empty()) out << "  none\n";
    for (const SnapshotPair& p : pairs) {
      out << "  " << p.suffix << ":";
      const char* separator = " ";
      for (const auto& [present, base] : {std::pair{p.has_estagiario, "cons_estagiario_"},
                                          {p.has_pagamento, "cons_pagamento_"}}) {
        const std::string name = base + p.suffix;
        out << separator << name;
        if (present)
          out << " " << count_rows(*consulta, name) << " rows";
        else
          out << " MISSING";
        separator = ", ";
      }
      if (p.suffix.size() > 10) out << " (kept aside by run-now --again)";
      out << "\n";
    }
    out << "Consultation tables:";
    const char* separator = " ";
    for (const char* table : {"cons_estagiario", "cons_pagamento", "cons_estagiarioelogio"}) {
      out << separator << table;
      if (base_table_exists(*consulta, table))
        out << " " << count_rows(*consulta, table) << " rows";
      else
        out << " MISSING (restore it: velmora-ctl restore --help)";
      separator = ", ";
    }
    out << "\n";
    consulta->Close();
  } catch (const Failure& f) {
    out << "  cannot read the consultation database: " << failure_text(f) << "\n";
    readable = false;
  }

  const auto nightly = lock_holder(instance_lock_path());
  if (nightly) {
    out << "Nightly process: running (" << holder_text(*nightly) << "); next run due "
        << next_run_text(now) << "\n";
  } else {
    out << "Nightly process: NOT RUNNING on this machine for these databases: no run happens "
           "at "
        << nightly_run::kTriggerText << " until it is started\n";
  }
  if (run_holder) out << "Run in progress: " << holder_text(*run_holder) << "\n";
  return readable ? kSuccess : kFailure;
}

}  // namespace

Command status_command() {
  return {"status",
          "show the last runs, the snapshots and the nightly process",
          "Shows the last runs from the run log (date, start, end, outcome), flagging a run\n"
          "that has no end (the process stopped during it) and nights of the last week\n"
          "without a run; the snapshot pairs present with their row counts; the row counts\n"
          "of the consultation tables; whether a nightly process serves these databases on\n"
          "this machine and when its next run is due. Changes nothing. Exit status 1 when a\n"
          "database cannot be read.\n",
          {},
          perform};
}

}  // namespace velmora::ctl
