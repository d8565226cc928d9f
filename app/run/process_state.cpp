#include "app/run/process_state.h"

#include "app/run/nightly_run.h"
#include "core/clock.h"
#include "core/deployment.h"
#include "db/client.h"
#include "db/conexao.h"
#include "db/sqlite_session.h"
#include "notify/mail_sender.h"
#include "notify/message_box.h"
#include "transfer/frmatualizacao.h"

namespace velmora {

void reset_process_state_for_testing() {
  set_statement_observer(nullptr);
  CONEXAO = ConexaoModule{};
  Conexao2 = Conexao2Module{};
  conexao3 = Conexao3Module{};
  sql.clear();
  // The slots' connections are closed by now; their kept handles go too.
  clear_idle_sqlite_handles();
  frmatualizacao = Frmatualizacao{};
  set_clock(nullptr);
  set_deployment_for_testing(nullptr);
  set_message_boxes({});
  set_mail_sender_factory({});
  set_mail_timeouts_for_testing(nullptr);
  nightly_run::set_closing_hook_for_testing({});
}

}  // namespace velmora
