#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "common/limits.h"
#include "common/rules.h"
#include "common/tables.h"

// The run as data: what a front-end hands to the engine (RunInput, with the
// RunOptions of the command line) and what the engine hands back to the
// writers of the report and the result tables (RunResults). The engine cannot
// tell which front-end filled a RunInput.

namespace common {

// Everything the analysis reads. Indexes are 0-based (systems, alleles,
// populations, records, groups).
struct RunInput {
  // The systems with their alleles and code letters. The phenotype records
  // hold typings as allele_name texts (blank at the name width: missing).
  SystemTables systems;
  // The individuals, by population, each with its typings.
  Populations populations;
  Grouping null_grouping;
  Grouping alt_grouping;

  // Names for the result tables, in full: the locus of each system, the
  // allele names of each system ([system][allele]) and each population's name.
  std::vector<std::string> locus_names;
  std::vector<std::vector<std::string>> allele_names;
  std::vector<std::string> population_names;
  // Individuals left out of the analysis per population (genotype tables:
  // missing typings at two or more loci of the test); empty means none.
  std::vector<int> excluded_count;
  // [population]: the systems nobody of the population has typed, left out of
  // its test (genotype tables under the maximum-likelihood rules; their
  // typings are filled with one allele). Empty means none.
  std::vector<std::vector<int>> untyped_systems;

  // More distinct phenotypes than this in a data set stop the run with stop
  // code 105 (the classic data file's limit; a genotype table has none).
  int max_distinct_phenotypes = MAX_DISTINCT_PHENOTYPES;
};

struct RunOptions {
  int permutations = PERMUTATION_COUNT;  // permuted data sets, 1 .. MAX_PERMUTATIONS
  std::int32_t seed = 1;                 // generator seed, 1 .. MAX_SEED
  int threads = 1;                       // worker threads; no output byte depends on it
  // The rules the run follows (the classic run always has CLASSIC_RULES).
  RuleSet rules{};
  // Extra starts climbed on the observed data set's alternative fit only to
  // find frequencies of equal likelihood (FittedModel::equal_maxima); the
  // maximum-likelihood rules only. The estimate stays that of the rules' starts.
  int probe_starts = 0;
  // The sequential rule (maximum-likelihood rules only): a population's test
  // draws no more permuted data sets once this many stand at or above its
  // observed statistic (common::sequential_p); 0: off, every test draws all.
  int stop_after = 0;
  // Whether the summary table goes to the console as well as to the report
  // (false: the front-end shows a table of its own).
  bool console_summary = true;
  // Bytes the haplotype-pair lists of the run may take (those of a data set
  // and those kept for reuse); a data set that would need more stops the run
  // before its lists are built. 0: no limit.
  std::int64_t max_memory = 0;
  // A shard's block of the permuted data sets: only first .. last (1-based)
  // are built and estimated, after the shuffle's draws of those before are
  // replayed (no build, no estimation: the rules must keep the missing
  // patterns, so that every data set draws once). The results then hold the
  // observed fits and the block's statistics, unsummarised. nullopt: all.
  struct Block {
    int first = 1;
    int last = 0;
  };
  std::optional<Block> block;
  // Called after each data set with the number done and the total
  // (permutations + 1); may be empty. Runs on the driver's thread.
  std::function<void(int done, int total)> progress;
};

inline constexpr int MAX_PERMUTATIONS = 1000000;
// The generator's first state is 54773 - seed; a larger seed makes it negative.
inline constexpr std::int32_t MAX_SEED = 54773;

// One value of a group with its fitted frequency.
struct FittedValue {
  std::vector<int> alleles;  // [j]: 0-based allele at the group's j-th system
  double frequency = 0.0;
};

// A model fitted to the observed data set of one population.
struct FittedModel {
  double log_likelihood = 0.0;
  // [group]: the values of positive frequency, in no particular order.
  std::vector<std::vector<FittedValue>> values;
  // With RunOptions::probe_starts: other frequencies at the same maximum, each laid out as values.
  std::vector<std::vector<std::vector<FittedValue>>> equal_maxima;
};

// The result of one population's test.
struct PopulationResult {
  std::string name;     // in full
  int individuals = 0;  // individuals analysed (N)
  int excluded = 0;     // individuals left out
  FittedModel null_model;
  FittedModel alt_model;
  double observed_statistic = 0.0;
  std::vector<double> permuted_statistic;  // [data set - 1]
  // Degrees of freedom; df_defined is false when their products overflow 64 bits.
  std::int64_t degrees_of_freedom = 0;
  bool df_defined = true;
  int exceeding = 0;  // permuted statistics above the observed one
  int ties = 0;       // permuted statistics equal to it
  // The sequential rule stopped the test: permuted_statistic holds data sets
  // 1..l only and p = H / l (common::sequential_p).
  bool stopped_early = false;
  // tau: a permuted statistic this close to the observed one is a tie (0:
  // only an equal one is).
  double tie_tolerance = 0.0;
  // false: the test has no information (a null group untyped or
  // monomorphic in the population, or fewer than 2 individuals); no data
  // set is estimated for it and only individuals, excluded and notes mean
  // anything. Only the maximum-likelihood rules judge this.
  bool informative = true;
  // Fixed phrases on the test, in the order: no information, left out,
  // estimation cap, sparse.
  std::vector<std::string> notes;
  // Fits of this population's tests that reached the iteration limit.
  int capped_fits = 0;
  double p_value = 0.0;               // classic: exceeding / N; else as p_value_conservative
  double p_value_conservative = 0.0;  // (exceeding + ties + 1) / (N + 1)
  // The 95 % Clopper-Pearson interval of exceeding + ties out of N.
  double p_ci_low = 0.0;
  double p_ci_high = 1.0;
  double permutation_mean = 0.0;
  double permutation_variance = 0.0;  // divisor N; may be slightly negative
  // Its square root, the one every table shows; NaN (NA) where rounding
  // left the variance negative, or where nothing was permuted.
  double permutation_sd = std::numeric_limits<double>::quiet_NaN();
  bool xi_defined = false;  // false: variance <= 0, or df negative or undefined
  double ld_xi = 0.0;
  double ld_xi_std = 0.0;
};

struct RunResults {
  int permutations = 0;  // asked for; a test the sequential rule stopped drew fewer
  // The rules judged ties within a tolerance and the tables carry the
  // interval and the notes.
  bool judged_with_ties = false;
  std::vector<PopulationResult> populations;  // in input order
  // Attempts at permuted data sets that were abandoned and drawn again.
  int redrawn_attempts = 0;
  // EM estimations run, those that reached the iteration limit, and the
  // iterations (after the first) that lowered the log-likelihood.
  int estimations = 0;
  int not_converged = 0;
  int decreased_iterations = 0;
  int stop_after = 0;  // RunOptions::stop_after
};

}  // namespace common
