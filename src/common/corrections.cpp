#include "common/corrections.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <string_view>

#include "common/count.h"

namespace common {
namespace {

// The indexes of the p-values that are not NaN, by ascending value; the sort
// is stable, so equal values keep their input order.
std::vector<int> ascending_order(std::span<const double> p_values) {
  std::vector<int> order;
  for (int k = 0; k < count_of(p_values); ++k) {
    if (!std::isnan(p_values[k])) {
      order.push_back(k);
    }
  }
  std::stable_sort(order.begin(), order.end(),
                   [&p_values](int x, int y) { return p_values[x] < p_values[y]; });
  return order;
}

std::vector<double> all_na(std::size_t count) {
  return std::vector<double>(count, std::numeric_limits<double>::quiet_NaN());
}

}  // namespace

std::vector<double> holm(std::span<const double> p_values) {
  std::vector<double> corrected = all_na(p_values.size());
  const std::vector<int> order = ascending_order(p_values);
  const double m = static_cast<double>(order.size());
  double running_max = 0.0;
  for (int i = 0; i < count_of(order); ++i) {
    const double step = std::min(1.0, (m - static_cast<double>(i)) * p_values[order[i]]);
    running_max = std::max(running_max, step);
    corrected[order[i]] = running_max;
  }
  return corrected;
}

std::vector<double> benjamini_hochberg(std::span<const double> p_values) {
  std::vector<double> corrected = all_na(p_values.size());
  const std::vector<int> order = ascending_order(p_values);
  const double m = static_cast<double>(order.size());
  double running_min = 1.0;
  for (int i = count_of(order) - 1; i >= 0; --i) {
    // m / j first: the largest p-value, and any with j = m, comes back
    // unchanged rather than a unit in the last place below itself.
    const double step = std::min(1.0, m / static_cast<double>(i + 1) * p_values[order[i]]);
    running_min = std::min(running_min, step);
    corrected[order[i]] = running_min;
  }
  return corrected;
}

void correct_locus_pairs(std::vector<LocusPairResult>& locus_pairs) {
  std::vector<double> p_values;
  std::map<std::string_view, std::vector<int>> by_population;
  for (int k = 0; k < count_of(locus_pairs); ++k) {
    const PopulationResult& result = locus_pairs[k].result;
    p_values.push_back(result.informative ? result.p_value
                                          : std::numeric_limits<double>::quiet_NaN());
    by_population[result.name].push_back(k);
  }
  const std::vector<double> bh_all = benjamini_hochberg(p_values);
  for (int k = 0; k < count_of(locus_pairs); ++k) {
    locus_pairs[k].p_bh_all = bh_all[k];
  }
  // Each population's family is corrected on its own; the map's order
  // reaches no output, since every row keeps its place.
  for (const auto& [name, rows] : by_population) {
    std::vector<double> family;
    for (const int k : rows) {
      family.push_back(p_values[k]);
    }
    const std::vector<double> p_holm = holm(family);
    const std::vector<double> p_bh = benjamini_hochberg(family);
    for (int r = 0; r < count_of(rows); ++r) {
      locus_pairs[rows[r]].p_holm = p_holm[r];
      locus_pairs[rows[r]].p_bh = p_bh[r];
    }
  }
}

}  // namespace common
