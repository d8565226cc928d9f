#include "tools/embedded_databases.h"

#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>

#include "tools/catalog_tables.h"

namespace velmora::tools {

void create_embedded_databases(const std::string& directory) {
  std::filesystem::create_directories(directory);
  for (std::string_view catalog : catalogs::kCatalogs) {
    const std::string path = directory + "/" + std::string(catalog) + ".db";
    if (std::filesystem::exists(path)) continue;
    const std::string schema =
        catalogs::schema(catalog, catalogs::Dialect::kSqlite, catalogs::Constraints::kNone);
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    char* error = nullptr;
    if (rc != SQLITE_OK ||
        sqlite3_exec(db, schema.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      std::string message = error ? error : sqlite3_errmsg(db);
      sqlite3_free(error);
      sqlite3_close(db);
      std::filesystem::remove(path);
      throw std::runtime_error(path + ": " + message);
    }
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
}

}  // namespace velmora::tools
