#pragma once

#include <string>
#include <string_view>

#include "transfer/frmatualizacao.h"

namespace velmora {

// The statement texts of the intern transfer, built from their values alone. Values written between
// single quotes have their quotes doubled; values written bare must read as numbers, otherwise
// Failure 13 is thrown before any statement can be sent.

// The description of selection exam `concurso` (quoted).
std::string exam_lookup_statement(const std::string& concurso);
// The description of grant `bolsa` (bare; throws for a non-number).
std::string grant_lookup_statement(const std::string& bolsa);
// The intern's assignment with the largest id_desig (matricula quoted).
std::string assignment_lookup_statement(const std::string& matricula);
// The intern's interruption with the largest sequencia (matricula quoted).
std::string interruption_lookup_statement(const std::string& matricula);
// How every intern insert begins; its column list follows.
inline constexpr std::string_view kInternInsertHead = "insert into Cons_estagiario(";
// The insert of one cons_estagiario row from the 36 columns of `reg`, laid
// out by transfer/intern_fields.h: numero is written bare (throws for a
// non-number), every other value quoted.
std::string intern_insert_statement(const RegEstagiario& reg);

}  // namespace velmora
