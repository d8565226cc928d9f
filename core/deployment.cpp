#include "core/deployment.h"

#include <optional>

#include "build_config.h"

namespace velmora {
namespace {
std::optional<Deployment> g_override;
}

Deployment built_in_deployment() {
  return {build::kSourceServer, build::kConsultaServer, build::kOdbcDriver, build::kSmtpHost,
          build::kMailbox};
}

const Deployment& deployment() {
  static const Deployment built_in = built_in_deployment();
  return g_override ? *g_override : built_in;
}

void set_deployment_for_testing(const Deployment* replacement) {
  if (replacement)
    g_override = *replacement;
  else
    g_override.reset();
}

}  // namespace velmora
