#include <stdexcept>

#include "tests/support/fixtures.h"

namespace velmora::testing {

// Provisional: only the embedded databases exist so far.
std::unique_ptr<Database> make_database(Backend backend) {
  if (backend == Backend::kEmbedded) return std::make_unique<EmbeddedDatabases>();
  throw std::runtime_error("PostgreSQL test databases are not available yet");
}

}  // namespace velmora::testing
