#pragma once

#include <string>
#include <string_view>

// The statements of the commendation and sanction sync
// (Frmatualizacao::Cons_Sancao), built from their values alone. Values
// written between single quotes have their quotes doubled.
namespace velmora {

// The look-up of an intern's cons_estagiarioelogio row, `matricula` bare
// (throws for a non-number).
std::string commendation_lookup_statement(const std::string& matricula);
// How the insert and the update below begin; their values follow.
inline constexpr std::string_view kCommendationInsertHead =
    "insert into cons_estagiarioelogio(data,matricula,hora,elogioc,sancao) values('";
inline constexpr std::string_view kCommendationUpdateHead =
    "update cons_estagiarioelogio set elogioc ='";

// The insert of a new cons_estagiarioelogio row dated `date` ("yyyy-mm-dd")
// at `clock` ("HH:MM:SS").
std::string commendation_insert_statement(const std::string& date, const std::string& matricula,
                                          const std::string& clock, const std::string& elogio,
                                          const std::string& sancao);
// The update of the two texts of an intern's existing rows.
std::string commendation_update_statement(const std::string& matricula, const std::string& elogio,
                                          const std::string& sancao);

}  // namespace velmora
