#include "db/connection_text.h"

#include <algorithm>

#include "core/ascii.h"
#include "core/failure.h"
#include "core/sql_text.h"

namespace velmora {
namespace {

constexpr std::string_view kEmbeddedPrefix = "sqlite:";

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), lower_ascii);
  return s;
}

}  // namespace

bool ConnectionText::is_embedded() const { return data_source.starts_with(kEmbeddedPrefix); }

std::string ConnectionText::embedded_directory() const {
  return data_source.substr(kEmbeddedPrefix.size());
}

ConnectionText parse_connection_text(const std::string& text) {
  ConnectionText out;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    const std::string pair = text.substr(start, end - start);
    const std::size_t eq = pair.find('=');
    if (eq != std::string::npos) {
      const std::string key = lower(trim_blanks(pair.substr(0, eq)));
      std::string value = trim_blanks(pair.substr(eq + 1));
      if (value == "''") value.clear();
      if (key == "provider")
        out.provider = value;
      else if (key == "data source" || key == "server")
        out.data_source = value;
      else if (key == "initial catalog" || key == "database")
        out.catalog = value;
      else if (key == "user id" || key == "uid")
        out.user = value;
      else if (key == "password" || key == "pwd")
        out.password = value;
    }
    start = end + 1;
  }
  if (out.data_source.empty() || out.catalog.empty()) {
    throw database_failure(0,
                           "Invalid connection string attribute: Data Source and Initial Catalog "
                           "are required");
  }
  return out;
}

}  // namespace velmora
