#pragma once

#include <limits>
#include <span>
#include <string>
#include <vector>

#include "common/locus_pair_result.h"
#include "common/run.h"

// The test across populations: the populations' statistics summed and
// judged against the sums of their permuted statistics, and Fisher's
// combination of their p-values.

namespace common {

// One combined test. Figures are NaN (NA) when no population takes part.
struct CombinedTest {
  int populations = 0;  // populations that take part
  int left_out = 0;     // populations without information (or refused), left out
  double statistic = std::numeric_limits<double>::quiet_NaN();  // S
  int permutations = 0;                                         // N: sums S_k formed, k = 1..N
  int exceeding = 0;                                            // S_k > S + tau
  int ties = 0;  // |S_k - S| <= tau, tau the sum of the populations' tau
  double p_value = std::numeric_limits<double>::quiet_NaN();
  double p_ci_low = std::numeric_limits<double>::quiet_NaN();
  double p_ci_high = std::numeric_limits<double>::quiet_NaN();
  double p_fisher = std::numeric_limits<double>::quiet_NaN();
  // Holm and Benjamini-Hochberg over the pairs' combined p_value (pairs only).
  double p_holm = std::numeric_limits<double>::quiet_NaN();
  double p_bh = std::numeric_limits<double>::quiet_NaN();
  std::string note;  // who was left out, or why there is no test
};

// The combined test of the populations' results (a population without
// information takes no part). Permutations are independent across
// populations, so the k-th sum is a draw of S under the combined null: an
// exact permutation test, p and its interval as for one population. The sums
// run over the populations in the given order. N is the least count of
// permuted statistics among them (every population of a run has the same).
[[nodiscard]] CombinedTest combined_test(std::span<const PopulationResult* const> populations);

// Fisher's combination of P p-values (each in (0, 1]): X = -2 sum ln p
// against chi-square with 2P degrees of freedom, Q = exp(-X/2) sum_{i<P}
// (X/2)^i / i!, the terms summed in log space; NaN for no p-value.
[[nodiscard]] double fisher_p(std::span<const double> p_values);

// One locus pair's combined test (0-based loci of the run).
struct CombinedPair {
  int locus_a = 0;
  int locus_b = 0;
  CombinedTest test;
};

// What PREFIX.combined.tsv shows: the overall test's row, or one row per pair.
struct CombinedTests {
  CombinedTest overall;             // the overall test (not in pair runs)
  std::vector<CombinedPair> pairs;  // pair runs
};

// The combined overall test of a run's populations, in input order.
[[nodiscard]] CombinedTests combined_overall(const RunResults& results);

// The combined test of each locus pair over the populations of the run
// (rows in the order the pairs first appear), with Holm and
// Benjamini-Hochberg over the pairs' combined p-values.
[[nodiscard]] CombinedTests combined_locus_pairs(const std::vector<LocusPairResult>& locus_pairs);

// Under the sequential rule (--stop-after) each population's test drew its
// own number of data sets and its p is H / l, so neither the sums nor
// Fisher's combination make an exact test: every combined test (the overall
// one and each pair's) keeps its statistic and populations but has no
// permutations, NA p-values and the note "sequential: not combined".
void mark_not_combined(CombinedTests& tests);

}  // namespace common
