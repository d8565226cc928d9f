#pragma once

#include <string>
#include <vector>

#include "ctl/catalogs.h"
#include "tools/catalog_tables.h"

namespace velmora::ctl {

// A table that the night reads or writes, with the columns it reads or
// writes there.
struct NightTable {
  Catalog catalog;
  std::string name;
  std::string columns;  // comma-separated, as a select list
};

// Every table of the three catalogs with all its columns, as the catalog
// description has them, and the table list that the snapshot retention
// asks the consultation catalog.
inline const std::vector<NightTable> kNightTables = [] {
  std::vector<NightTable> out;
  auto add = [&](std::string_view catalog, Catalog which) {
    for (const catalogs::Table& t : catalogs::tables()) {
      if (t.catalog == catalog)
        out.push_back({which, std::string(t.name), catalogs::column_list(t)});
    }
  };
  add("Velmora", Catalog::kSource);
  add("consulta_tessarin", Catalog::kConsulta);
  out.push_back({Catalog::kConsulta, "INFORMATION_SCHEMA.TABLES", "TABLE_NAME,TABLE_TYPE"});
  add("CALVERIN", Catalog::kOrganiser);
  return out;
}();

}  // namespace velmora::ctl
