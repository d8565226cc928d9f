#include "app/run/nightly_run.h"
#include "core/clock.h"
#include "db/conexao.h"

namespace velmora {

std::string nightly_run::base_table_question(std::string_view name) {
  return "SELECT * FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_TYPE = 'BASE TABLE' and TABLE_NAME= "
         "'" +
         std::string(name) + "'";
}

namespace {

// Drops base_<retention date> when it exists as a base table (a view of the
// same name is left alone). The date is read afresh for each statement.
void drop_retained_snapshot(const std::string& base) {
  sql = nightly_run::base_table_question(base + "_" + retention_suffix());
  Conexao2.rs = Conexao2.cn->Execute(sql);
  if (!Conexao2.rs->Eof()) {
    sql = "Drop table " + base + "_" + retention_suffix();
    Conexao2.cn->Execute(sql);
  }
}

}  // namespace

void excluir_tabela_anterior() {
  drop_retained_snapshot("cons_estagiario");
  drop_retained_snapshot("cons_pagamento");
}

}  // namespace velmora
