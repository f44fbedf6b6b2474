#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <string>
#include <string_view>

#include "cli/memory.h"
#include "cli/shard_file.h"

namespace cli {
namespace {

constexpr int MAX_THREADS = 256;
constexpr double DEFAULT_MIN_FREQUENCY = 1e-6;

constexpr std::string_view DESCRIPTION =
    "Tests for overall linkage disequilibrium among the genetic systems (loci) of\n"
    "each sample population by EM haplotype estimation and permutations.\n"
    "Without --genotypes the run is configured by the control file group.dat in\n"
    "the working directory (data file, report file, null and alternative grouping).\n"
    "With --genotypes FILE it reads a genotype file: a CSV/TSV table (a header row,\n"
    "a population column, two adjacent columns per locus, A_1,A_2 or A.a1,A.a2 or\n"
    "A1,A2 ..., or one column of cells such as 136/143; a first column with an\n"
    "empty name, row names, is left out), or a Genepop, Arlequin, Fstat, Genetix,\n"
    "Structure, PyPop or VCF/BCF file; the format is told from the first lines\n"
    "(the extension breaks a tie) unless --format names it.\n"
    "\n"
    "Exit status: 0 at the normal end; the stop code's low 8 bits when the run\n"
    "stops (the console shows \"Return code N\"); 2 for a file, input or\n"
    "command-line error (one line on standard error).";

void add_common_options(CLI::App& app, Options& o) {
  app.add_option("--threads", o.threads,
                 "worker threads (default: all hardware threads); the output is the same for "
                 "every N")
      ->check(CLI::Range(1, MAX_THREADS));
  app.add_option("--permutations", o.permutations, "permuted data sets (default: 1000)")
      ->check(CLI::Range(1, common::MAX_PERMUTATIONS));
  app.add_option("--seed", o.seed,
                 "seed of the random sequence, 1 to 54773 (default: 1, the classic sequence)")
      ->check(CLI::Range(std::int32_t{1}, common::MAX_SEED));
  app.add_option("--out", o.out,
                 "prefix of the result files PREFIX.summary.tsv, .frequencies.tsv, "
                 ".permutations.tsv, .svg (default: none in the classic run; the table's "
                 "file name without its extension with --genotypes)");
  app.add_option("--max-memory", o.max_memory,
                 "memory budget of the run (the table, the haplotype-pair lists, the "
                 "estimation's tables, the permuted statistics): bytes, or with a suffix K, M, "
                 "G or T (default: half of the lowest of the physical memory, the process's "
                 "limits and its control groups' memory limits)");
}

// What a genotype file cannot tell of itself.
void add_format_options(CLI::App& app, Options& o) {
  app.add_option("--format", o.format,
                 "format of the genotype file: table, genepop, arlequin, fstat, genetix, "
                 "structure, pypop or vcf (default: told from its first lines, the extension "
                 "breaking a tie)")
      ->check(CLI::IsMember(
          {"table", "genepop", "arlequin", "fstat", "genetix", "structure", "pypop", "vcf"}));
  app.add_option("--population-names", o.population_names,
                 "Genepop: name the populations 'numbers' 1, 2, ... in file order, or by the "
                 "'last' individual of each (default: numbers)")
      ->check(CLI::IsMember({"numbers", "last"}));
  app.add_option("--structure-rows", o.structure_rows,
                 "Structure: rows per individual, 1 or 2 (default: two when consecutive rows "
                 "repeat the label, else one)")
      ->check(CLI::Range(1, 2));
  app.add_option("--structure-columns", o.structure_columns,
                 "Structure: columns before the loci, the label first and the population "
                 "second (default: told from the file where it can be)")
      ->check(CLI::Range(2, 100));
  app.add_option("--populations", o.populations,
                 "VCF: file of 'sample population' lines; samples not in it are left out "
                 "(required for VCF)");
  app.add_option("--region", o.region,
                 "VCF: only the records of CHROM or CHROM:FROM-TO (default: every record)");
}

void add_table_options(CLI::App& app, Options& o) {
  app.add_option("--genotypes", o.genotypes,
                 "run from a genotype file (may be a pipe) instead of group.dat");
  app.add_option("--delimiter", o.delimiter,
                 "field delimiter: one character or 'tab' (default: from the extension, "
                 ".csv comma, or ';' when its header has semicolons and no comma; .tsv/.txt "
                 "tab)");
  app.add_option("--population-column", o.population_column,
                 "name of the population column (default: a column named population or pop "
                 "in any case, else the first column)");
  app.add_option("--id-column", o.id_column,
                 "name of a column of individual ids, carried into the log (default: a column "
                 "named id, individual, ind, sample or name in any case, else none)");
  app.add_option("--missing", o.missing,
                 "comma-separated cell values that mean a missing typing, replacing the "
                 "default list (default: 0,NA,-,?,****,-9,.,NaN,N/A,na,00,000,0000; an empty "
                 "cell is always missing; a locus with another value that looks like a "
                 "missing-data code gets a warning)");
  app.add_option("--null", o.null_spec,
                 "null grouping: groups separated by commas, loci of a group joined by '+' "
                 "(default: every locus of the test alone)");
  app.add_option("--alt", o.alt_spec,
                 "alternative grouping, written the same way (default: one group of all "
                 "loci of the test)");
  app.add_flag("--pairs", o.locus_pairs,
               "test every pair of loci instead of the overall test (default: off)");
  app.add_flag("--pair-alleles", o.pair_alleles,
               "with --pairs, write PREFIX.pair_alleles.tsv: per population, pair and allele "
               "pair the haplotype frequency, the product of the allele frequencies, D and D' "
               "(default: off)");
  app.add_option("--loci", o.loci,
                 "comma-separated loci read from the file: the loci paired with --pairs, the "
                 "loci of the overall test without --null and --alt (default: every locus)");
  app.add_flag("--quiet", o.quiet, "no progress line on standard error (default: off)");
  app.add_flag("--classic-rules", o.classic_rules,
               "fit and judge as the classic run does (one uniform start, floors, the 0.001 "
               "stop) instead of at the maximum of the likelihood (default: off)");
  app.add_option("--em-starts", o.em_starts,
                 "starts of each maximum-likelihood fit, the best kept (default: " +
                     std::to_string(common::DEFAULT_EM_STARTS) + ")")
      ->check(CLI::Range(1, common::MAX_EM_STARTS));
  app.add_option("--stop-after", o.stop_after,
                 "stop a test's permutations once H permuted statistics reach its observed "
                 "one (at or above it, ties within tau); p is then H / l, l the data sets "
                 "drawn (Besag and Clifford), an approximation the notes mark; the combined "
                 "test across populations is then not formed (default: off, every test draws "
                 "all)")
      ->check(CLI::Range(1, common::MAX_PERMUTATIONS));
  app.add_option("--shard", o.shard,
                 "compute shard K of N only (the default rules): its block of the pairs, or of "
                 "the permuted data sets; writes PREFIX.shard-K-of-N alone, which 'quarnel merge "
                 "--out PREFIX SHARD...' turns into the files of the whole run (default: the "
                 "whole run)");
  app.add_option("--min-frequency", o.min_frequency,
                 "least frequency of a value listed in PREFIX.frequencies.tsv, 0 to 1 "
                 "(default: 1e-6; with --classic-rules 0, every value of positive frequency)");
}

// What --pair-alleles needs: the pairs under the maximum-likelihood rules.
std::string pair_alleles_problem(const Options& o) {
  if (o.pair_alleles && !o.locus_pairs) {
    return "--pair-alleles needs --pairs (the overall test has no pairs of loci)";
  }
  if (o.pair_alleles && o.classic_rules) {
    return "--pair-alleles does not go with --classic-rules (the classic rules write the "
           "tables they always wrote)";
  }
  return {};
}

// Options of the maximum-likelihood rules given with --classic-rules.
std::string classic_rules_problem(const CLI::App& app, const Options& o) {
  if (o.classic_rules && app.count("--stop-after") > 0) {
    return "--stop-after does not go with --classic-rules (the classic rules draw every "
           "permuted data set)";
  }
  if (o.classic_rules && app.count("--em-starts") > 0) {
    return "--em-starts does not go with --classic-rules (the classic fit has one start)";
  }
  if (o.classic_rules && app.count("--shard") > 0) {
    return "--shard does not go with --classic-rules (only the default rules can replay the "
           "permutations of the data sets before a shard's block)";
  }
  return {};
}

// What --shard needs: K/N, shard K of N.
std::string shard_problem(const CLI::App& app, const Options& o) {
  if (app.count("--shard") > 0 && !parse_shard_part(o.shard)) {
    return "--shard needs K/N, shard K of N, with 1 <= K <= N <= " + std::to_string(MAX_SHARDS) +
           " (not '" + o.shard + "')";
  }
  return {};
}

// The options that exclude each other: the rules', --shard's, --pair-alleles'.
std::string combination_problem(const CLI::App& app, const Options& o) {
  for (const std::string& problem : {classic_rules_problem(app, o), shard_problem(app, o)}) {
    if (!problem.empty()) {
      return problem;
    }
  }
  return pair_alleles_problem(o);
}

// Options that belong to the other mode, or that exclude each other.
std::string mode_problem(const CLI::App& app, const Options& o) {
  const bool table = !o.genotypes.empty();
  for (const char* name :
       {"--format",        "--population-names", "--structure-rows", "--structure-columns",
        "--populations",   "--region",           "--delimiter",      "--population-column",
        "--id-column",     "--missing",          "--null",           "--alt",
        "--pairs",         "--pair-alleles",     "--loci",           "--quiet",
        "--classic-rules", "--em-starts",        "--min-frequency",  "--stop-after",
        "--shard"}) {
    if (!table && app.count(name) > 0) {
      return std::string(name) + " needs --genotypes TABLE";
    }
  }
  if (app.count("--genotypes") > 0 && o.genotypes.empty()) {
    return "--genotypes needs a file name";
  }
  // Given empty, it would silently mean "from the extension".
  if (app.count("--delimiter") > 0 && o.delimiter.empty()) {
    return "--delimiter needs one character or the word tab, not an empty value";
  }
  if (o.locus_pairs && (app.count("--null") > 0 || app.count("--alt") > 0)) {
    return "--null and --alt do not go with --pairs (every pair is tested alone)";
  }
  if (!o.locus_pairs && app.count("--loci") > 0 &&
      (app.count("--null") > 0 || app.count("--alt") > 0)) {
    return "--loci does not go with --null and --alt (the overall test takes its loci from them)";
  }
  if (o.locus_pairs && o.min_frequency) {
    return "--min-frequency does not go with --pairs (the pairs write no frequency table)";
  }
  // Written out so that nan, which every comparison refuses, is refused too.
  if (o.min_frequency && !(*o.min_frequency >= 0.0 && *o.min_frequency <= 1.0)) {
    return "--min-frequency must lie between 0 and 1";
  }
  if (app.count("--out") > 0 && o.out.empty()) {
    return "--out needs a prefix";
  }
  if (app.count("--max-memory") > 0 && !parse_memory_size(o.max_memory)) {
    return memory_size_problem(o.max_memory);
  }
  return combination_problem(app, o);
}

}  // namespace

common::RuleSet table_rules(const Options& options) {
  return options.classic_rules ? common::CLASSIC_RULES
                               : common::maximum_likelihood_rules(options.em_starts);
}

double table_min_frequency(const Options& options) {
  if (options.min_frequency) {
    return *options.min_frequency;
  }
  return options.classic_rules ? 0.0 : DEFAULT_MIN_FREQUENCY;
}

namespace {

ParsedCommand parse_merge(int argc, const char* const* argv) {
  ParsedCommand command;
  command.action = ParsedCommand::Action::merge;
  CLI::App app{
      "Merges the shard files PREFIX.shard-K-of-N of one run (quarnel ... --shard K/N\n"
      "--out PREFIX) into the files the whole run writes with --out PREFIX.",
      "quarnel merge"};
  app.add_option("--out", command.options.out, "prefix of the result files")->required();
  app.add_option("shards", command.shard_files, "the shard files 1 to N of the run, any order")
      ->required();
  try {
    app.parse(argc - 1, argv + 1);
  } catch (const CLI::CallForHelp&) {
    command.action = ParsedCommand::Action::help;
    command.text = app.help();
  } catch (const CLI::ParseError& error) {
    command.action = ParsedCommand::Action::usage_error;
    command.text = std::string("merge: ") + error.what();
  }
  if (command.action == ParsedCommand::Action::merge && command.options.out.empty()) {
    command.action = ParsedCommand::Action::usage_error;
    command.text = "merge: --out needs a prefix";
  }
  return command;
}

}  // namespace

ParsedCommand parse_options(int argc, const char* const* argv) {
  if (argc > 1 && std::string_view(argv[1]) == "merge") {
    return parse_merge(argc, argv);
  }
  ParsedCommand command;
  CLI::App app{std::string(DESCRIPTION), "quarnel"};
  app.set_version_flag("--version", "quarnel " QUARNEL_VERSION, "show the version and exit");
  add_common_options(app, command.options);
  add_table_options(app, command.options);
  add_format_options(app, command.options);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    command.action = ParsedCommand::Action::help;
    command.text = app.help();
    return command;
  } catch (const CLI::CallForVersion& version) {
    command.action = ParsedCommand::Action::version;
    command.text = std::string(version.what()) + "\n";
    return command;
  } catch (const CLI::ParseError& error) {
    command.action = ParsedCommand::Action::usage_error;
    command.text = error.what();
    return command;
  }
  command.text = mode_problem(app, command.options);
  if (!command.text.empty()) {
    command.action = ParsedCommand::Action::usage_error;
  }
  return command;
}

}  // namespace cli
