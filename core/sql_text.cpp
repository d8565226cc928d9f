#include "core/sql_text.h"

#include <cctype>

#include "core/failure.h"

namespace velmora {

void append_quoted(std::string& statement, std::string_view value) {
  // The values read from a database are refused at reading already
  // (text_of); this keeps any other text from cutting a statement short.
  if (value.find('\0') != std::string_view::npos) {
    throw Failure(failure_number::kTypeMismatch,
                  "Type mismatch: text with a NUL byte cannot be written into a statement");
  }
  for (std::size_t quote; (quote = value.find('\'')) != std::string_view::npos;) {
    statement.append(value.substr(0, quote + 1)).append(1, '\'');
    value.remove_prefix(quote + 1);
  }
  statement.append(value);
}

std::string quoted(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  append_quoted(out, value);
  return out;
}

bool is_number_text(std::string_view value, bool (*blank)(char)) {
  std::size_t i = 0;
  const std::size_t n = value.size();
  auto digit = [&](std::size_t k) { return std::isdigit(static_cast<unsigned char>(value[k])); };
  while (i < n && blank(value[i])) ++i;
  if (i < n && (value[i] == '+' || value[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && digit(i)) ++i, ++digits;
  if (i < n && value[i] == '.') {
    ++i;
    while (i < n && digit(i)) ++i, ++digits;
  }
  while (i < n && blank(value[i])) ++i;
  return digits > 0 && i == n;
}

bool is_bare_number(std::string_view value) {
  return is_number_text(value, [](char c) { return c == ' '; });
}

std::string bare_number(std::string_view value, std::string_view what) {
  if (!is_bare_number(value)) {
    throw type_mismatch(what, value, "a number");
  }
  return std::string(value);
}

std::string trim_blanks(std::string_view value) {
  const auto first = value.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = value.find_last_not_of(' ');
  return std::string(value.substr(first, last - first + 1));
}

}  // namespace velmora
