#pragma once

#include <string>
#include <string_view>

namespace velmora {

// A value to be placed between single quotes in a statement: every single
// quote it contains is doubled, so that "D'Ávila" is stored as it is and can
// neither break nor change the statement. Values without quotes are returned
// unchanged, so statements for ordinary values keep their exact text. A
// value holding a NUL byte throws Failure 13: no statement may carry one.
std::string quoted(std::string_view value);

// Appends quoted(value) to `statement`, without a string of its own; throws
// as quoted() does, leaving `statement` unchanged.
void append_quoted(std::string& statement, std::string_view value);

// True when `value` reads as a number: optional blanks, an optional sign,
// digits with an optional decimal part and at least one digit ("12",
// " -3.5 ", "7.", ".5"), optional blanks; `blank` says what counts as a
// blank.
bool is_number_text(std::string_view value, bool (*blank)(char));

// is_number_text with U+0020 blanks only.
bool is_bare_number(std::string_view value);

// A value to be written bare (unquoted) into a statement. Returns it
// unchanged when it reads as a number; otherwise throws Failure (13, naming
// `what` and the value), before any statement is sent, so that no text can
// ever be pasted into a statement unquoted.
std::string bare_number(std::string_view value, std::string_view what);

// Removes leading and trailing U+0020 blanks only; tabs and other white
// space stay, and so do blanks inside the value.
std::string trim_blanks(std::string_view value);

}  // namespace velmora
