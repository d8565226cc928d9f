#include "db/conexao.h"
#include "transfer/field_rules.h"
#include "transfer/frmatualizacao.h"
#include "transfer/payment_statements.h"

namespace velmora {

void Frmatualizacao::transferir_pagamentos() {
  sql = "Delete from cons_pagamento";
  Conexao2.cn->Execute(sql);

  sql = "Select * from vlmr_pagamento";
  CONEXAO.rs = CONEXAO.cn->Execute(sql);

  while (!CONEXAO.rs->Eof()) {
    const Fields row = CONEXAO.rs->Fields();
    reg_estagiario.matricula = rules::rule_T(row.Item("matricula").Value(), "matricula");
    anomes = rules::rule_T(row.Item("anomes").Value(), "anomes");
    valor = rules::rule_T(row.Item("valor").Value(), "valor");
    // A Null processing date is written as '' like an empty one.
    dtproc = rules::rule_D_empty(row.Item("Dtproc").Value(), "Dtproc");

    write_payment_insert(sql, reg_estagiario.matricula, anomes, valor, dtproc);
    Conexao2.cn->Execute(sql);

    CONEXAO.rs->MoveNext();
  }
}

}  // namespace velmora
