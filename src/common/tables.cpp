#include "common/tables.h"

#include <algorithm>
#include <set>

namespace common {

void DistinctPhenotypes::reset(int population_count) {
  distinct_typings.clear();
  phenotype_code.clear();
  first_individual.clear();
  phenotype_tally.assign(static_cast<std::size_t>(population_count), {});
}

double value_total(const SystemTables& systems, const std::vector<int>& group_systems) {
  double total = 1.0;
  for (const int s : group_systems) {
    total *= static_cast<double>(systems.allele_count[static_cast<std::size_t>(s)]);
  }
  return total;
}

namespace {

// The 0-based group of groups that holds system, or -1.
int group_of(const std::vector<std::vector<int>>& groups, int system) {
  for (int g = 0; g < count_of(groups); ++g) {
    if (std::find(groups[g].begin(), groups[g].end(), system) != groups[g].end()) {
      return g;
    }
  }
  return -1;
}

std::string group_name(const std::vector<int>& group,
                       const std::function<std::string(int)>& name_of) {
  std::string text;
  for (const int system : group) {
    text += (text.empty() ? "" : "+") + name_of(system);
  }
  return text;
}

}  // namespace

std::string grouping_problem(const std::vector<std::vector<int>>& null_groups,
                             const std::vector<std::vector<int>>& alt_groups,
                             const std::function<std::string(int)>& name_of) {
  for (const std::vector<int>& group : null_groups) {
    for (const int system : group) {
      if (group_of(alt_groups, system) < 0) {
        return name_of(system) + " of the null grouping is in no group of the alternative";
      }
    }
  }
  for (const std::vector<int>& group : alt_groups) {
    for (const int system : group) {
      if (group_of(null_groups, system) < 0) {
        return name_of(system) + " of the alternative grouping is not in the null grouping";
      }
    }
  }
  for (const std::vector<int>& group : null_groups) {
    const int alt = group_of(alt_groups, group.front());
    for (const int system : group) {
      if (group_of(alt_groups, system) != alt) {
        return "the null group " + group_name(group, name_of) +
               " is split over two groups of the alternative (each null group must lie "
               "inside one)";
      }
    }
  }
  const auto as_sets = [](const std::vector<std::vector<int>>& groups) {
    std::set<std::set<int>> sets;
    for (const std::vector<int>& group : groups) {
      sets.emplace(group.begin(), group.end());
    }
    return sets;
  };
  if (as_sets(null_groups) == as_sets(alt_groups)) {
    return "the alternative grouping is the null grouping itself: there is nothing to test "
           "(join null groups into larger alternative groups)";
  }
  return {};
}

}  // namespace common
