#include "transfer/payment_statements.h"

#include "core/sql_text.h"

namespace velmora {

void write_payment_insert(std::string& statement, const std::string& matricula,
                          const std::string& anomes, const std::string& valor,
                          const std::string& dtproc) {
  statement = kPaymentInsertHead;
  append_quoted(statement, matricula);
  statement += "','";
  append_quoted(statement, anomes);
  statement += "','";
  append_quoted(statement, valor);
  statement += "','";
  append_quoted(statement, dtproc);
  statement += "')";
}

std::string payment_insert_statement(const std::string& matricula, const std::string& anomes,
                                     const std::string& valor, const std::string& dtproc) {
  std::string statement;
  write_payment_insert(statement, matricula, anomes, valor, dtproc);
  return statement;
}

}  // namespace velmora
