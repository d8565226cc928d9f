#include <unistd.h>

#include <iostream>

#include "ctl/ctl.h"

int main(int argc, char** argv) {
  velmora::ctl::Console console{std::cout, std::cerr, std::cin, isatty(STDOUT_FILENO) == 1,
                                isatty(STDIN_FILENO) == 1};
  return velmora::ctl::run(std::vector<std::string>(argv + 1, argv + argc), console);
}
