#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/options.h"

namespace {

using Action = cli::ParsedCommand::Action;

cli::ParsedCommand parse(const std::vector<std::string>& args) {
  std::vector<const char*> argv{"quarnel"};
  for (const std::string& arg : args) {
    argv.push_back(arg.c_str());
  }
  return cli::parse_options(static_cast<int>(argv.size()), argv.data());
}

TEST(CliParse, DefaultsAndAcceptedForms) {
  const cli::ParsedCommand none = parse({});
  EXPECT_EQ(none.action, Action::run);
  EXPECT_EQ(none.options.threads, 0);
  EXPECT_EQ(none.options.permutations, 1000);
  EXPECT_EQ(none.options.seed, 1);
  EXPECT_TRUE(none.options.out.empty());
  EXPECT_FALSE(none.options.missing.has_value());
  EXPECT_EQ(parse({"--help"}).action, Action::help);
  EXPECT_EQ(parse({"--version"}).action, Action::version);

  const cli::ParsedCommand classic =
      parse({"--threads", "4", "--permutations", "1000000", "--seed", "54773", "--out", "res"});
  EXPECT_EQ(classic.action, Action::run) << classic.text;
  EXPECT_EQ(classic.options.threads, 4);
  EXPECT_EQ(classic.options.permutations, 1000000);
  EXPECT_EQ(classic.options.seed, 54773);
  EXPECT_EQ(classic.options.out, "res");

  const cli::ParsedCommand table =
      parse({"--genotypes", "t.csv", "--null", "A+B,C", "--alt", "A+B+C", "--missing", "",
             "--delimiter", "tab", "--quiet"});
  EXPECT_EQ(table.action, Action::run) << table.text;
  EXPECT_EQ(table.options.null_spec, "A+B,C");
  EXPECT_EQ(table.options.missing, std::string());
  EXPECT_TRUE(table.options.quiet);
  EXPECT_TRUE(parse({"--genotypes", "t.csv", "--pairs", "--loci", "A,B"}).options.pairs);
}

TEST(CliParse, UsageErrorsNameTheOption) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"group.dat"}, "group.dat"},
      {{"--bogus"}, "--bogus"},
      {{"--threads"}, "--threads"},
      {{"--threads", "0"}, "--threads"},
      {{"--threads", "x"}, "--threads"},
      {{"--permutations", "0"}, "--permutations"},
      {{"--permutations", "1000001"}, "--permutations"},
      {{"--seed", "54774"}, "--seed"},
      {{"--seed", "0"}, "--seed"},
      {{"--quiet"}, "--quiet"},
      {{"--null", "A,B"}, "--null"},
      {{"--pairs"}, "--pairs"},
      {{"--genotypes", "t.csv", "--pairs", "--null", "A,B"}, "--null"},
      {{"--genotypes", "t.csv", "--loci", "A,B"}, "--loci"},
      {{"--out", ""}, "--out"},
  };
  for (const auto& [args, named] : cases) {
    const cli::ParsedCommand c = parse(args);
    EXPECT_EQ(c.action, Action::usage_error) << args[0];
    EXPECT_NE(c.text.find(named), std::string::npos) << c.text;
  }
}

TEST(CliParse, HelpListsEveryOptionWithItsDefault) {
  const std::string help = parse({"--help"}).text;
  for (const char* option :
       {"--threads", "--permutations", "--seed", "--out", "--max-memory", "--genotypes",
        "--delimiter", "--population-column", "--id-column", "--missing", "--null", "--alt",
        "--pairs", "--loci", "--quiet", "--version", "--help"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
  EXPECT_NE(help.find("default: 1000"), std::string::npos);
}

}  // namespace
