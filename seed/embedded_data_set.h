#pragma once

#include <string>
#include <vector>

#include "seed/data_set.h"

// Writes the synthetic data set as the embedded client's files.
namespace velmora::seed {

// The directories of the three files: Velmora.db in source_dir,
// consulta_tessarin.db and CALVERIN.db in consulta_dir (the consultation
// server holds the organiser catalog too).
struct EmbeddedTarget {
  std::string source_dir;
  std::string consulta_dir;
};

// The path of `catalog`'s file under `target`.
std::string database_file(const EmbeddedTarget& target, std::string_view catalog);

// The files of `target` that exist already.
std::vector<std::string> existing_database_files(const EmbeddedTarget& target);

// How many rows went into one table.
struct TableCount {
  std::string catalog;
  std::string table;
  long rows = 0;
};

// Creates the three databases of `target` with the data set of `options`,
// replacing files of the same names. Each file is written beside its final
// place under a temporary name and renamed over it only when all three are
// complete, so a failure leaves the old files (or none) and never a half
// data set. Creates missing directories. Throws Failure (SQLite's result
// code and message) or std::filesystem::filesystem_error.
std::vector<TableCount> write_embedded_data_set(const Options& options,
                                                const EmbeddedTarget& target);

}  // namespace velmora::seed
