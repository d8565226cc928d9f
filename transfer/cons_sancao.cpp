#include "transfer/cons_sancao.h"

#include "core/clock.h"
#include "core/sql_text.h"
#include "db/conexao.h"
#include "transfer/frmatualizacao.h"

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

std::string commendation_lookup_statement(const std::string& matricula) {
  return "select * from Cons_Estagiarioelogio where matricula=" +
         bare_number(matricula, "registration number");
}

std::string commendation_insert_statement(const std::string& date, const std::string& matricula,
                                          const std::string& clock, const std::string& elogio,
                                          const std::string& sancao) {
  return std::string(kCommendationInsertHead) + date + "','" + quoted(matricula) + "','" + clock +
         "','" + quoted(elogio) + "','" + quoted(sancao) + "')";
}

std::string commendation_update_statement(const std::string& matricula, const std::string& elogio,
                                          const std::string& sancao) {
  return std::string(kCommendationUpdateHead) + quoted(elogio) + "',sancao='" + quoted(sancao) +
         "' where matricula= '" + quoted(matricula) + "'";
}

}  // namespace velmora
