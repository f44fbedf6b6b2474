#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "cli/console_tables.h"
#include "cli/front_ends.h"
#include "cli/genotype_internal.h"
#include "cli/memory.h"
#include "cli/options.h"
#include "common/stop.h"

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
  const cli::Options& defaults = none.options;
  EXPECT_EQ(std::tie(none.action, defaults.threads, defaults.permutations, defaults.seed),
            std::make_tuple(Action::run, 0, 1000, 1));
  EXPECT_TRUE(defaults.out.empty() && !defaults.missing.has_value());
  EXPECT_EQ(parse({"--help"}).action, Action::help);
  EXPECT_EQ(parse({"--version"}).action, Action::version);

  const cli::ParsedCommand classic =
      parse({"--threads", "4", "--permutations", "1000000", "--seed", "54773", "--out", "res"});
  const cli::Options& given = classic.options;
  EXPECT_EQ(std::tie(classic.action, given.threads, given.permutations, given.seed, given.out),
            std::make_tuple(Action::run, 4, 1000000, 54773, "res"))
      << classic.text;

  const cli::ParsedCommand table =
      parse({"--genotypes", "t.csv", "--null", "A+B,C", "--alt", "A+B+C", "--missing", "",
             "--delimiter", "tab", "--quiet"});
  EXPECT_EQ(std::tie(table.action, table.options.null_spec, table.options.missing),
            std::make_tuple(Action::run, "A+B,C", std::string()))
      << table.text;
  EXPECT_TRUE(table.options.quiet);
  EXPECT_TRUE(parse({"--genotypes", "t.csv", "--pairs", "--loci", "A,B"}).options.locus_pairs);
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
      {{"--genotypes", "t.csv", "--loci", "A,B", "--alt", "A+B"}, "--loci"},
      {{"--genotypes", "t.gen", "--format", "gene"}, "--format"},
      {{"--genotypes", "t.str", "--structure-rows", "3"}, "--structure-rows"},
      {{"--genotypes", "t.gen", "--population-names", "first"}, "--population-names"},
      {{"--region", "1"}, "--region"},
      {{"--out", ""}, "--out"},
      {{"--max-memory", "lots"}, "--max-memory: 'lots' is not a size"},
      {{"--max-memory", ""}, "--max-memory"},
      {{"--min-frequency", "0.01"}, "--min-frequency"},
      {{"--genotypes", "t.csv", "--pairs", "--min-frequency", "0"}, "--min-frequency"},
      {{"--genotypes", "t.csv", "--min-frequency", "nan"}, "--min-frequency"},
      {{"--genotypes", "t.csv", "--min-frequency", "-0.1"}, "--min-frequency"},
      {{"--genotypes", "t.csv", "--min-frequency", "1.5"}, "--min-frequency"},
      {{"--genotypes", "t.csv", "--pair-alleles"}, "--pair-alleles needs --pairs"},
      {{"--genotypes", "t.csv", "--pairs", "--pair-alleles", "--classic-rules"}, "--pair-alleles"},
  };
  for (const auto& [args, named] : cases) {
    const cli::ParsedCommand c = parse(args);
    EXPECT_EQ(c.action, Action::usage_error) << args[0];
    EXPECT_NE(c.text.find(named), std::string::npos) << c.text;
  }
}

// The least frequency of the frequency table: as given, else by the rules.
TEST(CliParse, MinFrequencyDefaultFollowsTheRules) {
  const struct {
    std::vector<std::string> args;
    double min_frequency;
  } cases[] = {{{}, 1e-6},
               {{"--classic-rules"}, 0.0},
               {{"--min-frequency", "0.01"}, 0.01},
               {{"--classic-rules", "--min-frequency", "1e-3"}, 1e-3}};
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--genotypes", "t.csv"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const cli::ParsedCommand command = parse(args);
    ASSERT_EQ(command.action, Action::run) << command.text;
    EXPECT_EQ(cli::table_min_frequency(command.options), c.min_frequency);
  }
}

// Without --delimiter the reader decides (a .csv header may call for ';',
// another name is read with what its header shows).
TEST(CliTableOptions, DelimiterLeftToTheReaderUnlessGiven) {
  EXPECT_EQ(cli::table_options(parse({"--genotypes", "t.csv"}).options).delimiter, 0);
  EXPECT_EQ(
      cli::table_options(parse({"--genotypes", "t.dat", "--delimiter", "tab"}).options).delimiter,
      '\t');
  EXPECT_EQ(cli::table_options(parse({"--genotypes", "t.dat"}).options).delimiter, 0);
}

TEST(CliParse, HelpListsEveryOptionWithItsDefault) {
  const std::string help = parse({"--help"}).text;
  for (const char* option : {"--threads",
                             "--permutations",
                             "--seed",
                             "--out",
                             "--max-memory",
                             "--genotypes",
                             "--delimiter",
                             "--population-column",
                             "--id-column",
                             "--missing",
                             "--null",
                             "--alt",
                             "--pairs",
                             "--pair-alleles",
                             "--loci",
                             "--quiet",
                             "--min-frequency",
                             "--format",
                             "--population-names",
                             "--structure-rows",
                             "--structure-columns",
                             "--populations",
                             "--region",
                             "--version",
                             "--help"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
  EXPECT_NE(help.find("default: 1000"), std::string::npos);
}

// Under the maximum-likelihood rules the console marks p_bh below 0.05 and
// shows at most 200 rows, then how many more the table file has.
TEST(ConsoleTables, PairRowsMarkedAndBounded) {
  std::vector<common::LocusPairResult> pairs(203);
  for (int k = 0; k < 203; ++k) {
    pairs[k].locus_b = 1;
    pairs[k].result.name = "P" + std::to_string(k);
    pairs[k].result.p_value = 0.01;
    pairs[k].p_bh = k == 0 ? 0.04 : 0.05;
  }
  layout::MemorySink console;
  cli::write_locus_pair_table({"A", "B"}, pairs, true, "x.pairs.tsv", console);
  const std::vector<std::string>& lines = console.records();
  ASSERT_EQ(lines.size(), 203U);
  EXPECT_NE(lines[1].find("0.0100*"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("0.0100 "), std::string::npos) << lines[2];
  EXPECT_EQ(lines[201], "3 more rows not shown: every row is in x.pairs.tsv");
  EXPECT_EQ(lines[202].substr(0, 2), "* ");
}

TEST(MemorySize, PositiveBytesWithAnOptionalBinarySuffix) {
  constexpr std::int64_t ki = 1024;
  const std::pair<const char*, std::int64_t> sizes[] = {
      {"1", 1},
      {"4096", 4096},
      {"64k", 64 * ki},
      {"64K", 64 * ki},
      {"512m", 512 * ki * ki},
      {"3G", 3 * ki * ki * ki},
      {"2t", 2 * ki * ki * ki * ki},
      {"007M", 7 * ki * ki},
      {"9223372036854775807", INT64_MAX},
      {"8388607T", 8388607 * ki * ki * ki * ki},
  };

  for (const auto& [text, bytes] : sizes) {
    EXPECT_EQ(cli::parse_memory_size(text), bytes) << "'" << text << "'";
  }
  // Zero, a sign, overflow, blanks, other suffixes, fractions.
  for (const char* text :
       {"0", "0K", "-1", "+5", "9223372036854775808", "8388608T", "99999999999999999999K", "", "K",
        " 5", "5 ", "5 M", "5KB", "5MiB", "5P", "1.5G", "0x10"}) {
    EXPECT_EQ(cli::parse_memory_size(text), std::nullopt) << "'" << text << "'";
  }
}

TEST(MemorySize, DefaultIsHalfOfTheLowestKnownLimit) {
  // Nothing known: no budget; a 1-byte limit is not "none".
  const std::pair<cli::MemoryLimits, std::int64_t> cases[] = {
      {{8000, 0, 0, 0}, 4000},    {{8000, 3000, 0, 0}, 1500},
      {{8000, 0, 5000, 0}, 2500}, {{8000, 9000, 7000, 2000}, 1000},
      {{0, 0, 0, 600}, 300},      {{0, 0, 0, 0}, 0},
      {{1, 0, 0, 0}, 1},
  };
  for (const auto& [limits, budget] : cases) {
    EXPECT_EQ(cli::default_memory_budget(limits), budget);
  }
  EXPECT_EQ(cli::cgroup_memory_max("max\n"), 0);
  EXPECT_EQ(cli::cgroup_memory_max("2147483648\n"), 2147483648);
  EXPECT_EQ(cli::cgroup_memory_max(""), 0);
}

// The process's own control group and those above it, under cgroup v2 and
// v1, read from a tree of limit files made here.
TEST(MemorySize, TheLowestLimitOfTheProcesssOwnControlGroups) {
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("quarnel-cgroup-" + std::to_string(::getpid()));
  const auto put = [&root](const std::string& file, const std::string& text) {
    std::filesystem::create_directories((root / file).parent_path());
    std::ofstream(root / file) << text;
  };
  put("memory.max", "max\n");
  put("job/memory.max", "4000\n");
  put("job/step/memory.max", "max\n");
  put("memory/memory.limit_in_bytes", "9223372036854771712\n");
  put("memory/batch/memory.limit_in_bytes", "3000\n");
  const std::pair<std::string, std::int64_t> cases[] = {
      {"0::/job/step\n", 4000},                        // v2: a limit above its own group
      {"0::/\n", 0},                                   // v2: none
      {"4:memory:/batch\n3:cpu:/\n", 3000},            // v1
      {"5:cpu,memory:/batch\n0::/job/step\n", 3000},   // both: the lower
      {"4:memory:/elsewhere\n", 9223372036854771712},  // v1: its root's
  };
  for (const auto& [self, limit] : cases) {
    EXPECT_EQ(cli::cgroup_memory_limit(self, root.string()), limit) << self;
  }
  std::filesystem::remove_all(root);
}

TEST(MemorySize, RunOptionsCarryTheBudget) {
  EXPECT_EQ(cli::run_options(parse({"--max-memory", "2K"}).options).max_memory, 2048);
  // The default of this machine: some budget, never "no limit" here.
  EXPECT_GT(cli::run_options(parse({}).options).max_memory, 0);
}

}  // namespace
