#pragma once

#include "core/deployment.h"

// The deployment of the end-to-end test programs: the three catalogs as
// files in the working directory and the mail server on this machine, so
// that velmora_e2e and velmora-ctl_e2e meet on the same databases and locks.
inline velmora::Deployment e2e_deployment() {
  velmora::Deployment deployment = velmora::built_in_deployment();
  deployment.source_server = "sqlite:.";
  deployment.consulta_server = "sqlite:.";
  deployment.smtp_host = VELMORA_E2E_SMTP_HOST;
  deployment.smtp_port = VELMORA_E2E_SMTP_PORT;
  deployment.mailbox = VELMORA_E2E_MAILBOX;
  return deployment;
}
