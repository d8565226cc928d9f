#include "tools/embedded_databases.h"

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "schema_dir.h"

namespace velmora::tools {

void create_embedded_databases(const std::string& directory) {
  std::filesystem::create_directories(directory);
  for (const char* catalog : {"Velmora", "consulta_tessarin", "CALVERIN"}) {
    const std::string path = directory + "/" + catalog + ".db";
    if (std::filesystem::exists(path)) continue;
    std::ifstream in(std::string(kSqliteSchemaDir) + "/" + catalog + ".sql");
    if (!in) throw std::runtime_error(std::string("schema missing for ") + catalog);
    std::stringstream schema;
    schema << in.rdbuf();
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    char* error = nullptr;
    if (rc != SQLITE_OK ||
        sqlite3_exec(db, schema.str().c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
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
