#include "ctl/catalogs.h"

#include <algorithm>
#include <map>
#include <regex>

#include "app/run/nightly_run.h"
#include "db/conexao.h"
#include "db/connection_text.h"

namespace velmora::ctl {
namespace {

// The text of a value read back for a count or a name; Null as "".
std::string text_in(const Recordset& rs, const std::string& column) {
  const Value v = rs.Fields().Item(column).Value();
  return is_null(v) ? std::string() : text_of(v, column);
}

const std::regex& snapshot_name() {
  static const std::regex name(R"(^cons_(estagiario|pagamento)_(\d{4}_\d{2}_\d{2}(_\d{6})?)$)");
  return name;
}

}  // namespace

CatalogInfo catalog_info(Catalog catalog) {
  CatalogInfo info;
  switch (catalog) {
    case Catalog::kSource:
      info.role = "source database";
      info.connection_text = source_connection_text();
      break;
    case Catalog::kConsulta:
      info.role = "consultation database";
      info.connection_text = consulta_connection_text();
      break;
    case Catalog::kOrganiser:
      info.role = "organiser catalog";
      info.connection_text = organiser_connection_text();
      break;
  }
  const ConnectionText parts = parse_connection_text(info.connection_text);
  info.name = parts.catalog;
  info.server = parts.data_source;
  info.login = parts.user;
  info.password = parts.password;
  return info;
}

std::unique_ptr<Connection> open_catalog(Catalog catalog) {
  auto connection = std::make_unique<Connection>();
  connection->Open(catalog_info(catalog).connection_text);
  return connection;
}

std::string without_password(std::string text) {
  for (Catalog c : {Catalog::kSource, Catalog::kConsulta, Catalog::kOrganiser}) {
    const std::string password = catalog_info(c).password;
    if (password.size() < 3) continue;  // "" or "''": nothing to hide
    for (auto at = text.find(password); at != std::string::npos; at = text.find(password, at + 4)) {
      text.replace(at, password.size(), "****");
    }
  }
  return text;
}

std::string failure_text(const Failure& failure) {
  return outcome_text(failure.number(), without_password(failure.description()));
}

std::int64_t count_rows(Connection& connection, const std::string& table) {
  auto rs = connection.Execute("select count(*) as n from " + table);
  return std::stoll(text_in(*rs, "n"));
}

bool base_table_exists(Connection& connection, const std::string& name) {
  auto rs = connection.Execute(nightly_run::base_table_question(name));
  return !rs->Eof();
}

std::vector<std::string> base_table_names(Connection& connection) {
  auto rs = connection.Execute(
      "SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_TYPE = 'BASE TABLE'");
  std::vector<std::string> names;
  for (; !rs->Eof(); rs->MoveNext()) names.push_back(text_in(*rs, "TABLE_NAME"));
  return names;
}

std::vector<SnapshotPair> snapshot_pairs(const std::vector<std::string>& tables) {
  std::map<std::string, SnapshotPair> pairs;
  for (const auto& name : tables) {
    std::smatch m;
    if (!std::regex_match(name, m, snapshot_name())) continue;
    SnapshotPair& pair = pairs[m[2]];
    pair.suffix = m[2];
    (m[1] == "estagiario" ? pair.has_estagiario : pair.has_pagamento) = true;
  }
  std::vector<SnapshotPair> out;
  for (auto& [suffix, pair] : pairs) out.push_back(pair);
  return out;
}

bool is_snapshot_suffix(const std::string& suffix) {
  return std::regex_match("cons_pagamento_" + suffix, snapshot_name());
}

std::string elapsed_text(std::chrono::steady_clock::time_point start) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  return "(" + std::to_string(ms) + " ms)";
}

}  // namespace velmora::ctl
