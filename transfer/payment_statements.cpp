#include "transfer/payment_statements.h"

#include "core/sql_text.h"

namespace velmora {

std::string payment_insert_statement(const std::string& matricula, const std::string& anomes,
                                     const std::string& valor, const std::string& dtproc) {
  return "insert into Cons_pagamento(matricula,anomes,valor,Dtproc )values ('" + quoted(matricula) +
         "','" + quoted(anomes) + "','" + quoted(valor) + "','" + quoted(dtproc) + "')";
}

}  // namespace velmora
