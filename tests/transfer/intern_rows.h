#pragma once

#include <map>
#include <string>

// Source rows for the intern transfer tests, written as SQL literals so that
// a test can put a Null, a blank or an apostrophe exactly where it wants one.
namespace velmora::testing {

// The columns of vlmr_estagiario with the literals of an ordinary intern.
inline std::map<std::string, std::string> ordinary_intern(const std::string& matricula) {
  return {
      {"matricula", "'" + matricula + "'"},
      {"oficial", "'E'"},
      {"concurso", "''"},
      {"id_bolsa", "''"},
      {"nome", "'Intern " + matricula + "'"},
      {"sexo", "'1'"},
      {"filiacao", "'Parents'"},
      {"cpf", "'000.000.000-00'"},
      {"logradouro", "'Rua Um'"},
      {"Complemento", "''"},
      {"Numero", "'10'"},
      {"Bairro", "'Centro'"},
      {"cidade", "'Recife'"},
      {"uf", "'PE'"},
      {"cep", "'50000-000'"},
      {"telefone", "''"},
      {"celular", "''"},
      {"email", "''"},
      {"faculdade", "'UF'"},
      {"baifacu", "''"},
      {"cidadefacu", "''"},
      {"periodo", "'5'"},
      {"turno", "'1'"},
      {"prevcolacao", "NULL"},
      {"dtiniestagio", "'2025-01-02 00:00:00'"},
      {"dtfinestagio", "NULL"},
      {"situacao", "'1'"},
      {"tpdeslig", "''"},
      {"matanterior", "NULL"},
      {"sancao", "NULL"},
      {"elogio", "NULL"},
  };
}

// The insert of one vlmr_estagiario row from column literals.
inline std::string intern_insert(const std::map<std::string, std::string>& columns) {
  std::string names, values;
  for (const auto& [name, literal] : columns) {
    names += (names.empty() ? "" : ",") + name;
    values += (values.empty() ? "" : ",") + literal;
  }
  return "insert into vlmr_estagiario(" + names + ") values (" + values + ");";
}

// An ordinary intern with some columns replaced.
inline std::string intern_insert(const std::string& matricula,
                                 const std::map<std::string, std::string>& changes) {
  auto columns = ordinary_intern(matricula);
  for (const auto& [name, literal] : changes) columns[name] = literal;
  return intern_insert(columns);
}

}  // namespace velmora::testing
