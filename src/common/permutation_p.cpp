#include "common/permutation_p.h"

#include <boost/math/distributions/beta.hpp>

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

}  // namespace common
