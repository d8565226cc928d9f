#pragma once

#include <string_view>

namespace velmora::seed {

// The catalogs of the data set, in the order in which they are written.
inline constexpr std::string_view kCatalogs[] = {"Velmora", "consulta_tessarin", "CALVERIN"};

// The statements that create `catalog`'s empty tables, keys and indexes
// (seed/schema/<catalog>.sql, compiled in so that an installed tool needs
// no source tree). Empty for an unknown catalog.
std::string_view schema_of(std::string_view catalog);

}  // namespace velmora::seed
