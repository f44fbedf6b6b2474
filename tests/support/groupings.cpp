#include "support/groupings.h"

namespace test_support {

common::Grouping grouping_of(const std::vector<std::vector<int>>& groups,
                             const std::vector<int>& allele_count) {
  common::Grouping grouping;
  grouping.group_systems = groups;
  if (!allele_count.empty()) {
    for (const std::vector<int>& systems : groups) {
      double total = 1.0;
      for (const int s : systems) {
        total *= static_cast<double>(allele_count[static_cast<std::size_t>(s)]);
      }
      grouping.group_value_total.push_back(total);
    }
  }
  return grouping;
}

}  // namespace test_support
