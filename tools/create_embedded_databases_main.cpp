#include <iostream>
#include <string>
#include <string_view>

#include "tools/catalog_tables.h"
#include "tools/embedded_databases.h"

// Usage: velmora-create-databases DIR
//        velmora-create-databases --schema sqlite|postgres CATALOG
// Prepares empty embedded databases for a first start on the embedded
// default, or prints the statements that create a catalog's empty tables as
// the test databases have them (scripts that fill a database server of
// their own take them from here).
int main(int argc, char** argv) {
  using namespace velmora;
  if (argc == 4 && std::string_view(argv[1]) == "--schema") {
    const std::string_view dialect = argv[2];
    const std::string text = catalogs::schema(
        argv[3], dialect == "postgres" ? catalogs::Dialect::kPostgres : catalogs::Dialect::kSqlite,
        catalogs::Constraints::kNone);
    if ((dialect != "postgres" && dialect != "sqlite") || text.empty()) {
      std::cerr << "unknown dialect or catalog: " << dialect << " " << argv[3] << "\n";
      return 2;
    }
    std::cout << text;
    return 0;
  }
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " DIR\n"
              << "       " << argv[0] << " --schema sqlite|postgres CATALOG\n";
    return 2;
  }
  try {
    tools::create_embedded_databases(argv[1]);
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
