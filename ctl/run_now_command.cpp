#include <chrono>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>

#include "app/run/nightly_run.h"
#include "app/run/process_locks.h"
#include "core/clock.h"
#include "ctl/catalogs.h"
#include "ctl/commands.h"
#include "ctl/progress.h"
#include "ctl/run_now.h"
#include "transfer/frmatualizacao.h"

namespace velmora::ctl {
namespace {

constexpr const char* kBases[] = {"cons_estagiario", "cons_pagamento"};

struct ObserverGuard {
  explicit ObserverGuard(StatementObserver observer) {
    set_statement_observer(std::move(observer));
  }
  ~ObserverGuard() { set_statement_observer(nullptr); }
  ObserverGuard(const ObserverGuard&) = delete;
  ObserverGuard& operator=(const ObserverGuard&) = delete;
};

// Copies each table of this date's pair to <name>_HHMMSS and drops it, with
// the night's own snapshot and drop statements, so that the run can take
// the pair anew and nothing the first run kept is lost.
void keep_pair_aside(Connection& consulta, const std::string& suffix, Console& console) {
  std::string time = now_clock_text();
  std::erase(time, ':');
  for (const char* base : kBases) {
    const std::string name = std::string(base) + "_" + suffix;
    if (!base_table_exists(consulta, name)) continue;
    if (base_table_exists(consulta, name + "_" + time)) {
      throw Failure(failure_number::kGenericDatabase,
                    name + "_" + time + " exists already: try again in a second");
    }
    consulta.Execute(nightly_run::snapshot_statement(name, time));
    consulta.Execute(nightly_run::drop_statement(name));
    console.out << "kept " << name << " as " << name << "_" << time << "\n";
  }
}

int refuse(Console& console, const std::string& why) {
  console.err << "velmora-ctl run-now: " << why << "; nothing was changed\n";
  return kFailure;
}

int perform(const Arguments& arguments, Console& console) {
  return run_now({arguments.has("again"), nullptr}, console);
}

// Why this run must not start while the nightly process waits for today's
// trigger (its run would fail at this run's snapshots), or nothing.
std::optional<std::string> nightly_run_pending(const std::string& suffix) {
  const auto nightly = lock_holder(instance_lock_path());
  if (!nightly || now_clock_text() >= nightly_run::kTriggerText) return std::nullopt;
  return "the nightly process (pid " + std::to_string(nightly->pid) + ") runs at " +
         std::string(nightly_run::kTriggerText) +
         " today and would fail at this run's snapshots (suffix " + suffix +
         "); run again after its run has ended";
}

// The source's row counts that the progress display counts towards.
struct Totals {
  std::int64_t interns = 0;
  std::int64_t payments = 0;
};

// Readies the consultation catalog for a run with `suffix` (keeping this
// date's pair aside when `again`) and counts the source rows, on
// connections of the tool's own. Returns the reason to refuse, if any.
std::optional<std::string> prepare(const std::string& suffix, bool again, Totals& totals,
                                   Console& console) {
  try {
    auto consulta = open_catalog(Catalog::kConsulta);
    bool taken = false;
    for (const char* base : kBases) {
      taken = taken || base_table_exists(*consulta, std::string(base) + "_" + suffix);
    }
    if (taken && !again) {
      return "this date's snapshot pair (cons_estagiario_" + suffix + ", cons_pagamento_" + suffix +
             ") exists already: a run has been made today, and a second one would fail "
             "at its first snapshot. To run again on purpose, give --again: the pair is "
             "kept aside under a new name first";
    }
    if (taken) keep_pair_aside(*consulta, suffix, console);
    consulta->Close();
    auto source = open_catalog(Catalog::kSource);
    totals.interns = count_rows(*source, "vlmr_estagiario");
    totals.payments = count_rows(*source, "vlmr_pagamento");
    source->Close();
  } catch (const Failure& f) {
    return "the databases cannot be asked (" + failure_text(f) + "); see velmora-ctl check";
  }
  return std::nullopt;
}

// The run itself, every statement shown to the progress display (and to
// the tests' observer); returns its duration in seconds.
double perform_observed_run(const RunNowOptions& options, LockFile& lock, RunProgress& progress) {
  const auto start = std::chrono::steady_clock::now();
  {
    ObserverGuard observing([&](const Connection& connection, const std::string& statement) {
      progress.on_statement(statement);
      if (options.also_notify) options.also_notify(connection, statement);
    });
    nightly_run::perform_run(&lock);
  }
  progress.finish();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// What the run wrote, or after a failure what the live tables hold now,
// restored or not; then the duration and the outcome.
void print_summary(bool success, const RunCounts& n, double seconds, Console& console) {
  if (success) {
    console.out << "cons_estagiario: " << n.interns << " rows written\n"
                << "cons_pagamento: " << n.payments << " rows written\n";
  } else {
    try {
      auto consulta = open_catalog(Catalog::kConsulta);
      for (const char* base : kBases) {
        console.out << base << ": now " << count_rows(*consulta, base) << " rows\n";
      }
    } catch (const Failure& f) {
      console.out << "the consultation tables cannot be counted: " << failure_text(f) << "\n";
    }
  }
  console.out << "cons_estagiarioelogio: " << n.commendations_inserted << " rows inserted, "
              << n.commendations_updated << " updated\n";
  char duration[32];
  std::snprintf(duration, sizeof duration, "%.1f s", seconds);
  console.out << "duration: " << duration << "\n"
              << "outcome: " << frmatualizacao.erro_execucao << "\n";
}

}  // namespace

int run_now(const RunNowOptions& options, Console& console) {
  auto lock = LockFile::try_take(run_lock_path(), "velmora-ctl run-now");
  if (!lock) {
    const auto holder = lock_holder(run_lock_path());
    return refuse(console, "a run is in progress on these databases (" +
                               (holder ? holder->program + ", pid " + std::to_string(holder->pid) +
                                             ", since " + holder->since
                                       : std::string("holder unknown")) +
                               ")");
  }
  const std::string suffix = snapshot_suffix();
  if (const auto why = nightly_run_pending(suffix)) return refuse(console, *why);
  Totals totals;
  if (const auto why = prepare(suffix, options.again, totals, console)) {
    return refuse(console, *why);
  }

  RunProgress progress(console.out, console.out_is_terminal, totals.interns, totals.payments);
  const double seconds = perform_observed_run(options, *lock, progress);
  const bool success = frmatualizacao.erro_execucao == nightly_run::kSuccessText;
  print_summary(success, progress.counts(), seconds, console);
  return success ? kSuccess : kFailure;
}

Command run_now_command() {
  return {"run-now",
          "perform one nightly run now",
          "Performs one transfer run at once through exactly the code the nightly timer runs:\n"
          "the same statements in the same order, the failure e-mail included (a message box\n"
          "of the night is printed on standard error). Shows its progress, then the rows\n"
          "written, the duration and the outcome. Exit status 0 only for \" SEM ERRO\".\n\n"
          "It refuses, changing nothing, while a run is in progress on this machine, while the\n"
          "nightly process waits for today's 00:30:00, and when this date's snapshot pair\n"
          "exists already (a run has been made today: a second one would fail at its first\n"
          "snapshot). With --again it first copies that pair to names ending in _HHMMSS (shown\n"
          "by status, usable by restore, never dropped by the night) and drops it, then runs.\n",
          {{"again", "", "run a second time on this date, keeping the existing pair aside"}},
          perform};
}

}  // namespace velmora::ctl
