#include "app/run/nightly_run.h"

#include <exception>
#include <iostream>
#include <optional>
#include <utility>

#include "app/run/process_locks.h"
#include "core/clock.h"
#include "core/sql_text.h"
#include "db/conexao.h"
#include "notify/message_box.h"
#include "transfer/frmatualizacao.h"

namespace velmora {
namespace nightly_run {
namespace {

std::function<void(std::string_view)> g_closing_hook;

void before_closing(std::string_view module) {
  if (g_closing_hook) g_closing_hook(module);
}

// Assigns the statement to `sql` and executes it on `cn`, discarding rows.
void execute(Slot<Connection>& cn, std::string statement) {
  sql = std::move(statement);
  cn->Execute(sql);
}

// Anything other than a Failure that escapes a step is still a failure of
// the run: it must lead to the restore, not past it.
template <class F>
std::optional<Failure> attempt(F&& body) {
  try {
    body();
    return std::nullopt;
  } catch (const Failure& f) {
    return f;
  } catch (const std::exception& e) {
    return unexpected_failure(e);
  }
}

// Runs `body`, ignoring any failure it raises.
template <class F>
void ignoring_failures(F&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

// Empties the three connection slots whatever state they are in.
void close_all_connections() noexcept {
  try {
    CONEXAO.fechar();
  } catch (...) {
  }
  try {
    Conexao2.fechar();
  } catch (...) {
  }
  try {
    conexao3.fechar();
  } catch (...) {
  }
  CONEXAO.cn.reset();
  Conexao2.cn.reset();
  conexao3.cn.reset();
}

// Replaces the modal box for as long as it lives with one that notes the
// mail-failure box on the run lock while the box waits: the box holds the run
// until someone presses OK, and status must tell that from a run that hangs.
class NotingMailFailureBox {
 public:
  explicit NotingMailFailureBox(LockFile& run_lock) : installed_(message_boxes()) {
    MessageBoxes noting = installed_;
    noting.modal = [this, held = &run_lock](const std::string& text) {
      // Putting the installed boxes back destroys this function while it
      // runs: from there on only locals may be used.
      NotingMailFailureBox* const self = this;
      LockFile* const lock = held;
      lock->note_stage(lock_stage::kMailFailureBox);
      set_message_boxes(self->installed_);
      show_message_box(text);
      set_message_boxes(self->noting_);
      lock->note_stage(lock_stage::kFailureNotice);
    };
    noting_ = noting;
    set_message_boxes(std::move(noting));
  }
  ~NotingMailFailureBox() { set_message_boxes(installed_); }
  NotingMailFailureBox(const NotingMailFailureBox&) = delete;
  NotingMailFailureBox& operator=(const NotingMailFailureBox&) = delete;

 private:
  MessageBoxes installed_;
  MessageBoxes noting_;
};

class Run {
 public:
  Run(Frmatualizacao& form, LockFile* run_lock) : form_(form), run_lock_(run_lock) {}

  void perform() {
    std::optional<Failure> pending = attempt([this] { main_stage(); });
    if (!pending) {
      pending = attempt([this] { success_branch(); });
      if (!pending) return;
    }
    if (std::optional<Failure> branch_failure = attempt([&] { failure_branch(*pending); })) {
      fallback_after_failed_failure_branch(*pending);
      throw *branch_failure;
    }
  }

 private:
  // The start row, the snapshots and the two transfers. Records whether both
  // snapshots of this run exist, because only then may the failure branch
  // drop and re-create the live tables.
  void main_stage() {
    CONEXAO.abrir();
    execute(CONEXAO.cn, start_row_statement(run_date(), now_clock_text()));
    Conexao2.abrir();
    execute(Conexao2.cn, snapshot_statement("cons_estagiario", run_suffix()));
    execute(Conexao2.cn, snapshot_statement("cons_pagamento", run_suffix()));
    snapshots_taken_ = true;
    form_.transferir_estagiarios();
    form_.transferir_pagamentos();
  }

  void success_branch() {
    form_.erro_execucao = std::string(kSuccessText);
    excluir_tabela_anterior();
    finish();
  }

  // Failures here end the branch; perform() then falls back.
  void failure_branch(const Failure& failure) {
    form_.erro_execucao = outcome_text(failure);
    Conexao2.abrir();
    // Without both snapshots of this run there is nothing to restore from,
    // and the transfers have not touched the live tables yet. Nor may such a
    // run drop an older pair: the live tables may be missing or damaged (a
    // night before failed to put them back), and then the pair of two days
    // before may be the last good copy that a restore by hand needs. Every
    // night that fails this way keeps it, however many follow.
    if (snapshots_taken_) {
      execute(Conexao2.cn, drop_statement("cons_estagiario"));
      execute(Conexao2.cn, drop_statement("cons_pagamento"));
      execute(Conexao2.cn, restore_statement("cons_estagiario", run_suffix()));
      execute(Conexao2.cn, restore_statement("cons_pagamento", run_suffix()));
      excluir_tabela_anterior();
    }
    mail_sent_ = true;
    send_failure_notice();
    // A failed closing after a successful end row must not leave that row
    // saying " SEM ERRO" for a run whose rebuild was just given up.
    if (closing_started_ && !(CONEXAO.cn && CONEXAO.cn->IsOpen())) {
      CONEXAO.abrir();
    }
    finish();
  }

  // The end row and the closing of the three connections.
  void finish() {
    if (run_lock_) run_lock_->note_stage(lock_stage::kEndRow);
    form_.erro_execucao = without_apostrophes(form_.erro_execucao);
    execute(CONEXAO.cn, end_row_statement(now_clock_text(), form_.erro_execucao, run_date()));
    logged_outcome_ = form_.erro_execucao;
    closing_started_ = true;
    before_closing("CONEXAO");
    CONEXAO.fechar();
    before_closing("Conexao2");
    Conexao2.fechar();
    before_closing("conexao3");
    conexao3.fechar();
  }

  // The failure branch itself failed, most often because the consultation
  // server is gone and Conexao2 cannot be reopened to restore the tables.
  // The operators must still hear of the night and its start row still get
  // its end, so the e-mail (unless this run sent it), the end row with the
  // outcome of `original` on a fresh source connection, and the closing of
  // the connections are each tried on their own, a failure of one ignored.
  // An end row that the failure branch wrote already is not written again.
  void fallback_after_failed_failure_branch(const Failure& original) noexcept {
    if (!mail_sent_) {
      mail_sent_ = true;
      ignoring_failures([this] { send_failure_notice(); });
    }
    ignoring_failures([&] {
      const std::string outcome = without_apostrophes(outcome_text(original));
      if (logged_outcome_ == outcome) return;
      form_.erro_execucao = outcome;
      CONEXAO.abrir();
      execute(CONEXAO.cn, end_row_statement(now_clock_text(), form_.erro_execucao, run_date()));
    });
    close_all_connections();
  }

  void send_failure_notice() {
    if (!run_lock_) {
      CONEXAO.enviar_email();
      return;
    }
    run_lock_->note_stage(lock_stage::kFailureNotice);
    NotingMailFailureBox box(*run_lock_);
    CONEXAO.enviar_email();
  }

  // The date text, read from the clock for the start row and kept for the
  // end row, which finds its rows by date: the failure e-mail's box may stay
  // open past midnight, and the end row must still complete this run's row.
  const std::string& run_date() {
    if (!date_) date_ = today_text();
    return *date_;
  }

  // The snapshot suffix, read from the clock when the first snapshot is
  // taken and kept for the run: a run that goes on past midnight must
  // restore from the snapshots it took, not look for a pair that does not
  // exist after it has dropped the live tables.
  const std::string& run_suffix() {
    if (!suffix_) suffix_ = snapshot_suffix();
    return *suffix_;
  }

  Frmatualizacao& form_;
  LockFile* run_lock_;
  std::optional<std::string> date_;
  std::optional<std::string> suffix_;
  bool snapshots_taken_ = false;
  bool closing_started_ = false;
  // The failure branch has called the e-mail step (which is never retried).
  bool mail_sent_ = false;
  // What the end row wrote into the run log, once it has been written.
  std::optional<std::string> logged_outcome_;
};

// Marks the window object's run as under way for as long as it lives.
class InProgress {
 public:
  explicit InProgress(Frmatualizacao& form) : form_(form) { form_.run_in_progress = true; }
  ~InProgress() { form_.run_in_progress = false; }
  InProgress(const InProgress&) = delete;
  InProgress& operator=(const InProgress&) = delete;

 private:
  Frmatualizacao& form_;
};

}  // namespace

std::string start_row_statement(std::string_view date, std::string_view time) {
  return "Insert into vlmr_logtransferencia(data,hora_inicial)values('" + quoted(date) + "','" +
         quoted(time) + " ')";
}

std::string snapshot_statement(std::string_view table, std::string_view suffix) {
  return "Select * into " + std::string(table) + "_" + std::string(suffix) + " from " +
         std::string(table) + " ";
}

std::string drop_statement(std::string_view table) { return " Drop table " + std::string(table); }

std::string restore_statement(std::string_view table, std::string_view suffix) {
  return "Select * into " + std::string(table) + " from " + std::string(table) + "_" +
         std::string(suffix);
}

std::string end_row_statement(std::string_view time, std::string_view outcome,
                              std::string_view date) {
  return "Update vlmr_logtransferencia set hora_final = '" + quoted(time) + " ',erro = '" +
         quoted(outcome) + "'" + " where data ='" + quoted(date) + "' ";
}

std::string outcome_text(const Failure& failure) {
  return velmora::outcome_text(failure.number(), failure.description());
}

std::string without_apostrophes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != '\'') out += c;
  }
  return out;
}

std::string skipped_run_text(const std::optional<LockHolder>& holder) {
  std::string text = "A execução das " + std::string(kTriggerText) +
                     " não foi feita: outro processo estava alterando as tabelas de consulta";
  if (holder) text += " (" + holder->program + ", pid " + std::to_string(holder->pid) + ")";
  return text + ".";
}

std::string unhandled_failure_text(const Failure& failure) {
  return "Erro na atualização do Consulta Velmora: " + outcome_text(failure);
}

void perform_run(LockFile* run_lock) {
  InProgress guard(frmatualizacao);
  try {
    Run(frmatualizacao, run_lock).perform();
  } catch (const Failure& f) {
    close_all_connections();
    report_unhandled_failure(unhandled_failure_text(f));
  } catch (const std::exception& e) {
    close_all_connections();
    report_unhandled_failure(unhandled_failure_text(unexpected_failure(e)));
  }
}

void set_closing_hook_for_testing(std::function<void(std::string_view)> hook) {
  g_closing_hook = std::move(hook);
}

}  // namespace nightly_run

// A tick during a run (the e-mail's box runs a nested event loop) does
// nothing and is not remembered, whatever the clock says: the run in progress
// finishes first. A box left open past the next night's 00:30:00 therefore
// costs that night its run, as any night whose trigger second no tick sees;
// there is no catch-up.
void tempo_Timer() {
  using namespace nightly_run;
  Frmatualizacao& form = frmatualizacao;
  if (form.run_in_progress) return;
  if (now_clock_text() != kTriggerText) return;
  std::string today = today_text();
  if (form.last_run_date == today) return;
  form.last_run_date = std::move(today);
  // Another process changing the consultation tables of these databases
  // (velmora-ctl run-now, restore or seed) must not meet a run: each would
  // take or restore the other's snapshots. This night's run is left out and
  // said so, as any night whose trigger second no tick sees.
  std::optional<LockFile> run_lock;
  try {
    run_lock = LockFile::try_take(run_lock_path(), "velmora");
    if (!run_lock) {
      report_unhandled_failure(skipped_run_text(lock_holder(run_lock_path())));
      return;
    }
  } catch (const Failure& f) {
    // Without a usable lock directory the night still runs, as it did
    // before there was a lock.
    std::cerr << kApplicationTitle << ": " << f.description() << std::endl;
  }
  perform_run(run_lock ? &*run_lock : nullptr);
}

}  // namespace velmora
