#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/failure.h"
#include "db/client.h"

// The tool's own connections to the three catalogs, opened with the
// system's constant connection texts, and the read-only questions it asks
// them.
namespace velmora::ctl {

enum class Catalog { kSource, kConsulta, kOrganiser };

struct CatalogInfo {
  std::string name;             // "Velmora", "consulta_tessarin", "CALVERIN"
  std::string role;             // "source database", ...
  std::string server;           // the server piece of its connection text
  std::string login;            // User Id
  std::string password;         // never printed; see without_password
  std::string connection_text;  // the system's text for it
};

// The catalog as the deployment in use names it.
CatalogInfo catalog_info(Catalog catalog);

// A new connection of the tool's own to `catalog`. Throws Failure.
std::unique_ptr<Connection> open_catalog(Catalog catalog);

// `text` with every occurrence of each catalog's password replaced by
// "****", for descriptions that might echo a connection text.
std::string without_password(std::string text);

// "<number> - <description>", passwords hidden.
std::string failure_text(const Failure& failure);

// The rows of `table` ("select count(*)"). Throws Failure.
std::int64_t count_rows(Connection& connection, const std::string& table);

// Whether a base table (not a view) named `name` exists, asked as the
// snapshot retention asks it. Throws Failure.
bool base_table_exists(Connection& connection, const std::string& name);

// The names of every base table the connection's login can see. Throws
// Failure.
std::vector<std::string> base_table_names(Connection& connection);

// A snapshot pair found among the consultation tables: both names end in
// `suffix` ("yyyy_mm_dd" as the night writes it, or "yyyy_mm_dd_HHMMSS" for
// a pair that run-now --again kept aside).
struct SnapshotPair {
  std::string suffix;
  bool has_estagiario = false;
  bool has_pagamento = false;
};

// The snapshot pairs among `tables`, oldest suffix first.
std::vector<SnapshotPair> snapshot_pairs(const std::vector<std::string>& tables);

// True for a suffix of either form above.
bool is_snapshot_suffix(const std::string& suffix);

// Milliseconds since `start`, for the "(12 ms)" of a line.
std::string elapsed_text(std::chrono::steady_clock::time_point start);

}  // namespace velmora::ctl
