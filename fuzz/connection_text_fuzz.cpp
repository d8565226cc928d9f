// The connection-text parser for any text: it returns parts or throws the
// one Failure for a text without Data Source or Initial Catalog; parts are
// trimmed, hold no ';', and written back as a connection text they read as
// the same parts. The ODBC connection string made from any parts reads
// back, attribute by attribute, as those parts.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "core/failure.h"
#include "core/sql_text.h"
#include "db/connection_text.h"
#include "db/odbc_session.h"
#include "fuzz/fuzz_support.h"

namespace {

using velmora::fuzz::check;

void check_part(const std::string& part, const std::string& text) {
  check(part.find(';') == std::string::npos, "a part holds no ';'", text);
  check(part.empty() || (part.front() != ' ' && part.back() != ' '), "a part is trimmed", text);
  check(part != "''", "'' reads as empty", text);
}

std::string written(const velmora::ConnectionText& c) {
  return "Provider=" + c.provider + ";Data Source=" + c.data_source +
         ";Initial Catalog=" + c.catalog + ";User Id=" + c.user + ";Password=" + c.password;
}

// An ODBC connection string read the way the driver manager reads it:
// KEY=VALUE pairs split at ';', a value in braces running to the first '}'
// that is not doubled. Empty when it does not read.
std::optional<std::map<std::string, std::string>> odbc_attributes(const std::string& s) {
  std::map<std::string, std::string> out;
  std::size_t i = 0;
  while (i < s.size()) {
    const std::size_t eq = s.find('=', i);
    if (eq == std::string::npos) return std::nullopt;
    const std::string key = s.substr(i, eq - i);
    std::string value;
    i = eq + 1;
    if (i < s.size() && s[i] == '{') {
      ++i;
      while (true) {
        if (i >= s.size()) return std::nullopt;
        if (s[i] == '}') {
          if (i + 1 < s.size() && s[i + 1] == '}') {
            value += '}';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        value += s[i++];
      }
      if (i < s.size() && s[i] != ';') return std::nullopt;
    } else {
      const std::size_t end = std::min(s.find(';', i), s.size());
      value = s.substr(i, end - i);
      i = end;
    }
    if (!out.emplace(key, value).second) return std::nullopt;
    if (i < s.size()) ++i;  // the ';'
  }
  return out;
}

void check_odbc_string(FuzzedDataProvider& in) {
  velmora::ConnectionText c;
  c.data_source = in.ConsumeRandomLengthString(32);
  c.catalog = in.ConsumeRandomLengthString(16);
  c.user = in.ConsumeRandomLengthString(16);
  c.password = in.ConsumeRandomLengthString(16);
  const std::string driver = in.ConsumeRandomLengthString(32);
  const std::string s = velmora::odbc_connection_string(c, driver);
  const auto attributes = odbc_attributes(s);
  check(attributes.has_value(), "the ODBC connection string reads", s);
  auto expect = [&](const std::string& key, const std::optional<std::string>& value) {
    const auto found = attributes->find(key);
    check(
        value ? found != attributes->end() && found->second == *value : found == attributes->end(),
        "an ODBC attribute holds its part", key + " in " + s);
  };
  std::string host = c.data_source;
  std::optional<std::string> port;
  if (const auto comma = host.find(','); comma != std::string::npos) {
    port = velmora::trim_blanks(host.substr(comma + 1));
    if (port->empty()) port.reset();
    host = velmora::trim_blanks(host.substr(0, comma));
  }
  expect("Driver", driver);
  expect("Server", host);
  expect("Port", port);
  expect("Database", c.catalog);
  expect("UID", c.user);
  expect("PWD", c.password);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  const std::string text(reinterpret_cast<const char*>(data), size);
  FuzzedDataProvider in(data, size);
  check_odbc_string(in);
  ConnectionText c;
  try {
    c = parse_connection_text(text);
  } catch (const Failure& failure) {
    check(failure.number() == failure_number::kGenericDatabase, "the parser's one failure", text);
    return 0;
  }
  check(!c.data_source.empty() && !c.catalog.empty(), "Data Source and Initial Catalog are set",
        text);
  for (const std::string* part : {&c.provider, &c.data_source, &c.catalog, &c.user, &c.password}) {
    check_part(*part, text);
  }
  check(c.is_embedded() == c.data_source.starts_with("sqlite:"), "embedded means sqlite:", text);
  if (c.is_embedded()) {
    check("sqlite:" + c.embedded_directory() == c.data_source, "the embedded directory", text);
  }
  const ConnectionText again = parse_connection_text(written(c));
  check(again.provider == c.provider && again.data_source == c.data_source &&
            again.catalog == c.catalog && again.user == c.user && again.password == c.password,
        "written back, the parts read the same", text + "\n  written " + written(c));
  return 0;
}
