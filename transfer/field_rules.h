#pragma once

#include <string>
#include <string_view>

#include "db/value.h"

namespace velmora::rules {

// How one source value becomes a text field of the working record. Each rule
// takes the value as the database client delivered it and the column's name
// (used only in failure descriptions). "Trimmed" removes leading and trailing
// U+0020 blanks only. A Null where the rule has no substitute throws
// Failure 94 naming the column; a value under a date rule that does not read
// as a date throws Failure 13 naming the column.

// T: the text of the value, trimmed. Null fails.
std::string rule_T(const Value& v, std::string_view column);
// T-null: as T, but Null gives "".
std::string rule_T_null(const Value& v, std::string_view column);
// D: the trimmed text read as a date, written "yyyy-mm-dd". Null fails.
std::string rule_D(const Value& v, std::string_view column);
// D-null: "" for Null or an empty text, otherwise as D.
std::string rule_D_null(const Value& v, std::string_view column);
// D-empty: "" when the trimmed text is empty, otherwise the value as a date
// text. A Null gives "" (a missing optional date must not cost the night).
std::string rule_D_empty(const Value& v, std::string_view column);
// N: "0" when the trimmed text is empty, otherwise the text, not trimmed.
// Null fails.
std::string rule_N(const Value& v, std::string_view column);
// K: "" for Null or a trimmed text that is empty, otherwise the text, not
// trimmed.
std::string rule_K(const Value& v, std::string_view column);
// R: the text of the value, not trimmed. Null fails.
std::string rule_R(const Value& v, std::string_view column);

// A value read as a date and written "yyyy-mm-dd" (a time of day dropped).
// Native dates always read; texts read when they are ISO 8601 dates or
// date-times ("2007-03-02", "2007-03-02 14:30:00", "2007-03-02T14:30:00")
// or the regional day-first form "02/03/2007". Empty text gives "".
std::string date_text_of(const Value& v, std::string_view column);

// Code tables, applied to the trimmed text the field already holds; codes
// compare exactly, letter case included.
// Admission: "O" -> "Concursado no " + concurso; "E","X" -> "Não Concursado";
// "C" -> "Convênio"; "S" -> "Não Jurídico"; anything else unchanged.
std::string admission_text(const std::string& code, const std::string& concurso);
// Sex: "0" -> "", "1" -> "Masculino", "2" -> "Feminino"; else unchanged.
std::string sex_text(const std::string& code);
// Shift: "1" -> "Manhã"; anything else, empty included, -> "Tarde".
std::string shift_text(const std::string& code);
// Status: "1" Ativo, "2" Desligado, "3" Interrupcao, "4" Suspenso; else unchanged.
std::string status_text(const std::string& code);

}  // namespace velmora::rules
