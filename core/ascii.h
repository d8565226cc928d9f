#pragma once

#include <string_view>

// ASCII letter case. Only A-Z and a-z change: the bytes of UTF-8 text beyond
// ASCII stay as they are, and nothing depends on the process's locale
// (which Qt sets from the environment).
namespace velmora {

constexpr char lower_ascii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

constexpr char upper_ascii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
}

// True when `text` and `lower` are the same letters regardless of case;
// `lower` is already in lower case.
constexpr bool equals_lower_ascii(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (lower_ascii(text[k]) != lower[k]) return false;
  }
  return true;
}

}  // namespace velmora
