#include "core/clock.h"
#include "db/conexao.h"
#include "transfer/frmatualizacao.h"
#include "transfer/intern_statements.h"

namespace velmora {

void Frmatualizacao::Cons_Sancao() {
  const RegEstagiario& r = reg_estagiario;
  sql = commendation_lookup_statement(r.matricula);
  Conexao2.rs = Conexao2.cn->Execute(sql);
  if (Conexao2.rs->Eof()) {
    // Date and time are those of the moment the row is written.
    sql = commendation_insert_statement(today_text(), r.matricula, now_clock_text(), r.elogio,
                                        r.sancao);
  } else {
    sql = commendation_update_statement(r.matricula, r.elogio, r.sancao);
  }
  Conexao2.cn->Execute(sql);
}

}  // namespace velmora
