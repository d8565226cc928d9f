#pragma once

#include <string>

namespace velmora {

// The insert of one cons_pagamento row, every value written between single
// quotes with its quotes doubled.
std::string payment_insert_statement(const std::string& matricula, const std::string& anomes,
                                     const std::string& valor, const std::string& dtproc);

}  // namespace velmora
