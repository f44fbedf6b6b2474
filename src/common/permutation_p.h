#pragma once

#include <span>
#include <string>

// The p-value of a permutation test and its interval, from the count of
// permuted statistics at or above the observed one, and the sequential rule
// (--stop-after) that decides how many permuted data sets a test draws.

namespace common {

// The 95 % Clopper-Pearson interval of x successes out of n trials (0 <= x <= n).
struct Interval {
  double low = 0.0;
  double high = 1.0;
};
[[nodiscard]] Interval clopper_pearson(int x, int n);

// p = (exceeding + ties + 1) / (permutations + 1), which counts the observed
// data set among the permuted ones and so is never 0, with the interval of
// exceeding + ties out of permutations.
struct PermutationP {
  double p_value = 1.0;
  Interval interval;
};
[[nodiscard]] PermutationP permutation_p(int exceeding, int ties, int permutations);

// tau of a test under the maximum-likelihood rules: two fits of the same data
// reach the same maximum only to within the likelihoods' rounding and
// stopping rule, so a permuted statistic within 1e-6 (|lnL0| + |lnL1|) +
// 1e-9 of the observed one (lnL0, lnL1 of the observed data set) is a tie.
[[nodiscard]] double tie_tolerance(double null_log_likelihood, double alt_log_likelihood);

// How a permuted statistic x stands against the observed one with tolerance
// tau: above it by more than tau exceeds, within tau is a tie.
enum class Standing { below, tie, exceeding };
[[nodiscard]] Standing standing_of(double x, double observed, double tolerance);

// A test judged on its permuted statistics 1..N under the sequential rule
// of Besag and Clifford (1991) with stop_after = H (0: off): the test draws
// data sets until H of them stand at or above the observed statistic
// (exceeding + ties), l being the data set that brings the count to H. Then
// p = H / l with the Clopper-Pearson interval of H out of l. A test that
// never reaches H (or with the rule off) draws all N and has the usual p.
// exceeding and ties count data sets 1..l only. The statistics after l
// decide nothing: a run that stopped at l and one that drew all N give the
// same result, which is what lets a merge of shards drop what follows l.
struct SequentialP {
  int drawn = 0;  // l: the permuted data sets that count, 1..N (N when not stopped)
  int exceeding = 0;
  int ties = 0;
  bool stopped = false;  // H reached: p = H / l
  PermutationP p;
};
[[nodiscard]] SequentialP sequential_p(double observed, double tolerance, int stop_after,
                                       std::span<const double> permuted);

// The note of a stopped test, e.g. "sequential: stopped after 20 of 143
// permuted data sets at or above the observed statistic; p = 20 / 143 is
// approximate".
[[nodiscard]] std::string sequential_note(int stop_after, int drawn);

}  // namespace common
