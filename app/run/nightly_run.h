#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/run/process_locks.h"
#include "core/failure.h"

// The nightly run that the window's timer starts and the pure pieces it is
// built from; and the window's two procedures that this layer owns.
namespace velmora {

// The window's timer tick: performs the nightly run when the clock text
// reads "00:30:00", holding the run lock of app/run/process_locks.h; a night
// whose run lock another process holds is left out with a report. Reads and
// writes frmatualizacao's run guard (last_run_date, run_in_progress).
void tempo_Timer();

// Drops the snapshot pair of two days before today, where it exists, on
// Conexao2 through `sql`.
void excluir_tabela_anterior();

}  // namespace velmora

namespace velmora::nightly_run {

// The clock text at which a tick starts the night's run.
inline constexpr std::string_view kTriggerText = "00:30:00";
// Outcome text of a run without failure (its leading blank is part of it).
inline constexpr std::string_view kSuccessText = " SEM ERRO";

// Start row of the run log: `date` is the date text, `time` the clock text.
std::string start_row_statement(std::string_view date, std::string_view time);
// Select-into of the live table `table` into `table`_`suffix`.
std::string snapshot_statement(std::string_view table, std::string_view suffix);
// Drop of the live table `table`, with its leading blank.
std::string drop_statement(std::string_view table);
// Re-creates the live table `table` from `table`_`suffix`.
std::string restore_statement(std::string_view table, std::string_view suffix);
// The snapshot retention's question to the consultation catalog whether
// `name` exists as a base table: a row when it does, none otherwise (a view
// of that name gives none).
std::string base_table_question(std::string_view name);
// End row of the run log for every row of `date`; `outcome` must already be
// free of apostrophes.
std::string end_row_statement(std::string_view time, std::string_view outcome,
                              std::string_view date);

// "<number> - <description>", the number as a signed decimal.
std::string outcome_text(const Failure& failure);
// `text` with every apostrophe removed and every other character kept.
std::string without_apostrophes(std::string_view text);

// Text of the report for a night whose run was left out because `holder`
// (another process, when known) held the run lock.
std::string skipped_run_text(const std::optional<LockHolder>& holder);

// Text of the report for a failure that ended a run inside its failure
// branch.
std::string unhandled_failure_text(const Failure& failure);

// Performs one run now, whatever the clock says, and returns normally even
// when the run fails: the failure ends up in the run log and the failure
// e-mail goes out. When the failure branch itself fails, the e-mail (if not
// sent yet), the end row with the run's failure (on a freshly opened source
// connection) and the closings are still tried, each failure ignored, and
// the failure branch's failure goes to report_unhandled_failure. Reads and
// writes `sql`, the three connection modules and frmatualizacao's
// erro_execucao; marks frmatualizacao.run_in_progress while it runs. With
// `run_lock` (the run lock its caller holds), notes on it the stages that
// status reports: the failure notice, its mail-failure box, the end row.
void perform_run(LockFile* run_lock = nullptr);

// Tests only. Called with "CONEXAO", "Conexao2" or "conexao3" just before
// the run's last step closes that module's connection; a Failure thrown from
// it stands for a failing close, which neither database client can produce
// on demand. An empty function removes it.
void set_closing_hook_for_testing(std::function<void(std::string_view module)> hook);

}  // namespace velmora::nightly_run
