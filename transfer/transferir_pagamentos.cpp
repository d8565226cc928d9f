#include "core/failure.h"
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

  for (long number = 1; !CONEXAO.rs->Eof(); ++number) {
    // A failure while this payment is read or written names it by its
    // intern's matricula and its month, as far as they are read, so that
    // the operator can find the row.
    int identified = 0;  // 1: matricula read, 2: anomes too
    try {
      const Fields row = CONEXAO.rs->Fields();
      reg_estagiario.matricula = rules::rule_T(row.Item("matricula").Value(), "matricula");
      identified = 1;
      anomes = rules::rule_T(row.Item("anomes").Value(), "anomes");
      identified = 2;
      valor = rules::rule_T(row.Item("valor").Value(), "valor");
      // A Null processing date is written as '' like an empty one.
      dtproc = rules::rule_D_empty(row.Item("Dtproc").Value(), "Dtproc");

      write_payment_insert(sql, reg_estagiario.matricula, anomes, valor, dtproc);
      Conexao2.cn->Execute(sql);
    } catch (const Failure& failure) {
      std::string where = "row " + std::to_string(number) + " of vlmr_pagamento";
      if (identified >= 1 && !reg_estagiario.matricula.empty()) {
        where = "matricula " + shown_value(reg_estagiario.matricula);
        if (identified >= 2) where += ", anomes " + shown_value(anomes);
      }
      throw naming_row(failure, where);
    }

    CONEXAO.rs->MoveNext();
  }
}

}  // namespace velmora
