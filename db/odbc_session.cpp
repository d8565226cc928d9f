#include "db/odbc_session.h"

#include "core/failure.h"

namespace velmora {

std::unique_ptr<Session> open_odbc_session(const ConnectionText&, const std::string&) {
  throw Failure(failure_number::kGenericDatabase, "ODBC client not built yet");
}

}  // namespace velmora
