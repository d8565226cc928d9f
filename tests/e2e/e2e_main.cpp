#include "app/application.h"
#include "core/deployment.h"

// The process as the end-to-end tests run it: the same window and run, with
// the three catalogs as files in the working directory and the mail server
// on this machine.
int main(int, char** argv) {
  velmora::Deployment deployment = velmora::built_in_deployment();
  deployment.source_server = "sqlite:.";
  deployment.consulta_server = "sqlite:.";
  deployment.smtp_host = VELMORA_E2E_SMTP_HOST;
  deployment.smtp_port = VELMORA_E2E_SMTP_PORT;
  deployment.mailbox = VELMORA_E2E_MAILBOX;
  velmora::set_deployment_for_testing(&deployment);
  return velmora::app::run(argv[0]);
}
