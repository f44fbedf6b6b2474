#include <algorithm>
#include <cassert>
#include <vector>

#include "common/count.h"
#include "estimate/estimate.h"
#include "estimate/estimate_internal.h"

// The set-up of an estimation: the phenotypes that take part, the numbering
// of the values their pairs carry, the E-step's and the likelihood's pair
// lists, and the uniform start.

namespace estimate {

namespace {

// 1.0E-6 as a single-precision number (the exact double value of it): a
// phenotype whose summed pair probability at a group is below it adds
// nothing to that group's counts.
constexpr double PAIR_MASS_FLOOR = 9.999999974752427E-7;

}  // namespace

// Phenotypes of weight 0 are left out of every loop. In the plain algorithm
// they add w(d) x m = +0 to the masses, +0 / total to the expected counts
// and 0 x ln(L(d) + floor) = -0 or +0 (the floor keeps the logarithm finite)
// to the log-likelihood; none of these changes a sum that is never -0.
void select_active_phenotypes(const EmInput& input, EmTables& tables) {
  tables.active_phenotype.clear();
  tables.weight.clear();
  for (int d = 0; d < common::count_of(input.pair_labels); ++d) {
    if (input.phenotype_count[d] > 0) {
      tables.active_phenotype.push_back(d);
      tables.weight.push_back(static_cast<double>(input.phenotype_count[d]));
    }
  }
}

namespace {

// Marks every pair of slots [0, pair_total) that repeats the ordered value
// pair of an earlier slot; the value indices of slot p stand at
// start + p * stride in likelihood_first and likelihood_second. Sorting
// (value pair, slot) keys puts the earliest slot of each value pair first; the
// keys are unique, so no order is left open.
void mark_repeated_pairs(int start, int stride, int pair_total, EmTables& tables) {
  tables.repeated.assign(static_cast<std::size_t>(pair_total), 0);
  if (pair_total < 2) {
    return;
  }
  // A short list (most phenotypes) is compared pair with pair: the same
  // marks without the sort.
  constexpr int compared_up_to = 16;
  if (pair_total <= compared_up_to) {
    for (int p = 1; p < pair_total; ++p) {
      const int at = start + p * stride;
      for (int q = 0; q < p; ++q) {
        const int earlier = start + q * stride;
        if (tables.likelihood_first[earlier] == tables.likelihood_first[at] &&
            tables.likelihood_second[earlier] == tables.likelihood_second[at]) {
          tables.repeated[p] = 1;
          break;
        }
      }
    }
    return;
  }
  tables.pair_keys.clear();
  for (int p = 0; p < pair_total; ++p) {
    const int at = start + p * stride;
    const std::int64_t key = (static_cast<std::int64_t>(tables.likelihood_first[at]) << 32) |
                             tables.likelihood_second[at];
    tables.pair_keys.emplace_back(key, p);
  }
  std::sort(tables.pair_keys.begin(), tables.pair_keys.end());
  for (int k = 1; k < pair_total; ++k) {
    if (tables.pair_keys[k].first == tables.pair_keys[k - 1].first) {
      tables.repeated[tables.pair_keys[k].second] = 1;
    }
  }
}

void touch(int flat, int i, EmTables& tables) {
  if (tables.touched_mark[flat] != i) {
    tables.touched_mark[flat] = i;
    tables.touched.push_back(flat);
  }
}

// The E-step pairs of active phenotype i at group g: its value pairs in slot
// order, each ordered pair once, and the values they touch.
void keep_distinct_pairs(int g, int i, int group_total, EmTables& tables) {
  const int begin = tables.likelihood_begin[i];
  const int pair_total = tables.likelihood_begin[i + 1] - begin;
  const int start = begin * group_total + g;
  mark_repeated_pairs(start, group_total, pair_total, tables);
  for (int p = 0; p < pair_total; ++p) {
    if (tables.repeated[p] == 0) {
      const int a = tables.likelihood_first[start + p * group_total];
      const int b = tables.likelihood_second[start + p * group_total];
      tables.estep_first.push_back(a);
      tables.estep_second.push_back(b);
      touch(a, i, tables);
      touch(b, i, tables);
    }
  }
}

// The E-step floor of a group of value_total values: PAIR_MASS_FLOOR up to
// MAX_HAPLOTYPES values; beyond, scaled by r^2 with r = MAX_HAPLOTYPES / V,
// so that the smallest start mass (a one-pair homozygote, 1 / V^2) stands to
// the floor as it does at MAX_HAPLOTYPES values. Without the scaling the
// first E-step of a large group would drop every phenotype.
[[nodiscard]] double estep_floor(double value_total) {
  constexpr double scaled_from = common::MAX_HAPLOTYPES;
  if (value_total <= scaled_from) {
    return PAIR_MASS_FLOOR;
  }
  const double r = scaled_from / value_total;
  return (PAIR_MASS_FLOOR * r) * r;
}

// Value indices of group g for every pair of every active phenotype, for the
// likelihood (all pairs) and for the E-step (repeated ordered pairs left out).
// The values are numbered in order of first use.
void prepare_group(const EmInput& input, int g, EmTables& tables) {
  const int active_total = common::count_of(tables.active_phenotype);
  const int group_total = input.grouping.group_total();
  GroupValueIndex& index = tables.value_index[g];
  index.start(std::span<const int>(input.grouping.group_systems[g].data(),
                                   static_cast<std::size_t>(input.grouping.group_size(g))));
  const int first_flat = tables.value_begin[g];
  const int ranges = g * (active_total + 1);  // this group's entries of estep_begin, touched_begin
  // The first group's pass also notes which pairs join two different whole
  // labels.
  const bool first_group = g == 0;
  if (first_group) {
    tables.labels_differ.clear();
  }
  for (int i = 0; i < active_total; ++i) {
    const common::PairList& pairs = *input.pair_labels[tables.active_phenotype[i]];
    for (int p = 0; p < pairs.pair_total(); ++p) {
      const int slot = (tables.likelihood_begin[i] + p) * group_total + g;
      tables.likelihood_first[slot] = first_flat + index.number_of(pairs.first[p]);
      tables.likelihood_second[slot] = first_flat + index.number_of(pairs.second[p]);
      if (first_group) {
        tables.labels_differ.push_back(pairs.first[p] != pairs.second[p] ? 1 : 0);
      }
    }
    tables.touched_mark.resize(static_cast<std::size_t>(first_flat) + index.value_count(), -1);
    tables.estep_begin[ranges + i] = common::count_of(tables.estep_first);
    tables.touched_begin[ranges + i] = common::count_of(tables.touched);
    keep_distinct_pairs(g, i, group_total, tables);
  }
  tables.estep_begin[ranges + active_total] = common::count_of(tables.estep_first);
  tables.touched_begin[ranges + active_total] = common::count_of(tables.touched);
  tables.value_begin[g + 1] = first_flat + index.value_count();
}

// Where each active phenotype's pairs start.
void list_pairs(const EmInput& input, EmTables& tables) {
  const int active_total = common::count_of(tables.active_phenotype);
  tables.likelihood_begin.assign(static_cast<std::size_t>(active_total) + 1, 0);
  for (int i = 0; i < active_total; ++i) {
    assert(input.pair_labels[tables.active_phenotype[i]] != nullptr);
    const common::PairList& pairs = *input.pair_labels[tables.active_phenotype[i]];
    tables.likelihood_begin[i + 1] = tables.likelihood_begin[i] + pairs.pair_total();
  }
}

// Every frequency of a group starts at 1 / group_value_total; each group
// gets its E-step floor.
void start_uniform(const common::Grouping& grouping, EmTables& tables) {
  const int flat_total = tables.value_begin[grouping.group_total()];
  tables.current_frequency.resize(static_cast<std::size_t>(flat_total));
  tables.previous_frequency.resize(static_cast<std::size_t>(flat_total));
  tables.expected_count.resize(static_cast<std::size_t>(flat_total));
  tables.phenotype_mass.assign(static_cast<std::size_t>(flat_total), 0.0);
  tables.estep_floor.resize(static_cast<std::size_t>(grouping.group_total()));
  for (int g = 0; g < grouping.group_total(); ++g) {
    const double uniform = 1.0 / grouping.group_value_total[g];
    tables.estep_floor[g] = estep_floor(grouping.group_value_total[g]);
    for (int flat = tables.value_begin[g]; flat < tables.value_begin[g + 1]; ++flat) {
      tables.current_frequency[flat] = uniform;
    }
  }
}

// Value indices of every group and the uniform start.
}  // namespace

void prepare(const EmInput& input, EmTables& tables) {
  const int group_total = input.grouping.group_total();
  const int active_total = common::count_of(tables.active_phenotype);
  list_pairs(input, tables);
  const std::size_t index_total =
      static_cast<std::size_t>(tables.likelihood_begin[active_total]) * group_total;
  tables.likelihood_first.assign(index_total, 0);
  tables.likelihood_second.assign(index_total, 0);

  const std::size_t range_total = static_cast<std::size_t>(group_total) * (active_total + 1);
  tables.estep_begin.assign(range_total, 0);
  tables.touched_begin.assign(range_total, 0);
  tables.estep_first.clear();
  tables.estep_second.clear();
  tables.touched.clear();
  tables.touched_mark.clear();
  tables.value_begin.assign(static_cast<std::size_t>(group_total) + 1, 0);
  if (common::count_of(tables.value_index) < group_total) {
    tables.value_index.resize(static_cast<std::size_t>(group_total));
  }
  for (int g = 0; g < group_total; ++g) {
    prepare_group(input, g, tables);
  }
  start_uniform(input.grouping, tables);
}

}  // namespace estimate
