#include "common/tables.h"

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

}  // namespace common
