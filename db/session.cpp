#include "db/session.h"

#include "core/deployment.h"
#include "db/odbc_pool.h"
#include "db/odbc_session.h"
#include "db/sqlite_session.h"

namespace velmora {

std::unique_ptr<Session> open_session(const ConnectionText& text) {
  if (text.is_embedded()) return open_sqlite_session(text.embedded_directory(), text.catalog);
  return open_odbc_session(text, deployment().odbc_driver);
}

void release_idle_connections() noexcept {
  release_idle_odbc_connections();
  release_idle_sqlite_handles();
}

}  // namespace velmora
