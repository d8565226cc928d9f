#include <unistd.h>

#include <iostream>

#include "core/deployment.h"
#include "ctl/ctl.h"
#include "e2e_deployment.h"

// velmora-ctl as the end-to-end tests run it: the deployment of velmora_e2e
// (the three catalogs as files in the working directory, the mail server on
// this machine), so that both meet on the same databases and locks.
int main(int argc, char** argv) {
  velmora::Deployment deployment = e2e_deployment();
  velmora::set_deployment_for_testing(&deployment);
  velmora::ctl::Console console{std::cout, std::cerr, std::cin, isatty(STDOUT_FILENO) == 1,
                                isatty(STDIN_FILENO) == 1};
  return velmora::ctl::run(std::vector<std::string>(argv + 1, argv + argc), console);
}
