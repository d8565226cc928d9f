#pragma once

#include <string_view>
#include <vector>

#include "ctl/arguments.h"
#include "ctl/ctl.h"

// The subcommands of velmora-ctl, one file each.
namespace velmora::ctl {

struct Command {
  std::string_view name;
  std::string_view summary;      // one line in the tool's own help
  std::string_view description;  // the rest of the subcommand's --help
  std::vector<OptionSpec> options;
  // Performs the subcommand; returns its exit status. Failures are reported
  // on console.err; a UsageError thrown here counts as bad arguments.
  int (*perform)(const Arguments& arguments, Console& console);
};

Command seed_command();
Command check_command();
Command status_command();
Command run_now_command();
Command restore_command();

}  // namespace velmora::ctl
