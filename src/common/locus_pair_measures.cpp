#include "common/locus_pair_measures.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

// The table divided by its sum, with its margins; empty when the sum is not positive.
struct NormalisedTable {
  std::vector<std::vector<double>> p;
  std::vector<double> p_margin;  // [allele at a]
  std::vector<double> q_margin;  // [allele at b]
};

NormalisedTable normalised(const std::vector<std::vector<double>>& frequency) {
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
  NormalisedTable table{std::vector<std::vector<double>>(k_a, std::vector<double>(k_b, 0.0)),
                        std::vector<double>(k_a, 0.0), std::vector<double>(k_b, 0.0)};
  for (int i = 0; i < k_a; ++i) {
    for (int j = 0; j < k_b; ++j) {
      table.p[i][j] = frequency[i][j] / total;
      table.p_margin[i] += table.p[i][j];
      table.q_margin[j] += table.p[i][j];
    }
  }
  return table;
}

double homozygosity(const std::vector<double>& margin) {
  double sum = 0.0;
  for (const double m : margin) {
    sum += m * m;
  }
  return sum;
}

}  // namespace

LocusPairMeasures locus_pair_measures(const std::vector<std::vector<double>>& frequency) {
  const NormalisedTable table = normalised(frequency);
  const int k = positive_count(table.p_margin);
  const int l = positive_count(table.q_margin);
  if (std::min(k, l) <= 1) {
    return {};
  }
  double d_prime = 0.0;
  double chi_sum = 0.0;
  double given_b_sum = 0.0;  // sum D_ij^2 / q_j
  double given_a_sum = 0.0;  // sum D_ij^2 / p_i
  for (const AllelePairCell& cell : allele_pair_cells(frequency)) {
    const double pi = table.p_margin[cell.allele_a];
    const double qj = table.q_margin[cell.allele_b];
    if (cell.d_max > 0.0) {
      d_prime += (cell.product * std::abs(cell.d)) / cell.d_max;
    }
    chi_sum += (cell.d * cell.d) / cell.product;
    given_b_sum += (cell.d * cell.d) / qj;
    given_a_sum += (cell.d * cell.d) / pi;
  }
  return {true, d_prime, std::sqrt(chi_sum / static_cast<double>(std::min(k, l) - 1)),
          std::sqrt(given_b_sum / (1.0 - homozygosity(table.p_margin))),
          std::sqrt(given_a_sum / (1.0 - homozygosity(table.q_margin)))};
}

std::vector<AllelePairCell> allele_pair_cells(const std::vector<std::vector<double>>& frequency) {
  const NormalisedTable table = normalised(frequency);
  std::vector<AllelePairCell> cells;
  for (int i = 0; i < count_of(table.p_margin); ++i) {
    for (int j = 0; j < count_of(table.q_margin); ++j) {
      const double pi = table.p_margin[i];
      const double qj = table.q_margin[j];
      if (!(pi > 0.0 && qj > 0.0)) {
        continue;
      }
      const double product = pi * qj;
      const double d = table.p[i][j] - product;
      const double dmax = d_max(pi, qj, d);
      cells.push_back({i, j, table.p[i][j], product, d, dmax,
                       dmax > 0.0 ? d / dmax : std::numeric_limits<double>::quiet_NaN()});
    }
  }
  return cells;
}

}  // namespace common
