#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "common/count.h"
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

namespace {

// The exchange classes of records whose class keys are given: classes are
// numbered in order of their first record.
ExchangeClasses classes_of_keys(const std::vector<int>& key) {
  ExchangeClasses classes;
  std::vector<int> class_keys;
  for (const int k : key) {
    const auto found = std::find(class_keys.begin(), class_keys.end(), k);
    const auto c = static_cast<int>(found - class_keys.begin());
    if (found == class_keys.end()) {
      class_keys.push_back(k);
      classes.members.emplace_back();
    }
    std::vector<int>& members = classes.members[c];
    classes.class_of.push_back(c);
    classes.rank.push_back(common::count_of(members));
    members.push_back(common::count_of(classes.class_of) - 1);
  }
  return classes;
}

}  // namespace

DonorClasses whole_population_classes(const common::Populations& populations, int group_total) {
  DonorClasses donor_classes(static_cast<std::size_t>(populations.population_count()));
  for (int p = 0; p < populations.population_count(); ++p) {
    const std::vector<int> one_key(static_cast<std::size_t>(populations.population_record_count(p)),
                                   0);
    donor_classes[p].assign(static_cast<std::size_t>(group_total), classes_of_keys(one_key));
  }
  return donor_classes;
}

DonorClasses missing_pattern_classes(const common::SystemTables& systems,
                                     const common::Populations& populations,
                                     const common::Grouping& null_grouping) {
  DonorClasses donor_classes(static_cast<std::size_t>(populations.population_count()));
  for (int p = 0; p < populations.population_count(); ++p) {
    for (const std::vector<int>& group_systems : null_grouping.group_systems) {
      // The pattern as a number in base 3, a digit per system of the group
      // (at most MAX_SYSTEMS digits).
      std::vector<int> pattern;
      for (const common::RecordTypings& typings : populations.phenotype_table[p]) {
        int key = 0;
        for (const int s : group_systems) {
          key = 3 * key + common::missing_typing_count(systems, typings, s);
        }
        pattern.push_back(key);
      }
      donor_classes[p].push_back(classes_of_keys(pattern));
    }
  }
  return donor_classes;
}

void shuffle_donors(const DonorClasses& donor_classes, UniformRandom& random,
                    common::DonorIndex& donor_index) {
  // The generator ignores a positive seed once started, so this variable
  // never re-seeds it; the first draw of the run initialises it from the
  // run's seed.
  std::int32_t random_seed = random.run_seed();
  for (int p = 0; p < common::count_of(donor_classes); ++p) {
    std::vector<std::vector<int>>& donors = donor_index[p];
    for (int g = 0; g < common::count_of(donor_classes[p]); ++g) {
      const ExchangeClasses& classes = donor_classes[p][g];
      // The last pass (j = 0) draws too and exchanges record 0 with itself,
      // as does every record first of its class; the draws are kept so that
      // every data set draws the same count and every later deviate of the
      // run is unchanged.
      for (int j = common::count_of(classes.class_of) - 1; j >= 0; --j) {
        const double u = random.uniform_random(random_seed);
        const std::vector<int>& same_class = classes.members[classes.class_of[j]];
        const int k = same_class[internal::exchange_partner(u, classes.rank[j])];
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
