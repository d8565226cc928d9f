#pragma once

#include <string>

namespace velmora::tools {

// Creates DIR/Velmora.db, DIR/consulta_tessarin.db and DIR/CALVERIN.db with
// the system's empty tables, leaving any file that already exists alone.
// Creates DIR when missing. Throws std::runtime_error on failure.
void create_embedded_databases(const std::string& directory);

}  // namespace velmora::tools
