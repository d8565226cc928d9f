#include "db/sqlite_dialect.h"

#include <array>
#include <cctype>
#include <string_view>

#include "core/ascii.h"

namespace velmora {
namespace {

// `sql` with the inside of every quoted literal or quoted name ('...', "...",
// [...]) replaced by a character that is neither a letter nor a blank, so
// that the rewriting below sees only the statement's own words and never
// changes a value. The result has the same length as `sql`.
std::string without_quoted_parts(const std::string& sql) {
  std::string out = sql;
  char close = 0;
  for (std::size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (close == 0) {
      if (c == '\'' || c == '"')
        close = c;
      else if (c == '[')
        close = ']';
      continue;
    }
    if (c == close) {
      if (i + 1 < sql.size() && sql[i + 1] == close) {  // a doubled quote stays inside
        out[i] = out[i + 1] = '\x01';
        ++i;
        continue;
      }
      close = 0;
      continue;
    }
    out[i] = '\x01';
  }
  return out;
}

bool is_blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool is_name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// True when `word` (lower case) stands in `text` at `at`, in any letter case,
// followed by a blank.
bool word_at(const std::string& text, std::size_t at, std::string_view word) {
  if (at + word.size() >= text.size()) return false;
  return equals_lower_ascii(std::string_view(text).substr(at, word.size()), word) &&
         is_blank(text[at + word.size()]);
}

std::size_t skip_blanks(const std::string& text, std::size_t at) {
  while (at < text.size() && is_blank(text[at])) ++at;
  return at;
}

// "Select COLS into NEW from REST" as "CREATE TABLE NEW AS SELECT COLS FROM
// REST", found on the masked text `bare` and cut from `sql`; empty when the
// statement has another form.
std::string select_into(const std::string& sql, const std::string& bare) {
  std::size_t at = skip_blanks(bare, 0);
  if (!word_at(bare, at, "select")) return {};
  const std::size_t cols = skip_blanks(bare, at + 6);
  // The first "into" standing as a word after the select list.
  for (std::size_t into = cols + 1; into < bare.size(); ++into) {
    if (!is_blank(bare[into - 1]) || !word_at(bare, into, "into")) continue;
    std::size_t name = skip_blanks(bare, into + 4);
    std::size_t name_end = name;
    while (name_end < bare.size() && is_name_char(bare[name_end])) ++name_end;
    if (name_end == name || std::isdigit(static_cast<unsigned char>(bare[name])) ||
        name_end == bare.size() || !is_blank(bare[name_end])) {
      return {};
    }
    const std::size_t from = skip_blanks(bare, name_end);
    if (!word_at(bare, from, "from")) return {};
    std::size_t cols_end = into;
    while (cols_end > cols && is_blank(bare[cols_end - 1])) --cols_end;
    const std::size_t rest = skip_blanks(bare, from + 4);
    return "CREATE TABLE " + sql.substr(name, name_end - name) + " AS SELECT " +
           sql.substr(cols, cols_end - cols) + " FROM " + sql.substr(rest);
  }
  return {};
}

bool is_word_char(char c) { return is_name_char(c); }

// True when `word` (lower case) stands in `text` at `at`, in any letter case.
bool letters_at(const std::string& text, std::size_t at, std::string_view word) {
  if (at + word.size() > text.size()) return false;
  return equals_lower_ascii(std::string_view(text).substr(at, word.size()), word);
}

// The end of "INFORMATION_SCHEMA . TABLES" (blanks around the dot optional,
// any letter case) standing as a whole name at `at` in `bare`, or npos.
std::size_t information_schema_tables_at(const std::string& bare, std::size_t at) {
  if (at > 0 && is_word_char(bare[at - 1])) return std::string::npos;
  if (!letters_at(bare, at, "information_schema")) return std::string::npos;
  std::size_t k = skip_blanks(bare, at + 18);
  if (k >= bare.size() || bare[k] != '.') return std::string::npos;
  k = skip_blanks(bare, k + 1);
  if (!letters_at(bare, k, "tables")) return std::string::npos;
  k += 6;
  if (k < bare.size() && is_word_char(bare[k])) return std::string::npos;
  return k;
}

// Finds a lower-case word in any letter case by comparing it with a window
// of the text that moves on by as much as the window's last character allows
// (Horspool's method): most of a statement's characters are never looked at.
class WordFinder {
 public:
  explicit WordFinder(std::string_view word) : word_(word) {
    shift_.fill(word.size());
    for (std::size_t k = 0; k + 1 < word.size(); ++k) {
      const auto c = static_cast<unsigned char>(word[k]);
      shift_[c] = shift_[static_cast<unsigned char>(upper_ascii(word[k]))] = word.size() - 1 - k;
    }
  }

  bool in(std::string_view text) const {
    const std::size_t n = word_.size();
    for (std::size_t at = 0; at + n <= text.size();
         at += shift_[static_cast<unsigned char>(text[at + n - 1])]) {
      std::size_t k = n;
      while (k > 0 && lower_ascii(text[at + k - 1]) == word_[k - 1]) --k;
      if (k == 0) return true;
    }
    return false;
  }

 private:
  std::string_view word_;
  std::array<std::size_t, 256> shift_{};
};

}  // namespace

bool sqlite_dialect_rewrites(std::string_view sql) {
  static const WordFinder select("select"), into("into"), schema("information_schema");
  const std::size_t first = sql.find_first_not_of(" \t\r\n");
  const bool select_first = first != std::string_view::npos && select.in(sql.substr(first, 6));
  return (select_first && into.in(sql)) || schema.in(sql);
}

namespace {

// The rewriting of a statement that the scan found a candidate.
std::string rewritten(const std::string& sql) {
  static const std::string tables =
      "(SELECT 'main' AS TABLE_CATALOG, 'main' AS TABLE_SCHEMA, name AS TABLE_NAME, "
      "CASE type WHEN 'table' THEN 'BASE TABLE' ELSE 'VIEW' END AS TABLE_TYPE "
      "FROM sqlite_schema WHERE type IN ('table','view') AND name NOT LIKE 'sqlite!_%' "
      "ESCAPE '!') AS TABLES";
  std::string text = sql;
  std::string bare = without_quoted_parts(text);
  if (std::string rewritten = select_into(text, bare); !rewritten.empty()) {
    text = std::move(rewritten);
    bare = without_quoted_parts(text);
  }
  // Replace the view's name only where it stands outside quotes.
  std::string out;
  std::size_t copied = 0;
  for (std::size_t at = 0; at < bare.size(); ++at) {
    const std::size_t end = information_schema_tables_at(bare, at);
    if (end == std::string::npos) continue;
    out.append(text, copied, at - copied).append(tables);
    copied = end;
    at = end - 1;
  }
  if (copied == 0) return text;
  out.append(text, copied, std::string::npos);
  return out;
}

}  // namespace

std::string sqlite_dialect(const std::string& sql) {
  return sqlite_dialect_rewrites(sql) ? rewritten(sql) : sql;
}

const std::string& sqlite_dialect_text(const std::string& sql, std::string& storage) {
  if (!sqlite_dialect_rewrites(sql)) return sql;
  storage = rewritten(sql);
  return storage;
}

}  // namespace velmora
