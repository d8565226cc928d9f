// The connection-text parser for any text: it returns parts or throws the
// one Failure for a text without Data Source or Initial Catalog; parts are
// trimmed, hold no ';', and written back as a connection text they read as
// the same parts.
#include <cstdint>
#include <string>

#include "core/failure.h"
#include "db/connection_text.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  const std::string text(reinterpret_cast<const char*>(data), size);
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
