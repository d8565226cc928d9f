#pragma once

#include <sqlite3.h>

#include <stdexcept>
#include <string>

#include "core/calendar.h"
#include "seed/embedded_data_set.h"
#include "tests/support/fixtures.h"

namespace velmora::testing {

// The synthetic data set of `interns` interns, made for `today`, in the
// three files of a fresh directory.
class SeededDatabases {
 public:
  SeededDatabases(int interns, const DateTime& today) {
    seed::Options options;
    options.interns = interns;
    options.today = today;
    seed::write_embedded_data_set(options, {dir_.path(), dir_.path()});
  }
  const std::string& dir() const { return dir_.path(); }
  std::string server() const { return "sqlite:" + dir_.path(); }

  // Runs `sql` on `catalog`'s file.
  void exec(const std::string& catalog, const std::string& sql) const {
    sqlite3* db = nullptr;
    sqlite3_open_v2((dir() + "/" + catalog + ".db").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error(catalog + ": " + message + " in: " + sql);
  }

  // The first column of the first row of `sql`, run on Velmora.db with the
  // other two catalogs attached under their names; "NULL" for Null.
  std::string answer(const std::string& sql) const {
    sqlite3* db = nullptr;
    sqlite3_open_v2((dir() + "/Velmora.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    for (const char* other : {"consulta_tessarin", "CALVERIN"}) {
      const std::string attach =
          "ATTACH DATABASE 'file:" + dir() + "/" + other + ".db?mode=ro' AS " + other;
      sqlite3_exec(db, attach.c_str(), nullptr, nullptr, nullptr);
    }
    sqlite3_stmt* stmt = nullptr;
    std::string out;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      out = std::string("error: ") + sqlite3_errmsg(db);
    } else if (sqlite3_step(stmt) == SQLITE_ROW) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
      out = text ? text : "NULL";
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return out;
  }

 private:
  TempDir dir_;
};

}  // namespace velmora::testing
