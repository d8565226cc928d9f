#include "ctl/ctl.h"

#include <exception>
#include <ostream>

#include "core/failure.h"
#include "ctl/commands.h"

namespace velmora::ctl {
namespace {

const std::vector<Command>& all_commands() {
  static const std::vector<Command> commands = {seed_command(), check_command(), status_command(),
                                                run_now_command(), restore_command()};
  return commands;
}

void tool_help(std::ostream& out) {
  out << "usage: velmora-ctl COMMAND [OPTIONS]\n\n"
         "The operator's tool of the Velmora nightly transfer. It uses the databases and\n"
         "the mail server compiled into this build, the same as the nightly process.\n\n"
         "Commands:\n";
  for (const auto& c : all_commands()) {
    out << "  " << c.name << std::string(10 - c.name.size(), ' ') << c.summary << "\n";
  }
  out << "\n'velmora-ctl COMMAND --help' tells more about each. Exit status: 0 success,\n"
         "1 failure, 2 bad arguments; status --check exits with the check's state (0 to 3).\n";
}

void command_help(const Command& c, std::ostream& out) {
  out << usage_line(c.name, c.options) << "\n\n" << c.description;
  if (!c.options.empty()) {
    out << "\nOptions:\n";
    for (const auto& o : c.options) {
      std::string left = "--" + std::string(o.name);
      if (!o.value_name.empty()) left += " " + std::string(o.value_name);
      out << "  " << left << std::string(left.size() < 20 ? 20 - left.size() : 1, ' ') << o.help
          << "\n";
    }
  }
}

int bad_arguments(Console& console, const std::string& where, const std::string& why) {
  console.err << where << ": " << why << " (see '" << where << " --help')\n";
  return kBadArguments;
}

}  // namespace

int run(const std::vector<std::string>& args, Console& console) {
  const std::vector<Command>& commands = all_commands();
  std::vector<CommandSpec> specs;
  for (const auto& c : commands) specs.push_back({c.name, c.options});
  CommandLine line;
  try {
    line = parse_command_line(args, specs);
  } catch (const UsageError& e) {
    const std::string where = e.command().empty() ? "velmora-ctl" : "velmora-ctl " + e.command();
    return bad_arguments(console, where, e.what());
  }
  if (!line.command) {
    tool_help(console.out);
    return kSuccess;
  }
  const Command& command = commands[*line.command];
  const std::string where = "velmora-ctl " + std::string(command.name);
  try {
    if (line.arguments.help) {
      command_help(command, console.out);
      return kSuccess;
    }
    return command.perform(line.arguments, console);
  } catch (const UsageError& e) {
    return bad_arguments(console, where, e.what());
  } catch (const Failure& f) {
    console.err << where << ": " << f.number() << " - " << f.description() << "\n";
  } catch (const std::exception& e) {
    console.err << where << ": " << e.what() << "\n";
  }
  return kFailure;
}

}  // namespace velmora::ctl
