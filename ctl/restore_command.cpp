#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/run/nightly_run.h"
#include "app/run/process_locks.h"
#include "ctl/catalogs.h"
#include "ctl/commands.h"
#include "db/conexao.h"

namespace velmora::ctl {
namespace {

constexpr const char* kBases[] = {"cons_estagiario", "cons_pagamento"};

struct Table {
  std::string live;
  std::string snapshot;
  bool live_exists = false;
  std::int64_t live_rows = 0;
  std::int64_t snapshot_rows = 0;
};

bool confirmed(Console& console) {
  console.out << "Replace them? [y/N] " << std::flush;
  std::string answer;
  std::getline(console.in, answer);
  return answer == "y" || answer == "Y" || answer == "yes";
}

// Empties the consultation slot whatever happened.
struct ConsultaClosed {
  ~ConsultaClosed() {
    try {
      Conexao2.fechar();
    } catch (...) {
    }
    Conexao2.cn.reset();
  }
};

// The pair's two tables as the consultation catalog holds them now, or
// nothing when a snapshot is missing (said on console.err).
std::optional<std::vector<Table>> find_pair(const std::string& suffix, Console& console) {
  std::vector<Table> tables;
  auto consulta = open_catalog(Catalog::kConsulta);
  std::string missing;
  for (const char* base : kBases) {
    Table t{base, std::string(base) + "_" + suffix};
    if (!base_table_exists(*consulta, t.snapshot)) {
      missing += (missing.empty() ? "" : " and ") + t.snapshot;
      continue;
    }
    t.snapshot_rows = count_rows(*consulta, t.snapshot);
    t.live_exists = base_table_exists(*consulta, t.live);
    if (t.live_exists) t.live_rows = count_rows(*consulta, t.live);
    tables.push_back(t);
  }
  consulta->Close();
  if (missing.empty()) return tables;
  const bool both = missing.find(" and ") != std::string::npos;
  console.err << "velmora-ctl restore: the snapshot" << (both ? "s " : " ") << missing
              << (both ? " are" : " is")
              << " missing; nothing was changed (velmora-ctl status lists the pairs)\n";
  return std::nullopt;
}

// Shows what the restore replaces and, unless --yes, asks (only on a
// terminal). True when the restore may go ahead.
bool agreed(const std::vector<Table>& tables, bool yes, Console& console) {
  for (const Table& t : tables) {
    console.out << t.live << " ("
                << (t.live_exists ? std::to_string(t.live_rows) + " rows" : "missing")
                << ") becomes a copy of " << t.snapshot << " (" << t.snapshot_rows << " rows)\n";
  }
  if (yes) return true;
  if (!console.in_is_terminal) {
    console.err << "velmora-ctl restore: not on a terminal: give --yes to confirm; nothing was "
                   "changed\n";
    return false;
  }
  if (!confirmed(console)) {
    console.out << "Nothing was changed.\n";
    return false;
  }
  return true;
}

// The failure branch's own statements, in its order, on the consultation
// connection: both drops, then both select-intos. A live table that is
// missing (a night that stopped between the two) is only re-created.
std::vector<std::string> restore_statements(const std::vector<Table>& tables,
                                            const std::string& suffix) {
  std::vector<std::string> statements;
  for (const Table& t : tables) {
    if (t.live_exists) statements.push_back(nightly_run::drop_statement(t.live));
  }
  for (const Table& t : tables) {
    statements.push_back(nightly_run::restore_statement(t.live, suffix));
  }
  return statements;
}

// Executes `statements` through the consultation module; false (said on
// console.err) at the first that fails.
bool execute_restore(const std::vector<std::string>& statements, Console& console) {
  ConsultaClosed closing;
  Conexao2.abrir();
  for (const std::string& statement : statements) {
    try {
      sql = statement;
      Conexao2.cn->Execute(sql);
    } catch (const Failure& f) {
      console.err << "velmora-ctl restore: '" << statement << "' failed: " << failure_text(f)
                  << "; once the cause is mended, run the same restore again (it re-creates "
                     "whichever table is missing)\n";
      return false;
    }
  }
  Conexao2.fechar();
  return true;
}

int perform(const Arguments& arguments, Console& console) {
  const std::string suffix = *arguments.value("suffix");
  if (!is_snapshot_suffix(suffix)) {
    throw UsageError(
        "--suffix must read yyyy_mm_dd (or yyyy_mm_dd_HHMMSS for a pair kept aside), "
        "not '" +
        suffix + "'");
  }
  auto lock = LockFile::try_take(run_lock_path(), "velmora-ctl restore");
  if (!lock) {
    const auto holder = lock_holder(run_lock_path());
    console.err << "velmora-ctl restore: a run is in progress on these databases ("
                << (holder ? holder->program + ", pid " + std::to_string(holder->pid) : "?")
                << "); nothing was changed\n";
    return kFailure;
  }
  const std::optional<std::vector<Table>> tables = find_pair(suffix, console);
  if (!tables || !agreed(*tables, arguments.has("yes"), console)) return kFailure;
  if (!execute_restore(restore_statements(*tables, suffix), console)) return kFailure;
  for (const Table& t : *tables) {
    console.out << t.live << ": " << t.snapshot_rows << " rows from " << t.snapshot << "\n";
  }
  return kSuccess;
}

}  // namespace

Command restore_command() {
  return {"restore",
          "re-create the consultation tables from a snapshot pair",
          "Re-creates cons_estagiario and cons_pagamento from the snapshot pair with the\n"
          "given suffix, with the statements a failed night uses to put them back (drop, then\n"
          "select-into). It checks first that both snapshots exist and otherwise changes\n"
          "nothing. On a terminal it asks for confirmation unless --yes is given; elsewhere\n"
          "--yes is needed. This is the recovery from a night that stopped half-way: restore\n"
          "the pair of that night's date minus one day (velmora-ctl status names it).\n",
          {{"suffix", "yyyy_mm_dd", "the snapshot pair, e.g. 2026_12_07", true},
           {"yes", "", "do not ask for confirmation"}},
          perform};
}

}  // namespace velmora::ctl
