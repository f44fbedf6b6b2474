#pragma once

// The p-value of a permutation test and its interval, from the count of
// permuted statistics at or above the observed one.

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

}  // namespace common
