#include "common/locus_pair_measures.h"

#include <algorithm>
#include <cmath>

#include "common/count.h"

namespace common {
namespace {

// The largest |D_ij| the margins allow, on the side of D_ij's sign.
double d_max(double p, double q, double d) {
  if (d < 0.0) {
    return std::min(p * q, (1.0 - p) * (1.0 - q));
  }
  return std::min(p * (1.0 - q), (1.0 - p) * q);
}

int positive_count(const std::vector<double>& margin) {
  int count = 0;
  for (const double m : margin) {
    if (m > 0.0) {
      ++count;
    }
  }
  return count;
}

}  // namespace

LocusPairMeasures locus_pair_measures(const std::vector<std::vector<double>>& frequency) {
  const int k_a = count_of(frequency);
  const int k_b = k_a == 0 ? 0 : count_of(frequency[0]);
  double total = 0.0;
  for (int i = 0; i < k_a; ++i) {
    for (int j = 0; j < k_b; ++j) {
      total += frequency[i][j];
    }
  }
  if (!(total > 0.0)) {
    return {};
  }
  std::vector<std::vector<double>> p(k_a, std::vector<double>(k_b, 0.0));
  std::vector<double> p_margin(k_a, 0.0);
  std::vector<double> q_margin(k_b, 0.0);
  for (int i = 0; i < k_a; ++i) {
    for (int j = 0; j < k_b; ++j) {
      p[i][j] = frequency[i][j] / total;
      p_margin[i] += p[i][j];
      q_margin[j] += p[i][j];
    }
  }
  const int k = positive_count(p_margin);
  const int l = positive_count(q_margin);
  if (std::min(k, l) <= 1) {
    return {};
  }
  double d_prime = 0.0;
  double chi_sum = 0.0;
  for (int i = 0; i < k_a; ++i) {
    for (int j = 0; j < k_b; ++j) {
      const double pi = p_margin[i];
      const double qj = q_margin[j];
      if (!(pi > 0.0 && qj > 0.0)) {
        continue;
      }
      const double d = p[i][j] - pi * qj;
      const double dmax = d_max(pi, qj, d);
      if (dmax > 0.0) {
        d_prime += ((pi * qj) * std::abs(d)) / dmax;
      }
      chi_sum += (d * d) / (pi * qj);
    }
  }
  return {true, d_prime, std::sqrt(chi_sum / static_cast<double>(std::min(k, l) - 1))};
}

}  // namespace common
