#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// velmora-ctl, the operator's tool: a command line over the same libraries
// and compiled-in build constants as the nightly process, so it reaches
// exactly the databases and mail server that the process uses.
namespace velmora::ctl {

inline constexpr int kSuccess = 0;
inline constexpr int kFailure = 1;
inline constexpr int kBadArguments = 2;

// Where the tool reads and writes, and whether a person is on the other end.
struct Console {
  std::ostream& out;
  std::ostream& err;
  std::istream& in;
  bool out_is_terminal = false;  // progress draws a bar instead of lines
  bool in_is_terminal = false;   // restore may ask for confirmation
};

// Runs `args` (the words after the program name) and returns the exit
// status: kSuccess, kFailure, or kBadArguments with a one-line usage error
// on console.err. Never throws.
int run(const std::vector<std::string>& args, Console& console);

}  // namespace velmora::ctl
