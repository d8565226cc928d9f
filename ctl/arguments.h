#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The options of velmora-ctl's subcommands.
namespace velmora::ctl {

// A command line that cannot be used; what() is one line that says why.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
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

// Parses `args` (what follows the subcommand's name) against `specs`:
// "--name VALUE" or "--name=VALUE" for an option with a value, "--name" for
// a flag, and --help or -h anywhere. Throws UsageError for an unknown
// option, a missing value, a value given to a flag, an option given twice,
// a required option left out (unless help was asked for) or any other word.
Arguments parse_arguments(const std::vector<std::string>& args, std::span<const OptionSpec> specs);

// The value of option `name` read as a whole decimal number within
// [low, high]. Throws UsageError naming the option otherwise.
std::int64_t integer_option(std::string_view name, const std::string& text, std::int64_t low,
                            std::int64_t high);

// "usage: velmora-ctl NAME [--a N] [--b]" for the options of `specs`.
std::string usage_line(std::string_view command, std::span<const OptionSpec> specs);

}  // namespace velmora::ctl
