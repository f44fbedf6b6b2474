#include "common/permutation_p.h"

#include <boost/math/distributions/beta.hpp>
#include <cmath>

#include "common/count.h"

namespace common {

Interval clopper_pearson(int x, int n) {
  Interval interval;
  if (x > 0) {
    interval.low =
        boost::math::quantile(boost::math::beta_distribution<double>(x, n - x + 1), 0.025);
  }
  if (x < n) {
    interval.high =
        boost::math::quantile(boost::math::beta_distribution<double>(x + 1, n - x), 0.975);
  }
  return interval;
}

PermutationP permutation_p(int exceeding, int ties, int permutations) {
  const int at_least = exceeding + ties;
  return {static_cast<double>(at_least + 1) / (static_cast<double>(permutations) + 1.0),
          clopper_pearson(at_least, permutations)};
}

double tie_tolerance(double null_log_likelihood, double alt_log_likelihood) {
  return 1e-6 * (std::fabs(null_log_likelihood) + std::fabs(alt_log_likelihood)) + 1e-9;
}

Standing standing_of(double x, double observed, double tolerance) {
  if (x > observed + tolerance) {
    return Standing::exceeding;
  }
  return std::fabs(x - observed) <= tolerance ? Standing::tie : Standing::below;
}

SequentialP sequential_p(double observed, double tolerance, int stop_after,
                         std::span<const double> permuted) {
  SequentialP result;
  for (const double x : permuted) {
    ++result.drawn;
    const Standing standing = standing_of(x, observed, tolerance);
    result.exceeding += standing == Standing::exceeding ? 1 : 0;
    result.ties += standing == Standing::tie ? 1 : 0;
    if (stop_after > 0 && result.exceeding + result.ties == stop_after) {
      result.stopped = true;
      break;
    }
  }
  if (result.stopped) {
    result.p = {static_cast<double>(stop_after) / static_cast<double>(result.drawn),
                clopper_pearson(stop_after, result.drawn)};
  } else {
    result.p = permutation_p(result.exceeding, result.ties, count_of(permuted));
  }
  return result;
}

std::string sequential_note(int stop_after, int drawn) {
  const std::string h = std::to_string(stop_after);
  const std::string l = std::to_string(drawn);
  return "sequential: stopped after " + h + " of " + l +
         " permuted data sets at or above the observed statistic; p = " + h + " / " + l +
         " is approximate";
}

}  // namespace common
