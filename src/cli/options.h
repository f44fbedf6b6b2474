#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/run.h"

// The command line: every option with its default, parsed with CLI11. The
// run reads this struct, never argv.

namespace cli {

struct Options {
  // Both modes.
  int threads = 0;  // 0: one per hardware thread
  int permutations = common::PERMUTATION_COUNT;
  std::int32_t seed = 1;
  std::string out;         // result-file prefix; empty: none (classic) or from the table's name
  std::string max_memory;  // budget for the pair lists; empty: the default

  // The genotype-table mode.
  std::string genotypes;                     // the table; empty: the classic run from group.dat
  std::string format;                        // the genotype file's format; empty: detected
  std::string population_names = "numbers";  // Genepop: "numbers" or "last"
  int structure_rows = 0;                    // Structure: 1 or 2; 0: detected
  int structure_columns = -1;                // Structure: columns before the loci; -1: detected
  std::string populations;                   // VCF: sample and population per line
  std::string region;                        // VCF: the records of a region; empty: all
  std::string delimiter;                     // one character or "tab"; empty: from the extension
  std::string population_column;
  std::string id_column;
  std::optional<std::string> missing;  // comma-separated tokens; unset: the default list
  std::string null_spec;
  std::string alt_spec;
  bool locus_pairs = false;   // --pairs
  bool pair_alleles = false;  // --pair-alleles: PREFIX.pair_alleles.tsv
  std::string loci;
  bool quiet = false;
  bool classic_rules = false;  // the classic estimation rules in a table run
  std::string shard;           // --shard K/N; empty: the whole run
  int em_starts = common::DEFAULT_EM_STARTS;
  int stop_after = 0;  // --stop-after H: the sequential rule; 0: off
  // The least frequency a row of PREFIX.frequencies.tsv shows; unset: the
  // rules' default (table_min_frequency).
  std::optional<double> min_frequency;
};

// The rules of a table run: the maximum-likelihood rules with --em-starts
// starts, or the classic rules with --classic-rules.
[[nodiscard]] common::RuleSet table_rules(const Options& options);

// The --min-frequency of a table run: as given, else 1e-6 under the
// maximum-likelihood rules (their fits leave many values near 0) and 0 (every
// value of positive frequency) under the classic rules.
[[nodiscard]] double table_min_frequency(const Options& options);

struct ParsedCommand {
  enum class Action { run, merge, help, version, usage_error };
  Action action = Action::run;
  Options options;
  std::vector<std::string> shard_files;  // quarnel merge: the shard files
  std::string text;                      // help text, or what was wrong with the command line
};

// Parses the arguments (argv[0] included); "quarnel merge --out PREFIX
// SHARD..." is the merge of shard files. A usage error names the option
// and what is wrong; an option of the other mode is a usage error.
[[nodiscard]] ParsedCommand parse_options(int argc, const char* const* argv);

}  // namespace cli
