#include "app/application.h"
#include "core/deployment.h"
#include "e2e_deployment.h"

// The process as the end-to-end tests run it: the same window and run, with
// the three catalogs as files in the working directory and the mail server
// on this machine.
int main(int, char** argv) {
  velmora::Deployment deployment = e2e_deployment();
  velmora::set_deployment_for_testing(&deployment);
  return velmora::app::run(argv[0]);
}
