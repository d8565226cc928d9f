#include "transfer/intern_statements.h"

#include "core/sql_text.h"
#include "transfer/intern_fields.h"

namespace velmora {

std::string exam_lookup_statement(const std::string& concurso) {
  return "Select Descricao from vlmr_concurso where concurso='" + quoted(concurso) + "'";
}

std::string grant_lookup_statement(const std::string& bolsa) {
  return "select descricao from vlmr_bolsaauxilio where id_bolsa = " +
         bare_number(bolsa, "grant code");
}

std::string assignment_lookup_statement(const std::string& matricula) {
  return "select a.* from vlmr_estagiariodesignacao a where a.matricula = '" + quoted(matricula) +
         "'" + "and a.id_desig=(select max(b.id_desig) from vlmr_estagiariodesignacao b " +
         " where b.matricula=a.matricula)";
}

std::string interruption_lookup_statement(const std::string& matricula) {
  return "select a.* from vlmr_estagiariointerrupcao a where a.matricula = '" + quoted(matricula) +
         "' " + "and a.sequencia=(select max(b.sequencia) from vlmr_estagiariointerrupcao b " +
         " where b.matricula=a.matricula)";
}

std::string intern_insert_statement(const RegEstagiario& r) {
  using intern_fields::kColumns;
  std::string s(kInternInsertHead);
  for (std::size_t i = 0; i < kColumns.size(); ++i) {
    if (i > 0) s += ",";
    s += kColumns[i].name;
    if (kColumns[i].blank_after_name) s += " ";
  }
  s += ")values  (";
  for (std::size_t i = 0; i < kColumns.size(); ++i) {
    const auto& column = kColumns[i];
    if (i > 0) s += kColumns[i - 1].blank_after_value ? ", " : ",";
    const std::string& value = r.*column.member;
    if (column.bare) {
      s += bare_number(value, column.name);
    } else {
      s += '\'';
      append_quoted(s, value);
      s += '\'';
    }
  }
  s += ")";
  return s;
}

}  // namespace velmora
