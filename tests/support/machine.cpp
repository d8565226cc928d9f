#include "tests/support/machine.h"

#include <cstdlib>
#include <cstring>
#include <iostream>

namespace velmora::testing {

bool every_test_must_run() {
  const char* ci = std::getenv("CI");
  return ci && std::strcmp(ci, "true") == 0;
}

std::string cannot_run_here(const std::string& missing) {
  const std::string line = "cannot run here: " + missing;
  std::cout << line << std::endl;
  return line;
}

}  // namespace velmora::testing
