#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// velmora-ctl's command line: subcommands and their options, parsed by CLI11.
namespace velmora::ctl {

// A command line that cannot be used; what() is one line that says why.
// `command` names the subcommand it concerns ("" for the tool itself).
class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string& why, std::string command = "")
      : std::runtime_error(why), command_(std::move(command)) {}
  const std::string& command() const noexcept { return command_; }

 private:
  std::string command_;
};

// One option of a subcommand, written --name.
struct OptionSpec {
  std::string_view name;        // without the leading "--"
  std::string_view value_name;  // "N", "DIR", ...; empty for a flag
  std::string_view help;
  bool required = false;
};

// The options given to one subcommand.
class Arguments {
 public:
  bool help = false;  // --help or -h was given

  bool has(std::string_view name) const { return given_.contains(std::string(name)); }
  // The value of an option with a value, nullopt when it was not given.
  std::optional<std::string> value(std::string_view name) const;

  void set(std::string name, std::string value) { given_[std::move(name)] = std::move(value); }

 private:
  std::map<std::string, std::string> given_;
};

// A subcommand's name and options, as the parser needs them.
struct CommandSpec {
  std::string_view name;
  std::span<const OptionSpec> options;
};

// What a command line asks for: the tool's own help (no command), or one
// subcommand with its options.
struct CommandLine {
  std::optional<std::size_t> command;  // index into the specs given to parse_command_line
  Arguments arguments;
};

// Parses `words` (what follows the program name): "help", --help or -h for
// the tool's help; otherwise a subcommand of `commands` followed by its
// options, "--name VALUE" or "--name=VALUE" for an option with a value,
// "--name" for a flag, and --help or -h anywhere. Throws UsageError for no
// or an unknown subcommand, an unknown option, a missing value, a value
// given to a flag, an option given twice, a required option left out
// (unless help was asked for) or any other word.
CommandLine parse_command_line(const std::vector<std::string>& words,
                               std::span<const CommandSpec> commands);

// The value of option `name` read as a whole decimal number within
// [low, high]. Throws UsageError naming the option otherwise.
std::int64_t integer_option(std::string_view name, const std::string& text, std::int64_t low,
                            std::int64_t high);

// "usage: velmora-ctl NAME [--a N] [--b]" for the options of `specs`.
std::string usage_line(std::string_view command, std::span<const OptionSpec> specs);

}  // namespace velmora::ctl
