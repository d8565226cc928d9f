#include "tools/catalog_tables.h"

#include <array>
#include <stdexcept>

namespace velmora::catalogs {
namespace {

constexpr bool kNotNull = false;

// --- Velmora: the source database ---------------------------------------

constexpr Column kLog[] = {
    {"data", "varchar(10)", kNotNull},
    {"hora_inicial", "varchar(10)"},
    {"hora_final", "varchar(10)"},
    // Wide enough for a database message that quotes a whole intern insert.
    {"erro", "varchar(max)"},
};
constexpr Index kLogIndexes[] = {{"ix_vlmr_logtransferencia_data", "data"}};

// The grant code is text: the intern transfer reads it by the text rule, an
// empty code means no grant (no look-up), and it is checked to be a number
// only when it is written bare into the grant look-up.
constexpr Column kIntern[] = {
    {"matricula", "varchar(20)", kNotNull},
    {"oficial", "char(1)", kNotNull},
    {"concurso", "varchar(20)", kNotNull},
    {"id_bolsa", "varchar(10)", kNotNull},
    {"nome", "varchar(100)", kNotNull},
    {"sexo", "char(1)", kNotNull},
    {"filiacao", "varchar(200)", kNotNull},
    {"cpf", "varchar(14)", kNotNull},
    {"logradouro", "varchar(100)", kNotNull},
    {"Complemento", "varchar(50)", kNotNull},
    {"Numero", "varchar(10)", kNotNull},
    {"Bairro", "varchar(50)", kNotNull},
    {"cidade", "varchar(50)", kNotNull},
    {"uf", "char(2)", kNotNull},
    {"cep", "varchar(9)", kNotNull},
    {"telefone", "varchar(20)", kNotNull},
    {"celular", "varchar(20)", kNotNull},
    {"email", "varchar(100)", kNotNull},
    {"faculdade", "varchar(100)", kNotNull},
    {"baifacu", "varchar(50)", kNotNull},
    {"cidadefacu", "varchar(50)", kNotNull},
    {"periodo", "varchar(10)", kNotNull},
    {"turno", "char(1)", kNotNull},
    {"prevcolacao", "datetime"},
    {"dtiniestagio", "datetime"},
    {"dtfinestagio", "datetime"},
    {"situacao", "char(1)", kNotNull},
    {"tpdeslig", "varchar(50)", kNotNull},
    {"matanterior", "varchar(20)"},
    {"sancao", "varchar(2000)"},
    {"elogio", "varchar(2000)"},
};

constexpr Column kExam[] = {
    {"concurso", "varchar(20)", kNotNull},
    {"Descricao", "varchar(100)", kNotNull},
};

constexpr Column kGrant[] = {
    {"id_bolsa", "int", kNotNull},
    {"descricao", "varchar(100)", kNotNull},
};

constexpr Column kAssignment[] = {
    {"id_desig", "int", kNotNull},         {"matricula", "varchar(20)", kNotNull},
    {"dt_ini", "datetime", kNotNull},      {"dt_fin", "datetime"},
    {"Id_orgao", "varchar(20)", kNotNull},
};
constexpr Index kAssignmentIndexes[] = {
    {"ix_vlmr_estagiariodesignacao_matricula", "matricula,id_desig"}};

constexpr Column kInterruption[] = {
    {"sequencia", "int", kNotNull},
    {"matricula", "varchar(20)", kNotNull},
    {"dtinicio", "datetime", kNotNull},
    {"dtprevfim", "datetime"},
    {"dtfim", "datetime"},
    {"motivo", "varchar(200)", kNotNull},
};

constexpr Column kPayment[] = {
    {"matricula", "varchar(20)", kNotNull},
    {"anomes", "char(6)", kNotNull},
    {"valor", "decimal(12,2)", kNotNull},
    {"Dtproc", "datetime"},
};

// --- consulta_tessarin: flat display texts ------------------------------

constexpr Column kConsIntern[] = {
    {"matricula", "varchar(20)"},
    {"oficial", "varchar(150)"},
    {"concurso", "varchar(100)"},
    {"bolsa", "varchar(100)"},
    {"orgao", "varchar(300)"},
    {"nome", "varchar(100)"},
    {"sexo", "varchar(20)"},
    {"filiacao", "varchar(200)"},
    {"cpf", "varchar(14)"},
    {"logradouro", "varchar(100)"},
    {"numero", "int"},
    {"complemento", "varchar(50)"},
    {"bairro", "varchar(50)"},
    {"cidade", "varchar(50)"},
    {"uf", "varchar(2)"},
    {"cep", "varchar(9)"},
    {"telefone", "varchar(20)"},
    {"celular", "varchar(20)"},
    {"email", "varchar(100)"},
    {"faculdade", "varchar(100)"},
    {"baifacu", "varchar(50)"},
    {"cidadefacu", "varchar(50)"},
    {"periodo", "varchar(10)"},
    {"turno", "varchar(10)"},
    {"prevcolacao", "varchar(10)"},
    {"dtiniestagio", "varchar(10)"},
    {"dtfinestagio", "varchar(10)"},
    {"Dt_inidesignacao", "varchar(10)"},
    {"Dt_findesignacao", "varchar(10)"},
    {"situacao", "varchar(20)"},
    {"tpdeslig", "varchar(50)"},
    {"matanterior", "varchar(20)"},
    {"Dt_ininterrupcao", "varchar(10)"},
    {"Dt_prevfinterrupcao", "varchar(10)"},
    {"Dt_finterrupcao", "varchar(10)"},
    {"motivo_interrupcao", "varchar(200)"},
};

constexpr Column kConsPayment[] = {
    {"matricula", "varchar(20)"},
    {"anomes", "varchar(6)"},
    {"valor", "varchar(20)"},
    {"Dtproc", "varchar(10)"},
};

// The registration number is a number here: the commendation sync looks it
// up and writes it bare.
constexpr Column kCommendation[] = {
    {"data", "varchar(10)", kNotNull}, {"matricula", "int", kNotNull},
    {"hora", "varchar(8)", kNotNull},  {"elogioc", "varchar(2000)"},
    {"sancao", "varchar(2000)"},
};
constexpr Index kCommendationIndexes[] = {{"ix_cons_estagiarioelogio_matricula", "matricula"}};

// --- CALVERIN: the organiser catalog ------------------------------------

constexpr Column kGroup[] = {
    {"grupo", "int", kNotNull},
    {"descricao", "varchar(100)", kNotNull},
};

constexpr Column kUnit[] = {
    {"orgao", "int", kNotNull},        {"nome", "varchar(100)", kNotNull},
    {"qorv", "varchar(20)", kNotNull}, {"regiao", "varchar(20)", kNotNull},
    {"grupo", "int", kNotNull},
};
constexpr Index kUnitIndexes[] = {{"ix_orgaos_qorv", "qorv", true}};

constexpr std::array kTables{
    Table{"Velmora", "vlmr_logtransferencia",
          "The run log: one row a night, found again by its date.", kLog, "", kLogIndexes},
    Table{"Velmora", "vlmr_estagiario", "The interns.", kIntern, "matricula", {}},
    Table{"Velmora", "vlmr_concurso", "Selection exams, looked up by code.", kExam, "concurso", {}},
    Table{"Velmora", "vlmr_bolsaauxilio", "Grants, looked up by number.", kGrant, "id_bolsa", {}},
    Table{"Velmora", "vlmr_estagiariodesignacao",
          "Assignments to units; an intern's latest is looked up by registration number.",
          kAssignment, "id_desig", kAssignmentIndexes},
    Table{"Velmora",
          "vlmr_estagiariointerrupcao",
          "Interruptions; an intern's latest is looked up by registration number.",
          kInterruption,
          "matricula,sequencia",
          {}},
    Table{"Velmora",
          "vlmr_pagamento",
          "A row per intern and month.",
          kPayment,
          "matricula,anomes",
          {}},
    Table{"consulta_tessarin",
          "cons_estagiario",
          "Emptied and refilled every night. No key: a failed night re-creates it from its "
          "snapshot with select-into, which copies columns and rows but no key or index.",
          kConsIntern,
          "",
          {}},
    Table{"consulta_tessarin",
          "cons_pagamento",
          "Emptied and refilled like cons_estagiario.",
          kConsPayment,
          "",
          {}},
    Table{"consulta_tessarin", "cons_estagiarioelogio",
          "Never emptied: one row per intern with a commendation or a sanction.", kCommendation, "",
          kCommendationIndexes},
    Table{"CALVERIN", "orgaos", "Units, looked up by their qorv code or their number.", kUnit,
          "orgao", kUnitIndexes},
    Table{"CALVERIN",
          "gruposorgaos",
          "Groups, whose description follows a unit's name.",
          kGroup,
          "grupo",
          {}},
};

std::string type_in(std::string_view type, Dialect dialect) {
  if (type == "varchar(max)") return "text";
  if (dialect == Dialect::kPostgres) {
    if (type == "int") return "integer";
    if (type == "datetime") return "timestamp";
  }
  return std::string(type);
}

std::string table_statements(const Table& t, Dialect dialect, Constraints constraints) {
  const bool installation = constraints == Constraints::kInstallation;
  std::string out = "-- " + std::string(t.about) + "\nCREATE TABLE " + std::string(t.name) + " (";
  const char* separator = "\n  ";
  for (const Column& c : t.columns) {
    out += separator + std::string(c.name) + " " + type_in(c.type, dialect);
    if (installation) out += c.nullable ? " NULL" : " NOT NULL";
    separator = ",\n  ";
  }
  const std::string key_name = "pk_" + std::string(t.name);
  if (installation && !t.key.empty()) {
    out += separator + std::string("CONSTRAINT ") + key_name + " PRIMARY KEY (" +
           std::string(t.key) + ")";
  }
  out += "\n);\n";
  if (!installation && !t.key.empty()) {
    out += "CREATE INDEX " + key_name + " ON " + std::string(t.name) + " (" + std::string(t.key) +
           ");\n";
  }
  for (const Index& i : t.indexes) {
    const bool unique = installation && i.unique;
    out += std::string(unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") + std::string(i.name) +
           " ON " + std::string(t.name) + " (" + std::string(i.columns) + ");\n";
  }
  return out;
}

}  // namespace

std::span<const Table> tables() { return kTables; }

const Table& table(std::string_view name) {
  for (const Table& t : kTables) {
    if (t.name == name) return t;
  }
  throw std::out_of_range("no table " + std::string(name) + " is described");
}

std::vector<std::string> column_names(const Table& table) {
  std::vector<std::string> out;
  for (const Column& c : table.columns) out.emplace_back(c.name);
  return out;
}

std::string column_list(const Table& table) {
  std::string out;
  for (const Column& c : table.columns) {
    if (!out.empty()) out += ",";
    out += c.name;
  }
  return out;
}

std::string schema(std::string_view catalog, Dialect dialect, Constraints constraints) {
  std::string out;
  for (const Table& t : kTables) {
    if (t.catalog == catalog) out += table_statements(t, dialect, constraints);
  }
  return out;
}

}  // namespace velmora::catalogs
