#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <vector>

#include "common/count.h"
#include "estimate/estimate_internal.h"
#include "estimate/packed_internal.h"

// The single-group pass. Its operations are those of the E-step and the
// likelihood of em.cpp, value for value and in the same order; only the
// order in which phenotypes are visited changes, and no result of one
// phenotype depends on another until the counts are summed, which happens
// afterwards in phenotype order.

namespace estimate {

namespace {

using Tables = SingleGroupTables;
constexpr int LANES = Tables::LANES;

// Phenotypes of more pairs run alone: a block would hold them for little gain.
constexpr int BLOCKED_UP_TO = 64;

[[nodiscard]] bool runs_in_block(int i, const EmTables& tables) {
  const int begin = tables.estep_begin[i];
  const int end = tables.estep_begin[i + 1];
  if (end - begin > BLOCKED_UP_TO ||
      end - begin != tables.likelihood_begin[i + 1] - tables.likelihood_begin[i]) {
    return false;  // too long, or an ordered pair repeats
  }
  int value_places = 0;  // values of the pairs, a pair of equal values counted once
  for (int e = begin; e < end; ++e) {
    value_places += tables.estep_first[e] == tables.estep_second[e] ? 1 : 2;
  }
  return value_places == tables.touched_begin[i + 1] - tables.touched_begin[i];
}

// Appends one block of the given phenotypes (at most LANES, all of n pairs);
// empty lanes carry value 0 and weight 0, and their results are never read.
void add_block(int n, std::span<const int> lanes, EmTables& tables) {
  Tables& single = tables.single;
  const int k = common::count_of(single.block_pair_count);
  const int begin = common::count_of(single.first);
  single.block_pair_count.push_back(n);
  single.block_begin.push_back(begin);
  const std::size_t size = static_cast<std::size_t>(begin) + static_cast<std::size_t>(n) * LANES;
  single.first.resize(size, 0);
  single.second.resize(size, 0);
  single.heterozygote.resize(size, 1.0);
  single.homozygote.resize(size, 1.0);
  single.block_weight.resize(static_cast<std::size_t>(k + 1) * LANES, 0.0);
  for (int l = 0; l < common::count_of(lanes); ++l) {
    const int i = lanes[l];
    single.block_weight[k * LANES + l] = tables.weight[i];
    single.likelihood_at[i] = k * LANES + l;
    for (int p = 0; p < n; ++p) {
      const int at = begin + p * LANES + l;
      const int a = tables.estep_first[tables.estep_begin[i] + p];
      const int b = tables.estep_second[tables.estep_begin[i] + p];
      single.first[at] = a;
      single.second[at] = b;
      single.heterozygote[at] = pair_factor(a != b);
      single.homozygote[at] = a != b ? 1.0 : 2.0;
    }
  }
}

// The additions to the expected counts, in phenotype order: both values of
// a pair of a blocked phenotype get the pair's share, the second value of a
// pair of equal values left out (its share would be added twice). A
// phenotype alone adds its own shares when its turn comes: the additions
// come in segments, each followed by a phenotype alone (or by none, last).
void list_count_additions(EmTables& tables) {
  Tables& single = tables.single;
  single.count_value.clear();
  single.count_share.clear();
  single.segment_end.clear();
  single.segment_alone.clear();
  int n = 0;  // the next phenotype alone
  for (int i = 0; i < common::count_of(tables.active_phenotype); ++i) {
    if (n < common::count_of(single.alone) && single.alone[n] == i) {
      single.segment_end.push_back(common::count_of(single.count_value));
      single.segment_alone.push_back(n++);
      continue;
    }
    const int k = single.likelihood_at[i] / LANES;
    const int l = single.likelihood_at[i] % LANES;
    for (int p = 0; p < single.block_pair_count[k]; ++p) {
      const int at = single.block_begin[k] + p * LANES + l;
      single.count_value.push_back(single.first[at]);
      single.count_share.push_back(at);
      if (single.second[at] != single.first[at]) {
        single.count_value.push_back(single.second[at]);
        single.count_share.push_back(at);
      }
    }
  }
  single.segment_end.push_back(common::count_of(single.count_value));
  single.segment_alone.push_back(-1);
}

// One block, lane by lane: per pair m = f(a) x f(b) x (2 or 1; x 1 is
// exact), the total mass summed in slot order is the likelihood, and the
// pair's share is w x m (the E-step's +0 + w x m) or, for equal values,
// w x m x 2 (its w x m + w x m), divided by the total mass when the total
// reaches the floor, else 0 (no addition, as +0 leaves a count unchanged).
void run_block_lanes(int k, const double* frequency, double floor, Tables& single) {
  const int n = single.block_pair_count[k];
  const int begin = single.block_begin[k];
  for (int l = 0; l < LANES; ++l) {
    double total_mass = 0.0;
    for (int p = 0; p < n; ++p) {
      const int at = begin + p * LANES + l;
      const double m = pair_mass(frequency[single.first[at]], frequency[single.second[at]],
                                 single.heterozygote[at]);
      single.share[at] = m;
      total_mass += m;
    }
    single.likelihood[k * LANES + l] = total_mass;
    const bool counted = (total_mass < 0.0 ? -total_mass : total_mass) >= floor;
    const double w = single.block_weight[k * LANES + l];
    for (int p = 0; p < n; ++p) {
      const int at = begin + p * LANES + l;
      single.share[at] =
          counted ? (w * single.share[at] * single.homozygote[at]) / total_mass : 0.0;
    }
  }
}

// A phenotype alone, as the E-step runs it, its shares added to the counts;
// with a repeated ordered pair its likelihood is summed over all its pairs.
void run_alone(int n, const std::vector<double>& frequency, EmTables& tables) {
  Tables& single = tables.single;
  const int i = single.alone[n];
  const double total_mass = expect_phenotype(0, i, frequency, tables);
  const bool repeats = tables.estep_begin[i + 1] - tables.estep_begin[i] !=
                       tables.likelihood_begin[i + 1] - tables.likelihood_begin[i];
  single.likelihood[single.likelihood_at[i]] =
      repeats ? phenotype_likelihood(i, 1, tables) : total_mass;
}

[[nodiscard]] bool processor_has_packed_blocks() { return packed_blocks_available(); }

}  // namespace

void prepare_single_group(EmTables& tables) {
  Tables& single = tables.single;
  const int active_total = common::count_of(tables.active_phenotype);
  single.block_pair_count.clear();
  single.block_begin.clear();
  single.first.clear();
  single.second.clear();
  single.heterozygote.clear();
  single.homozygote.clear();
  single.block_weight.clear();
  single.alone.clear();
  single.likelihood_at.assign(static_cast<std::size_t>(active_total), -1);

  // Blocked phenotypes by pair count (a counting sort: each count's in
  // phenotype order), then cut into blocks.
  std::vector<int>& pairs_of = single.pairs_of;
  std::vector<int>& sorted = single.sorted;
  pairs_of.assign(static_cast<std::size_t>(active_total), 0);
  std::array<int, BLOCKED_UP_TO + 2> start{};
  for (int i = 0; i < active_total; ++i) {
    if (runs_in_block(i, tables)) {
      pairs_of[i] = tables.estep_begin[i + 1] - tables.estep_begin[i];
      ++start[pairs_of[i] + 1];
    } else {
      single.alone.push_back(i);
    }
  }
  for (int n = 1; n <= BLOCKED_UP_TO + 1; ++n) {
    start[n] += start[n - 1];
  }
  sorted.assign(static_cast<std::size_t>(start[BLOCKED_UP_TO + 1]), -1);
  std::array<int, BLOCKED_UP_TO + 2> next = start;
  for (int i = 0; i < active_total; ++i) {
    if (pairs_of[i] > 0) {
      sorted[next[pairs_of[i]]++] = i;
    }
  }
  for (int n = 1; n <= BLOCKED_UP_TO; ++n) {
    for (int from = start[n]; from < start[n + 1]; from += LANES) {
      const int to = std::min(start[n + 1], from + LANES);
      add_block(n, std::span<const int>(sorted.data() + from, static_cast<std::size_t>(to - from)),
                tables);
    }
  }
  const int block_lanes = common::count_of(single.block_weight);
  for (int n = 0; n < common::count_of(single.alone); ++n) {
    single.likelihood_at[single.alone[n]] = block_lanes + n;
  }
  single.share.assign(single.first.size(), 0.0);
  // The likelihood places in whole eights, the last ones likelihood 1 and
  // weight 0, for the packed logarithm.
  const std::size_t places =
      (static_cast<std::size_t>(block_lanes) + single.alone.size() + LANES - 1) / LANES * LANES;
  single.likelihood.assign(places, 1.0);
  single.previous_likelihood.assign(places, 1.0);
  single.place_weight.assign(places, 0.0);
  for (int i = 0; i < active_total; ++i) {
    single.place_weight[single.likelihood_at[i]] = tables.weight[i];
  }
  list_count_additions(tables);
}

void single_group_pass(const std::vector<double>& frequency, EmTables& tables) {
  Tables& single = tables.single;
  std::swap(single.likelihood, single.previous_likelihood);
  const double floor = tables.estep_floor[0];
  static_assert(LANES == 8, "a packed block is eight doubles");
  const bool packed = tables.packed && processor_has_packed_blocks();
  if (packed) {
    run_blocks_packed(frequency.data(), floor, single);
  }
  if (!packed) {
    for (int k = 0; k < common::count_of(single.block_pair_count); ++k) {
      run_block_lanes(k, frequency.data(), floor, single);
    }
  }
  std::fill(tables.expected_count.begin(), tables.expected_count.end(), 0.0);
  double* count = tables.expected_count.data();
  int j = 0;
  for (std::size_t segment = 0; segment < single.segment_end.size(); ++segment) {
    const int end = single.segment_end[segment];
    const int* value = single.count_value.data();
    const int* place = single.count_share.data();
    const double* share = single.share.data();
    // Four additions at a time where their counts differ, so that none of
    // the four loads waits for another's store; the same additions, each
    // count's in the same order.
    for (; j + 4 <= end; j += 4) {
      const int v0 = value[j];
      const int v1 = value[j + 1];
      const int v2 = value[j + 2];
      const int v3 = value[j + 3];
      if (v0 != v1 && v0 != v2 && v0 != v3 && v1 != v2 && v1 != v3 && v2 != v3) {
        const double c0 = count[v0] + share[place[j]];
        const double c1 = count[v1] + share[place[j + 1]];
        const double c2 = count[v2] + share[place[j + 2]];
        const double c3 = count[v3] + share[place[j + 3]];
        count[v0] = c0;
        count[v1] = c1;
        count[v2] = c2;
        count[v3] = c3;
      } else {
        for (int k = j; k < j + 4; ++k) {
          count[value[k]] += share[place[k]];
        }
      }
    }
    for (; j < end; ++j) {
      count[value[j]] += share[place[j]];
    }
    if (single.segment_alone[segment] >= 0) {
      run_alone(single.segment_alone[segment], frequency, tables);
    }
  }
}

}  // namespace estimate
