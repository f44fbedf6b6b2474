#include <cassert>
#include <cstdint>
#include <vector>

#include "common/count.h"
#include "common/stop.h"
#include "expand/expand.h"
#include "expand/expand_internal.h"

namespace expand {

void check_haplotype_count(const common::SystemTables& tables) {
  // Both products are 64-bit: ten systems of 14 alleles give more whole
  // haplotypes than a 32-bit integer holds.
  std::int64_t haplotype_total = 1;
  for (int s = 0; s < tables.system_count; ++s) {
    haplotype_total *= tables.allele_count[s];
  }

  // Systems 1 and 2 always take part in the combinations, later systems only
  // when they have alleles; so a later system without alleles makes the two
  // counts differ.
  const std::vector<int>& allele_count = tables.allele_count;
  std::int64_t combination_count = 0;
  if (common::count_of(allele_count) >= 2 && allele_count[0] > 0 && allele_count[1] > 0) {
    combination_count = 1;
    for (int s = 0; s < common::count_of(allele_count); ++s) {
      if (s < 2 || allele_count[s] > 0) {
        combination_count *= allele_count[s];
      }
    }
  }

  if (combination_count != haplotype_total) {
    throw common::Stop{common::StopCode::haplotype_count, haplotype_count_explanation(tables)};
  }
}

namespace {

// The values of one group: an odometer over the allele numbers of its
// systems whose last wheel turns fastest.
std::vector<common::Label> group_value_list(const common::SystemTables& tables,
                                            const std::vector<int>& systems) {
  std::vector<common::Label> values;
  const int k = common::count_of(systems);
  for (const int s : systems) {
    if (tables.allele_count[s] <= 0) {
      return values;
    }
  }
  std::vector<int> allele(static_cast<std::size_t>(k), 0);
  while (true) {
    common::Label value;
    for (int j = 0; j < k; ++j) {
      value[j] = tables.allele_code[systems[j]][allele[j]];
    }
    values.push_back(value);

    int j = k - 1;
    while (j >= 0 && allele[j] + 1 == tables.allele_count[systems[j]]) {
      allele[j] = 0;
      --j;
    }
    if (j < 0) {
      return values;
    }
    ++allele[j];
  }
}

}  // namespace

void build_group_values(const common::SystemTables& tables, common::Grouping& grouping) {
  grouping.group_values.assign(static_cast<std::size_t>(grouping.group_total), {});
  for (int g = 0; g < grouping.group_total; ++g) {
    const std::vector<int>& systems = grouping.group_systems[g];
    assert(common::count_of(systems) >= grouping.group_size[g]);
    // group_systems may hold more entries than group_size; only the first
    // group_size are the group's systems.
    const std::vector<int> members(systems.begin(), systems.begin() + grouping.group_size[g]);
    grouping.group_values[g] = group_value_list(tables, members);
  }
}

}  // namespace expand
