// Command lines of a table run that must be refused before anything is read.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/options.h"

namespace {

using Action = cli::ParsedCommand::Action;

TEST(CliTableFaults, EmptyValuesRefused) {
  struct Case {
    std::vector<std::string> args;
    std::string text;  // the usage error; empty: the command runs
  };
  const std::vector<Case> cases = {
      {{"--delimiter", ""}, "--delimiter needs one character or the word tab, not an empty value"},
      {{"--delimiter", "tab"}, ""},
      {{"--delimiter", ";"}, ""},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv{"quarnel", "--genotypes", "t.csv"};
    for (const std::string& arg : c.args) {
      argv.push_back(arg.c_str());
    }
    const cli::ParsedCommand command =
        cli::parse_options(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(command.action, c.text.empty() ? Action::run : Action::usage_error) << c.args[1];
    EXPECT_EQ(command.text, c.text);
  }
}

}  // namespace
