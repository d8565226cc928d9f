#include "ctl/arguments.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>

namespace velmora::ctl {
namespace {

// One declared option and the CLI11 option that collects it.
struct Declared {
  const OptionSpec* spec;
  CLI::Option* option;
};

// CLI11's own help flag and its error texts are left aside: the tool prints
// its own help, and a bad command line is told in one line of its own words.
std::vector<Declared> declare(CLI::App& command, std::span<const OptionSpec> specs) {
  command.set_help_flag();
  command.allow_extras();
  std::vector<Declared> declared;
  for (const OptionSpec& spec : specs) {
    const std::string name = "--" + std::string(spec.name);
    CLI::Option* option =
        spec.value_name.empty() ? command.add_flag(name) : command.add_option(name)->expected(0, 1);
    declared.push_back({&spec, option});
  }
  return declared;
}

// The words of `words` that give a value to a flag ("--force=1").
void refuse_flag_values(const std::vector<std::string>& words, std::span<const OptionSpec> specs) {
  for (const OptionSpec& spec : specs) {
    if (!spec.value_name.empty()) continue;
    const std::string prefix = "--" + std::string(spec.name) + "=";
    for (const std::string& word : words) {
      if (word.starts_with(prefix))
        throw UsageError("option --" + std::string(spec.name) + " takes no value");
    }
  }
}

Arguments read(const std::vector<Declared>& declared, const std::vector<std::string>& words,
               bool help) {
  Arguments out;
  out.help = help;
  for (const auto& [spec, option] : declared) {
    const std::string name(spec->name);
    if (option->count() > 1) throw UsageError("option --" + name + " given twice");
    if (option->count() == 0) {
      if (spec->required && !help) throw UsageError("option --" + name + " is required");
      continue;
    }
    if (spec->value_name.empty()) {
      out.set(name, "");
      continue;
    }
    const std::string value = option->results().empty() ? "" : option->results().front();
    // "--name" without a value gives an empty result, as "--name=" does.
    const bool written_empty =
        std::find(words.begin(), words.end(), "--" + name + "=") != words.end();
    if (value.empty() && !written_empty) {
      throw UsageError("option --" + name + " needs a value " + std::string(spec->value_name));
    }
    out.set(name, value);
  }
  return out;
}

}  // namespace

std::optional<std::string> Arguments::value(std::string_view name) const {
  auto it = given_.find(std::string(name));
  if (it == given_.end()) return std::nullopt;
  return it->second;
}

CommandLine parse_command_line(const std::vector<std::string>& words,
                               std::span<const CommandSpec> commands) {
  if (words.empty()) throw UsageError("a command is needed");
  CLI::App app("", "velmora-ctl");
  app.set_help_flag();
  app.allow_extras();
  app.require_subcommand(0, 1);
  CLI::Option* tool_help = app.add_flag("-h,--help");
  std::vector<CLI::App*> subcommands;
  std::vector<std::vector<Declared>> declared;
  std::vector<CLI::Option*> helps;
  for (const CommandSpec& c : commands) {
    CLI::App* sub = app.add_subcommand(std::string(c.name));
    declared.push_back(declare(*sub, c.options));
    helps.push_back(sub->add_flag("-h,--help"));
    subcommands.push_back(sub);
  }

  std::vector<std::string> reversed(words.rbegin(), words.rend());
  std::size_t chosen = commands.size();
  for (std::size_t i = 0; i < commands.size(); ++i) {
    if (words.front() == commands[i].name) chosen = i;
  }
  const std::string where = chosen < commands.size() ? std::string(commands[chosen].name) : "";
  try {
    app.parse(reversed);
  } catch (const CLI::ArgumentMismatch&) {
    // Only an option given more than once gets here; read() names it.
  } catch (const CLI::ParseError& e) {
    throw UsageError(e.what(), where);
  }

  if (chosen == commands.size()) {
    if (words.front() == "help" || tool_help->count() > 0) return {std::nullopt, {}};
    throw UsageError("unknown command '" + words.front() + "'");
  }
  try {
    const std::vector<std::string> rest(words.begin() + 1, words.end());
    const bool help = helps[chosen]->count() > 0;
    for (const std::string& word : subcommands[chosen]->remaining()) {
      if (help) break;
      if (word.starts_with("--") && word.size() > 2)
        throw UsageError("unknown option " + word.substr(0, word.find('=')));
      throw UsageError("unexpected argument '" + word + "'");
    }
    refuse_flag_values(rest, commands[chosen].options);
    return {chosen, read(declared[chosen], rest, help)};
  } catch (const UsageError& e) {
    throw UsageError(e.what(), where);
  }
}

std::int64_t integer_option(std::string_view name, const std::string& text, std::int64_t low,
                            std::int64_t high) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || at != end || value < low || value > high) {
    throw UsageError("--" + std::string(name) + " must be a whole number from " +
                     std::to_string(low) + " to " + std::to_string(high) + ", not '" + text + "'");
  }
  return value;
}

std::string usage_line(std::string_view command, std::span<const OptionSpec> specs) {
  std::string line = "usage: velmora-ctl " + std::string(command);
  for (const auto& s : specs) {
    std::string option = "--" + std::string(s.name);
    if (!s.value_name.empty()) option += " " + std::string(s.value_name);
    line += s.required ? " " + option : " [" + option + "]";
  }
  return line;
}

}  // namespace velmora::ctl
