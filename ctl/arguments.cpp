#include "ctl/arguments.h"

#include <charconv>

namespace velmora::ctl {

std::optional<std::string> Arguments::value(std::string_view name) const {
  auto it = given_.find(std::string(name));
  if (it == given_.end()) return std::nullopt;
  return it->second;
}

Arguments parse_arguments(const std::vector<std::string>& args, std::span<const OptionSpec> specs) {
  Arguments out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == "--help" || word == "-h") {
      out.help = true;
      continue;
    }
    if (!word.starts_with("--") || word.size() == 2) {
      throw UsageError("unexpected argument '" + word + "'");
    }
    std::string name = word.substr(2);
    std::optional<std::string> inline_value;
    if (const auto eq = name.find('='); eq != std::string::npos) {
      inline_value = name.substr(eq + 1);
      name.resize(eq);
    }
    const OptionSpec* spec = nullptr;
    for (const auto& s : specs) {
      if (s.name == name) spec = &s;
    }
    if (!spec) throw UsageError("unknown option --" + name);
    if (out.has(name)) throw UsageError("option --" + name + " given twice");
    if (spec->value_name.empty()) {
      if (inline_value) throw UsageError("option --" + name + " takes no value");
      out.set(name, "");
      continue;
    }
    if (!inline_value) {
      if (i + 1 == args.size() || args[i + 1].starts_with("--")) {
        throw UsageError("option --" + name + " needs a value " + std::string(spec->value_name));
      }
      inline_value = args[++i];
    }
    out.set(name, *inline_value);
  }
  for (const auto& s : specs) {
    if (s.required && !out.help && !out.has(s.name)) {
      throw UsageError("option --" + std::string(s.name) + " is required");
    }
  }
  return out;
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
