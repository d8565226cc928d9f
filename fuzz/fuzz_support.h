#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// Helpers shared by the fuzz targets: a broken invariant prints what broke
// and on which input, then aborts, which libFuzzer reports as a crash and
// keeps the input as an artifact.
namespace velmora::fuzz {

[[noreturn]] inline void broken(std::string_view what, std::string_view detail) {
  std::fprintf(stderr, "broken invariant: %.*s\n  %.*s\n", static_cast<int>(what.size()),
               what.data(), static_cast<int>(detail.size()), detail.data());
  std::abort();
}

inline void check(bool holds, std::string_view what, std::string_view detail = {}) {
  if (!holds) broken(what, detail);
}

// A statement read the way a database reads it: every single-quoted literal
// ('...' with '' standing for one quote inside) taken out as its value, and
// the statement's own text with each literal written as ''.
struct Literals {
  std::vector<std::string> values;
  std::string skeleton;
  bool all_closed = true;
};

inline Literals single_quoted_literals(std::string_view statement) {
  Literals out;
  for (std::size_t i = 0; i < statement.size(); ++i) {
    if (statement[i] != '\'') {
      out.skeleton += statement[i];
      continue;
    }
    std::string value;
    std::size_t j = i + 1;
    bool closed = false;
    while (j < statement.size()) {
      if (statement[j] == '\'') {
        if (j + 1 < statement.size() && statement[j + 1] == '\'') {
          value += '\'';
          j += 2;
          continue;
        }
        closed = true;
        break;
      }
      value += statement[j++];
    }
    out.all_closed = out.all_closed && closed;
    out.values.push_back(std::move(value));
    out.skeleton += "''";
    i = j;
  }
  return out;
}

}  // namespace velmora::fuzz
