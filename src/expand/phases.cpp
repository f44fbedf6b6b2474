#include <utility>

#include "common/stop.h"
#include "expand/expand_internal.h"

namespace expand {

void exchange_alleles(common::Label& first, common::Label& second, int position, int system_count) {
  if (position < 0 || position >= system_count) {
    throw common::consistency_stop(common::StopCode::phase_guard);
  }
  std::swap(first[position], second[position]);
}

namespace {

// The highest heterozygous system below `below`, or -1.
int highest_heterozygous_below(const Heterozygosity& heterozygosity, int below) {
  for (int s = below - 1; s >= 0; --s) {
    if (heterozygosity.system_heterozygous[s]) {
      return s;
    }
  }
  return -1;
}

int lowest_heterozygous(const Heterozygosity& heterozygosity, int system_count) {
  for (int s = 0; s < system_count; ++s) {
    if (heterozygosity.system_heterozygous[s]) {
      return s;
    }
  }
  return -1;
}

void append_pair(common::PairList& pairs, const common::Label& first, const common::Label& second) {
  pairs.first.push_back(first);
  pairs.second.push_back(second);
}

// Appends the pairs from index `from` on, each with the letters at system
// exchanged, doubling the phases of this completion.
void append_exchanged(common::PairList& pairs, int from, int system, int system_count) {
  const int end = pairs.pair_total();
  for (int j = from; j < end; ++j) {
    common::Label first = pairs.first[j];
    common::Label second = pairs.second[j];
    exchange_alleles(first, second, system, system_count);
    append_pair(pairs, first, second);
  }
}

}  // namespace

void expand_phases(const common::CodeString& code, int system_count,
                   const Heterozygosity& heterozygosity, common::PairList& pairs) {
  const int base = pairs.pair_total();
  common::Label first;
  common::Label second;
  for (int s = 0; s < system_count; ++s) {
    first[s] = code[first_typing(s)];
    second[s] = code[second_typing(s)];
  }
  append_pair(pairs, first, second);
  if (heterozygosity.heterozygous_total <= 1) {
    return;
  }

  // Exchanges go from the highest heterozygous system downwards, each one
  // doubling the phases made so far; this fixes the slot order of the pairs.
  int current = highest_heterozygous_below(heterozygosity, system_count);
  append_exchanged(pairs, base, current, system_count);
  if (heterozygosity.heterozygous_total == 2) {
    return;
  }
  const int lowest = lowest_heterozygous(heterozygosity, system_count);
  while (true) {
    const int next = highest_heterozygous_below(heterozygosity, current);
    if (next == lowest) {
      return;
    }
    append_exchanged(pairs, base, next, system_count);
    current = next;
  }
}

}  // namespace expand
