#pragma once

#include <string>

namespace velmora {

// Text conversions between UTF-8 and UTF-16, the form of the ODBC driver
// manager's 2-byte SQLWCHAR. Invalid UTF-8 bytes become U+FFFD, and so do
// unpaired surrogates.
std::u16string utf16_from_utf8(const std::string& text);
std::string utf8_from_utf16(const std::u16string& text);

}  // namespace velmora
