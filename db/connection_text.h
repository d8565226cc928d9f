#pragma once

#include <string>

namespace velmora {

// The parts of a connection text "Provider=...;Data Source=...;Initial
// Catalog=...;User Id=...;Password=...". Keys are matched without regard to
// letter case; a value written as two single quotes ('') is empty.
struct ConnectionText {
  std::string provider;
  std::string data_source;
  std::string catalog;
  std::string user;
  std::string password;

  // "sqlite:DIR" data sources name the embedded client.
  bool is_embedded() const;
  // DIR of an embedded data source.
  std::string embedded_directory() const;
};

// Throws Failure for a text without Data Source or Initial Catalog.
ConnectionText parse_connection_text(const std::string& text);

}  // namespace velmora
