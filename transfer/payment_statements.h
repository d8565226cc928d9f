#pragma once

#include <string>
#include <string_view>

namespace velmora {

// How every payment insert begins; the first value follows.
inline constexpr std::string_view kPaymentInsertHead =
    "insert into Cons_pagamento(matricula,anomes,valor,Dtproc )values ('";

// Replaces `statement` with the insert of one cons_pagamento row, every value
// written between single quotes with its quotes doubled. Writing into the
// caller's string keeps its storage from one row to the next.
void write_payment_insert(std::string& statement, const std::string& matricula,
                          const std::string& anomes, const std::string& valor,
                          const std::string& dtproc);

// The same insert as a string of its own.
std::string payment_insert_statement(const std::string& matricula, const std::string& anomes,
                                     const std::string& valor, const std::string& dtproc);

}  // namespace velmora
