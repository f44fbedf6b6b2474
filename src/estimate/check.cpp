#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common/count.h"
#include "estimate/estimate.h"
#include "estimate/estimate_internal.h"

// The work tables' invariants, as the passes rely on them without checking:
// every index lands inside its table, every range is ordered, the scratch
// masses are back to 0 and each group's frequencies are a distribution.

namespace estimate {

namespace {

// Whether every entry of indices lies in [0, total).
[[nodiscard]] bool indices_within(const std::vector<int>& indices, int total) {
  for (const int k : indices) {
    if (k < 0 || k >= total) {
      return false;
    }
  }
  return true;
}

// Whether bounds rise from 0 (or stay) and end at total.
[[nodiscard]] bool ranges_ordered(const std::vector<int>& bounds, std::size_t from,
                                  std::size_t count, int total) {
  for (std::size_t k = from; k + 1 < from + count; ++k) {
    if (bounds[k] > bounds[k + 1] || bounds[k] < 0 || bounds[k + 1] > total) {
      return false;
    }
  }
  return true;
}

void check_layout(const EmTables& tables, std::vector<std::string>& faults) {
  const int flat_total = common::count_of(tables.current_frequency);
  const int active_total = common::count_of(tables.active_phenotype);
  const int group_total = common::count_of(tables.value_begin) - 1;
  if (group_total < 1 || tables.value_begin.front() != 0 ||
      tables.value_begin.back() != flat_total ||
      !ranges_ordered(tables.value_begin, 0, tables.value_begin.size(), flat_total)) {
    faults.emplace_back("value_begin does not partition the flat values");
    return;
  }
  if (common::count_of(tables.weight) != active_total) {
    faults.emplace_back("a weight per active phenotype");
  }
  const std::size_t ranges = static_cast<std::size_t>(active_total) + 1;
  for (int g = 0; g < group_total; ++g) {
    const std::size_t from = static_cast<std::size_t>(g) * ranges;
    if (!ranges_ordered(tables.estep_begin, from, ranges, common::count_of(tables.estep_first)) ||
        !ranges_ordered(tables.touched_begin, from, ranges, common::count_of(tables.touched))) {
      faults.emplace_back("E-step ranges of group " + std::to_string(g) + " out of order");
    }
  }
  if (!indices_within(tables.estep_first, flat_total) ||
      !indices_within(tables.estep_second, flat_total) ||
      !indices_within(tables.touched, flat_total)) {
    faults.emplace_back("an E-step index outside the flat values");
  }
  const int pair_total = tables.likelihood_begin.empty() ? 0 : tables.likelihood_begin.back();
  if (common::count_of(tables.likelihood_begin) != active_total + 1 ||
      !ranges_ordered(tables.likelihood_begin, 0, tables.likelihood_begin.size(), pair_total) ||
      common::count_of(tables.labels_differ) != pair_total ||
      common::count_of(tables.likelihood_first) != pair_total * group_total ||
      !indices_within(tables.likelihood_first, flat_total) ||
      !indices_within(tables.likelihood_second, flat_total)) {
    faults.emplace_back("likelihood pairs do not match the active phenotypes");
  }
}

void check_state(const EmTables& tables, std::vector<std::string>& faults) {
  for (const double mass : tables.phenotype_mass) {
    if (mass != 0.0) {
      faults.emplace_back("phenotype masses not cleared after the E-step");
      break;
    }
  }
  // The single-group tables belong to the last estimation only when it ran that pass.
  const SingleGroupTables& single = tables.single;
  const int flat_total = common::count_of(tables.current_frequency);
  const int group_total = common::count_of(tables.value_begin) - 1;
  if (likelihood_from_estep(group_total, tables) &&
      (!indices_within(single.first, flat_total) || !indices_within(single.second, flat_total) ||
       !indices_within(single.count_value, flat_total))) {
    faults.emplace_back("a single-group index outside the flat values");
  }
  for (std::size_t g = 0; g + 1 < tables.value_begin.size(); ++g) {
    double sum = 0.0;
    bool negative = false;
    for (int k = tables.value_begin[g]; k < tables.value_begin[g + 1]; ++k) {
      sum += tables.current_frequency[k];
      negative = negative || tables.current_frequency[k] < 0.0;
    }
    // Under a floor, a phenotype of too little mass adds nothing to the
    // counts, and the frequencies may sum to less than 1.
    const bool floored = tables.estep_floor[g] > std::numeric_limits<double>::denorm_min();
    if (negative || sum > 1.0 + 1e-9 || (!floored && sum < 1.0 - 1e-9)) {
      faults.emplace_back("frequencies of group " + std::to_string(g) +
                          " are no distribution (sum " + std::to_string(sum) + ")");
    }
  }
}

}  // namespace

std::vector<std::string> EmWorkspace::faults() const {
  std::vector<std::string> found;
  const EmTables& tables = *tables_;
  if (tables.active_phenotype.empty()) {
    return found;  // nothing estimated yet, or a population without individuals
  }
  check_layout(tables, found);
  if (found.empty()) {
    check_state(tables, found);
  }
  return found;
}

}  // namespace estimate
