#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "common/count.h"
#include "estimate/estimate_internal.h"
#include "estimate/packed_internal.h"

// The log-likelihood of a pass, exact or within a proven bound, and what the
// classic stopping rule decides from such values: an iteration needs the
// exact sum only where the bound leaves its decision open.

namespace estimate {

namespace {

// The decimal constant is a single-precision value widened to double,
// written as its exact double value; the results depend on these bits.
// 0.001 as a single-precision number: the log-likelihood change that ends the iterations.
constexpr double EM_TOLERANCE = 0.0010000000474974513;

[[nodiscard]] double magnitude(double x) { return x < 0.0 ? -x : x; }

}  // namespace

double exact_log_likelihood(const std::vector<double>& likelihood, double log_floor,
                            const EmTables& tables) {
  double sum = 0.0;
  for (int i = 0; i < common::count_of(tables.active_phenotype); ++i) {
    sum += tables.weight[i] * std::log(likelihood[tables.single.likelihood_at[i]] + log_floor);
  }
  return sum;
}

BoundedLogLikelihood approximate_log_likelihood(const std::vector<double>& likelihood,
                                                double log_floor, const EmTables& tables) {
  std::array<double, 3> sums{};  // of the terms, of their magnitudes, of the weights
  bool summed = false;
  if (tables.packed && packed_blocks_available() && &likelihood == &tables.single.likelihood) {
    summed = sum_terms_packed(tables.single, log_floor, sums);
  }
  if (!summed) {
    return {exact_log_likelihood(likelihood, log_floor, tables), 0.0};
  }
  // |approximate - exact| is at most the logarithms' errors (FAST_LOG_ERROR
  // here, one unit in the last place of the library's, under 2u|log|) plus
  // the rounding of both sums of n terms, each under (n + 1)u times the sum
  // of the terms' magnitudes; doubled, against the roundings of the bound.
  constexpr double u = std::numeric_limits<double>::epsilon() / 2.0;
  const auto n = static_cast<double>(likelihood.size());
  const double weight_sum = sums[2];
  const double terms = sums[1] + weight_sum * FAST_LOG_ERROR;
  const double bound = weight_sum * FAST_LOG_ERROR + (2.0 * u + 2.0 * (n + 1.0) * u) * terms;
  return {sums[0], 2.0 * bound};
}

bool fast_log8(const double* x, double* out, const EmTables& tables) {
  if (tables.packed && packed_blocks_available()) {
    fast_log8_packed(x, out);
    return true;
  }
  return false;
}

IterationDecision decide_iteration(int t, const BoundedLogLikelihood& now,
                                   const BoundedLogLikelihood& before) {
  IterationDecision decision;
  const double difference = now.value - before.value;
  decision.decreased = t > 2 && now.value < before.value;
  decision.converged = magnitude(difference) < EM_TOLERANCE;
  if (now.bound == 0.0 && before.bound == 0.0) {
    return decision;
  }
  // Beyond twice the bounds, and the roundings of the difference, the exact
  // values fall on the same side.
  const double largest = std::max({magnitude(now.value), magnitude(before.value), 1.0});
  const double margin =
      2.0 * (now.bound + before.bound) + 16.0 * std::numeric_limits<double>::epsilon() * largest;
  decision.certain = (t == 2 || magnitude(difference) > margin) &&
                     magnitude(magnitude(difference) - EM_TOLERANCE) > margin;
  return decision;
}

}  // namespace estimate
