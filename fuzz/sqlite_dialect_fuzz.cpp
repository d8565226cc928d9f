// The embedded client's rewriting for any statement text: it never
// crashes, leaves a statement of neither rewritten form exactly as it is,
// keeps every quoted value and name ('...', "...", [...]) unchanged and in
// order (adding only the quoted words of the table view it puts in), and
// rewriting its own result changes nothing.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/sqlite_dialect.h"
#include "fuzz/fuzz_support.h"

namespace velmora {
namespace {

using fuzz::check;

// The quoted parts of `sql` in order, each with its quotes, delimited as the
// rewriting delimits them: a doubled closing character stays inside, and a
// part left open runs to the end.
std::vector<std::string> quoted_parts(std::string_view sql) {
  std::vector<std::string> parts;
  for (std::size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (c != '\'' && c != '"' && c != '[') continue;
    const char close = c == '[' ? ']' : c;
    std::size_t j = i + 1;
    while (j < sql.size()) {
      if (sql[j] == close) {
        if (j + 1 < sql.size() && sql[j + 1] == close) {
          j += 2;
          continue;
        }
        break;
      }
      ++j;
    }
    const std::size_t end = j < sql.size() ? j + 1 : sql.size();
    parts.emplace_back(sql.substr(i, end - i));
    i = end - 1;
  }
  return parts;
}

// The quoted words of the view that stands for INFORMATION_SCHEMA.TABLES.
const std::vector<std::string> kViewParts = {"'main'",       "'main'",      "'table'",
                                             "'BASE TABLE'", "'VIEW'",      "'table'",
                                             "'view'",       "'sqlite!_%'", "'!'"};

// True when `out` is `in` with copies of kViewParts put in between.
bool is_in_with_views(const std::vector<std::string>& in, const std::vector<std::string>& out) {
  const std::size_t n = in.size(), m = out.size(), k = kViewParts.size();
  // reach[i * (m + 1) + j]: in[i..] can be matched against out[j..].
  std::vector<char> reach((n + 1) * (m + 1), 0);
  reach[n * (m + 1) + m] = 1;
  for (std::size_t i = n + 1; i-- > 0;) {
    for (std::size_t j = m + 1; j-- > 0;) {
      if (i == n && j == m) continue;
      bool ok = i < n && j < m && in[i] == out[j] && reach[(i + 1) * (m + 1) + j + 1];
      if (!ok && j + k <= m && reach[i * (m + 1) + j + k]) {
        ok = std::equal(kViewParts.begin(), kViewParts.end(), out.begin() + j);
      }
      reach[i * (m + 1) + j] = ok;
    }
  }
  return reach[0] != 0;
}

bool contains_ci(std::string_view text, std::string_view lower_word) {
  for (std::size_t at = 0; at + lower_word.size() <= text.size(); ++at) {
    std::size_t k = 0;
    while (k < lower_word.size() &&
           (text[at + k] >= 'A' && text[at + k] <= 'Z' ? text[at + k] + 32 : text[at + k]) ==
               lower_word[k]) {
      ++k;
    }
    if (k == lower_word.size()) return true;
  }
  return false;
}

}  // namespace
}  // namespace velmora

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  const std::string in(reinterpret_cast<const char*>(data), size);
  const std::string out = sqlite_dialect(in);
  if (!contains_ci(in, "into") && !contains_ci(in, "information_schema")) {
    check(out == in, "a statement of neither form is unchanged", in);
  }
  check(is_in_with_views(quoted_parts(in), quoted_parts(out)), "quoted values and names are kept",
        in + "\n  became " + out);
  check(sqlite_dialect(out) == out, "rewriting a rewritten statement changes nothing",
        in + "\n  became " + out + "\n  then " + sqlite_dialect(out));
  return 0;
}
