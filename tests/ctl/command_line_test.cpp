#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "ctl/arguments.h"
#include "ctl/ctl.h"

namespace velmora::testing {
namespace {

const ctl::OptionSpec kOptions[] = {
    {"count", "N", "a number"}, {"dir", "DIR", "a place"}, {"force", "", "a flag"}};
const ctl::OptionSpec kRequired[] = {{"suffix", "S", "a suffix", true}};
const ctl::CommandSpec kCommands[] = {{"make", kOptions}, {"undo", kRequired}};

std::string parsed(const std::vector<std::string>& words) {
  try {
    const ctl::CommandLine line = ctl::parse_command_line(words, kCommands);
    if (!line.command) return "tool help";
    std::string out = std::string(kCommands[*line.command].name);
    if (line.arguments.help) out += " help";
    for (const char* name : {"count", "dir", "force", "suffix"}) {
      if (auto v = line.arguments.value(name)) out += std::string(" ") + name + "=" + *v;
    }
    return out;
  } catch (const ctl::UsageError& e) {
    return "error in '" + e.command() + "': " + e.what();
  }
}

TEST(CommandLine, ParsesSubcommandsAndTellsEachBadLineInOneReason) {
  const struct {
    std::vector<std::string> words;
    std::string expected;
  } cases[] = {
      {{"make", "--count", "3", "--dir=a b", "--force"}, "make count=3 dir=a b force="},
      {{"make", "--dir="}, "make dir="},
      {{"help"}, "tool help"},
      {{"-h"}, "tool help"},
      {{"undo", "--help"}, "undo help"},
      {{"make", "--bogus", "-h"}, "make help"},
      {{}, "error in '': a command is needed"},
      {{"frobnicate"}, "error in '': unknown command 'frobnicate'"},
      {{"make", "--bogus=1"}, "error in 'make': unknown option --bogus"},
      {{"make", "now"}, "error in 'make': unexpected argument 'now'"},
      {{"make", "--dir"}, "error in 'make': option --dir needs a value DIR"},
      {{"make", "--dir", "--force"}, "error in 'make': option --dir needs a value DIR"},
      {{"make", "--force=yes"}, "error in 'make': option --force takes no value"},
      {{"make", "--count", "1", "--count=2"}, "error in 'make': option --count given twice"},
      {{"make", "--force", "--force"}, "error in 'make': option --force given twice"},
      {{"undo"}, "error in 'undo': option --suffix is required"},
  };
  for (const auto& c : cases) {
    std::string words;
    for (const auto& w : c.words) words += "[" + w + "]";
    EXPECT_EQ(parsed(c.words), c.expected) << words;
  }
}

TEST(CommandLine, TheToolAnswersABadLineWithStatusTwoAndOneLine) {
  for (const std::vector<std::string>& words : {std::vector<std::string>{"status", "--nonsense"},
                                                {"seed", "--interns", "x"},
                                                {"restore"}}) {
    std::ostringstream out, err;
    std::istringstream in;
    ctl::Console console{out, err, in};
    EXPECT_EQ(ctl::run(words, console), ctl::kBadArguments) << words[0];
    EXPECT_TRUE(err.str().starts_with("velmora-ctl " + words[0] + ": ")) << err.str();
    EXPECT_EQ(err.str().find('\n'), err.str().size() - 1) << err.str();
    EXPECT_EQ(out.str(), "");
  }
}

}  // namespace
}  // namespace velmora::testing
