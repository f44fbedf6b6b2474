#include "common/pair_measures.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace common {
namespace {

// The haplotype frequencies divided by their sum: a phenotype under the
// E-step floor can leave the sum a little below 1.
std::vector<std::vector<double>> normalised(const std::vector<std::vector<double>>& frequency) {
  double total = 0.0;
  for (const std::vector<double>& row : frequency) {
    for (const double f : row) {
      total += f;
    }
  }
  std::vector<std::vector<double>> p = frequency;
  for (std::vector<double>& row : p) {
    for (double& f : row) {
      f = total > 0.0 ? f / total : 0.0;
    }
  }
  return p;
}

}  // namespace

PairMeasures pair_measures(const std::vector<std::vector<double>>& frequency) {
  const std::vector<std::vector<double>> p = normalised(frequency);
  const std::size_t rows = p.size();
  const std::size_t columns = rows > 0 ? p[0].size() : 0;
  std::vector<double> first(rows, 0.0);
  std::vector<double> second(columns, 0.0);
  for (std::size_t i = 0; i < rows; ++i) {
    for (std::size_t j = 0; j < columns; ++j) {
      first[i] += p[i][j];
    }
  }
  for (std::size_t j = 0; j < columns; ++j) {
    for (std::size_t i = 0; i < rows; ++i) {
      second[j] += p[i][j];
    }
  }
  const auto positive = [](const std::vector<double>& margin) {
    return static_cast<int>(std::count_if(margin.begin(), margin.end(),
                                          [](double f) { return f > 0.0; }));
  };
  const int k = positive(first);
  const int l = positive(second);
  PairMeasures measures;
  if (std::min(k, l) <= 1) {
    return measures;
  }
  double d_prime = 0.0;
  double chi = 0.0;
  for (std::size_t i = 0; i < rows; ++i) {
    for (std::size_t j = 0; j < columns; ++j) {
      const double pi = first[i];
      const double qj = second[j];
      if (!(pi > 0.0) || !(qj > 0.0)) {
        continue;
      }
      const double expected = pi * qj;
      const double d = p[i][j] - expected;
      const double d_max = d < 0.0 ? std::min(expected, (1.0 - pi) * (1.0 - qj))
                                   : std::min(pi * (1.0 - qj), (1.0 - pi) * qj);
      if (d_max != 0.0) {
        d_prime += (expected * std::fabs(d)) / d_max;
      }
      chi += d * d / expected;
    }
  }
  measures.defined = true;
  measures.d_prime = d_prime;
  measures.wn = std::sqrt(chi / static_cast<double>(std::min(k, l) - 1));
  return measures;
}

}  // namespace common
