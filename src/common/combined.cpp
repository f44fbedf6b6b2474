#include "common/combined.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include "common/corrections.h"
#include "common/count.h"
#include "common/permutation_p.h"

namespace common {
namespace {

// The note of a combined test: how many populations were left out, or that
// none is left.
std::string combined_note(int taking_part, int left_out) {
  if (taking_part == 0) {
    return "no population with a test";
  }
  if (left_out == 0) {
    return {};
  }
  return "left out: " + std::to_string(left_out) + " of " + std::to_string(taking_part + left_out) +
         " populations without a test";
}

// ln(e^a + e^b), exact where one of them is -infinity.
double log_sum(double a, double b) {
  const double high = std::max(a, b);
  const double low = std::min(a, b);
  if (std::isinf(low)) {
    return high;
  }
  return high + std::log1p(std::exp(low - high));
}

}  // namespace

double fisher_p(std::span<const double> p_values) {
  if (p_values.empty()) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  double half_x = 0.0;  // X / 2 = -sum ln p
  for (const double p : p_values) {
    half_x -= std::log(p);
  }
  // Terms ln((X/2)^i / i!) - X/2, i = 0..P-1; at X = 0 only the first is 1.
  const double log_half_x = std::log(half_x);
  double log_term = -half_x;
  double log_q = log_term;
  for (int i = 1; i < count_of(p_values); ++i) {
    log_term += log_half_x - std::log(static_cast<double>(i));
    log_q = log_sum(log_q, log_term);
  }
  return std::min(1.0, std::exp(log_q));
}

CombinedTest combined_test(std::span<const PopulationResult* const> populations) {
  CombinedTest test;
  std::vector<const PopulationResult*> taking_part;
  for (const PopulationResult* result : populations) {
    if (result->informative && !result->permuted_statistic.empty()) {
      taking_part.push_back(result);
    }
  }
  test.populations = count_of(taking_part);
  test.left_out = count_of(populations) - test.populations;
  test.note = combined_note(test.populations, test.left_out);
  if (taking_part.empty()) {
    return test;
  }
  int n = count_of(taking_part[0]->permuted_statistic);
  double statistic = 0.0;
  double tolerance = 0.0;
  std::vector<double> p_values;
  for (const PopulationResult* result : taking_part) {
    n = std::min(n, count_of(result->permuted_statistic));
    statistic += result->observed_statistic;
    tolerance += result->tie_tolerance;
    p_values.push_back(result->p_value);
  }
  for (int k = 0; k < n; ++k) {
    double sum = 0.0;
    for (const PopulationResult* result : taking_part) {
      sum += result->permuted_statistic[k];
    }
    if (sum > statistic + tolerance) {
      ++test.exceeding;
    } else if (std::fabs(sum - statistic) <= tolerance) {
      ++test.ties;
    }
  }
  test.statistic = statistic;
  test.permutations = n;
  const PermutationP p = permutation_p(test.exceeding, test.ties, n);
  test.p_value = p.p_value;
  test.p_ci_low = p.interval.low;
  test.p_ci_high = p.interval.high;
  test.p_fisher = fisher_p(p_values);
  return test;
}

CombinedTests combined_locus_pairs(const std::vector<LocusPairResult>& locus_pairs) {
  CombinedTests tests;
  std::vector<CombinedPair>& pairs = tests.pairs;
  std::vector<std::vector<const PopulationResult*>> members;
  std::map<std::pair<int, int>, int> index;  // (locus_a, locus_b): 0-based row
  for (const LocusPairResult& row : locus_pairs) {
    const auto [at, added] = index.try_emplace({row.locus_a, row.locus_b}, count_of(pairs));
    if (added) {
      pairs.push_back({row.locus_a, row.locus_b, {}});
      members.emplace_back();
    }
    members[static_cast<std::size_t>(at->second)].push_back(&row.result);
  }
  std::vector<double> p_values;
  for (int k = 0; k < count_of(pairs); ++k) {
    pairs[k].test = combined_test(members[k]);
    p_values.push_back(pairs[k].test.p_value);
  }
  const std::vector<double> p_holm = holm(p_values);
  const std::vector<double> p_bh = benjamini_hochberg(p_values);
  for (int k = 0; k < count_of(pairs); ++k) {
    pairs[k].test.p_holm = p_holm[k];
    pairs[k].test.p_bh = p_bh[k];
  }
  return tests;
}

CombinedTests combined_overall(const RunResults& results) {
  std::vector<const PopulationResult*> populations;
  for (const PopulationResult& result : results.populations) {
    populations.push_back(&result);
  }
  return {combined_test(populations), {}};
}

namespace {

void not_combined(CombinedTest& test) {
  const CombinedTest empty;
  test.permutations = 0;
  test.exceeding = 0;
  test.ties = 0;
  test.p_value = empty.p_value;
  test.p_ci_low = empty.p_ci_low;
  test.p_ci_high = empty.p_ci_high;
  test.p_fisher = empty.p_fisher;
  test.p_holm = empty.p_holm;
  test.p_bh = empty.p_bh;
  test.note = "sequential: not combined";
}

}  // namespace

void mark_not_combined(CombinedTests& tests) {
  not_combined(tests.overall);
  for (CombinedPair& pair : tests.pairs) {
    not_combined(pair.test);
  }
}

}  // namespace common
