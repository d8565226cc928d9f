#include "core/sql_text.h"
#include "db/conexao.h"

namespace velmora {

namespace {

constexpr const char* kUnitSelect =
    "select a.orgao, a.nome, a.qorv, a.regiao, b.descricao from orgaos a, gruposorgaos b "
    "where a.grupo=b.grupo and ";

// A column of the unit row as trimmed text; a Null counts as empty text.
std::string trimmed_or_empty(const Recordset& rs, const std::string& column) {
  const Value& value = rs.Fields().Item(column).Value();
  return is_null(value) ? std::string() : trim_blanks(text_of(value, column));
}

}  // namespace

void Conexao3Module::buscar_orgao(const std::string& code) {
  if (code.empty()) {
    nome_orgao.clear();
    return;
  }
  abrir();
  // The statements live in a text of their own so the caller's `sql` survives.
  std::string statement = std::string(kUnitSelect) + "a.qorv='" + quoted(code) + "'";
  rs = cn->Execute(statement);
  if (rs->Eof()) {
    statement = std::string(kUnitSelect) + "a.orgao=" + bare_number(code, "unit code");
    rs = cn->Execute(statement);
  }
  if (rs->Eof()) {
    nome_orgao.clear();
    return;
  }
  const std::string nome = trimmed_or_empty(rs.get(), "nome");
  nome_orgao = nome + " " + trimmed_or_empty(rs.get(), "descricao");
}

}  // namespace velmora
