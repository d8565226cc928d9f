#pragma once

#include <string>

#include "transfer/frmatualizacao.h"

namespace velmora {

// The statement texts of the intern transfer and of the commendation and
// sanction sync, built from their values alone. Values written between single
// quotes have their quotes doubled; values written bare must read as numbers,
// otherwise Failure 13 is thrown before any statement can be sent.

// L1: the description of selection exam `concurso` (quoted).
std::string exam_lookup_statement(const std::string& concurso);
// L2: the description of grant `bolsa` (bare; throws for a non-number).
std::string grant_lookup_statement(const std::string& bolsa);
// L3: the intern's assignment with the largest id_desig (matricula quoted).
std::string assignment_lookup_statement(const std::string& matricula);
// L4: the intern's interruption with the largest sequencia (matricula quoted).
std::string interruption_lookup_statement(const std::string& matricula);
// The insert of one cons_estagiario row from the 36 columns of `reg`;
// numero is written bare (throws for a non-number), every other value quoted.
std::string intern_insert_statement(const RegEstagiario& reg);

// The look-up of an intern's cons_estagiarioelogio row, `matricula` bare
// (throws for a non-number).
std::string commendation_lookup_statement(const std::string& matricula);
// The insert of a new cons_estagiarioelogio row dated `date` ("yyyy-mm-dd")
// at `clock` ("HH:MM:SS").
std::string commendation_insert_statement(const std::string& date, const std::string& matricula,
                                          const std::string& clock, const std::string& elogio,
                                          const std::string& sancao);
// The update of the two texts of an intern's existing rows.
std::string commendation_update_statement(const std::string& matricula, const std::string& elogio,
                                          const std::string& sancao);

}  // namespace velmora
