#include "common/tables.h"

namespace common {

void DistinctPhenotypes::reset(int population_count) {
  distinct_count = 0;
  distinct_typings.clear();
  phenotype_code.clear();
  first_individual.clear();
  phenotype_tally.assign(static_cast<std::size_t>(population_count), {});
}

}  // namespace common
