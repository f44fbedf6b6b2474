#include <cassert>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "permute/permute.h"
#include "permute/permute_internal.h"

namespace permute {

namespace internal {

int exchange_partner(double u, int j) {
  assert(u >= 0.0 && u < 1.0);
  // The integer part of u x (number of records still unshuffled).
  const int partner = static_cast<int>(u * static_cast<double>(j + 1));
  assert(partner >= 0 && partner <= j);
  return partner;
}

}  // namespace internal

common::DonorIndex identity_donor_index(const common::Populations& populations, int group_total) {
  common::DonorIndex donor_index(static_cast<std::size_t>(populations.population_count()));
  for (int p = 0; p < populations.population_count(); ++p) {
    const int record_count = populations.population_record_count(p);
    donor_index[p].resize(static_cast<std::size_t>(record_count));
    for (int r = 0; r < record_count; ++r) {
      donor_index[p][r].assign(static_cast<std::size_t>(group_total), r);
    }
  }
  return donor_index;
}

void shuffle_donors(const common::Populations& populations, int group_total, UniformRandom& random,
                    common::DonorIndex& donor_index) {
  // The generator ignores a positive seed once started, so this variable
  // never re-seeds it; the first draw of the run initialises it from the
  // run's seed.
  std::int32_t random_seed = random.run_seed();
  for (int p = 0; p < populations.population_count(); ++p) {
    std::vector<std::vector<int>>& donors = donor_index[p];
    for (int g = 0; g < group_total; ++g) {
      // The last pass (j = 0) draws too and exchanges record 0 with itself;
      // the draw is kept so that every later deviate of the run is unchanged.
      for (int j = populations.population_record_count(p) - 1; j >= 0; --j) {
        const double u = random.uniform_random(random_seed);
        const int k = internal::exchange_partner(u, j);
        std::swap(donors[j][g], donors[k][g]);
      }
    }
  }
}

void assemble_record(const common::Populations& populations, const common::Grouping& null_grouping,
                     const common::DonorIndex& donor_index, int p, int i,
                     common::RecordTypings& record_typings) {
  for (int g = 0; g < null_grouping.group_total(); ++g) {
    const common::RecordTypings& donor = populations.phenotype_table[p][donor_index[p][i][g]];
    for (int m = 0; m < null_grouping.group_size(g); ++m) {
      // Both typings of a system travel together.
      const auto first_typing = 2 * static_cast<std::size_t>(null_grouping.group_systems[g][m]);
      record_typings[first_typing] = donor[first_typing];
      record_typings[first_typing + 1] = donor[first_typing + 1];
    }
  }
}

}  // namespace permute
