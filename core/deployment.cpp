#include "core/deployment.h"

#include <optional>

#include "build_config.h"

namespace velmora {
namespace {
std::optional<Deployment> g_override;
}

Deployment built_in_deployment() {
  Deployment d;
  d.source_server = build::kSourceServer;
  d.consulta_server = build::kConsultaServer;
  d.odbc_driver = build::kOdbcDriver;
  d.smtp_host = build::kSmtpHost;
  d.mailbox = build::kMailbox;
  d.source_login = build::kSourceLogin;
  d.source_password = build::kSourcePassword;
  d.consulta_login = build::kConsultaLogin;
  d.consulta_password = build::kConsultaPassword;
  d.organiser_login = build::kOrganiserLogin;
  d.organiser_password = build::kOrganiserPassword;
  return d;
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
