#include <string_view>
#include <unordered_set>

#include "expand/expand.h"
#include "expand/expand_internal.h"

namespace expand {
namespace {

// The count of a classified phenotype first met in `population`: what
// expand_phenotype would build for it after the missing-typing checks.
PairCount count_classified(const common::SystemTables& tables,
                           const common::PopulationAlleles& population_alleles, int population,
                           const Classification& classification) {
  PairCount count;
  count.heterozygous_total = classification.heterozygosity.heterozygous_total;
  if (classification.missing_total() >= 2) {
    return count;
  }
  for (int s = 0; s < tables.system_count(); ++s) {
    if (classification.system_missing[s] != 0) {
      count.missing_system = s;
      count.missing_typings = classification.system_missing[s];
    }
  }
  if (count.missing_system >= 0) {
    count.completion_alleles = static_cast<int>(
        completion_alleles(tables, population_alleles, population, count.missing_system).size());
  }
  count.pair_total = expected_pair_total(count.heterozygous_total, count.missing_typings,
                                         count.completion_alleles);
  return count;
}

}  // namespace

PairCount count_pairs(const common::SystemTables& tables, const common::RecordTypings& typings) {
  return count_classified(tables, {}, 0, classify(tables, typings));
}

std::vector<PairCount> count_new_pairs(const common::SystemTables& tables,
                                       const common::DistinctPhenotypes& distinct,
                                       const common::PopulationAlleles& population_alleles,
                                       const ExpansionCache& cache) {
  std::vector<PairCount> counts;
  // Keys of this data set's lists counted so far; used for look-up only.
  std::unordered_set<ExpansionKey, ExpansionKeyHash> counted;
  for (int d = 0; d < distinct.distinct_count(); ++d) {
    const Classification classification = classify(tables, distinct.distinct_typings[d]);
    if (classification.missing_total() >= 2) {
      break;
    }
    const int population = distinct.first_individual[d].population;
    PairCount count = count_classified(tables, population_alleles, population, classification);
    // A list the cache does not keep is built for its phenotype alone: distinct
    // fully typed phenotypes have distinct code strings, so no two share one.
    if (worth_keeping(classification)) {
      const ExpansionKey key = expansion_key(
          distinct.phenotype_code[d], tables.system_count(), classification,
          completing_population(tables, population_alleles, population, classification));
      if (cache.find(key) || !counted.insert(key).second) {
        count.pair_total = 0;
      }
    }
    counts.push_back(count);
  }
  return counts;
}

std::string pair_count_text(const common::SystemTables& tables,
                            const common::Populations& populations,
                            const common::FirstIndividual& first, const PairCount& count) {
  const int missing_systems = count.missing_system < 0 ? 0 : 1;
  std::string text = individual_text({populations, first}) + ", heterozygous in " +
                     layout::integer_text(count.heterozygous_total) + " of its " +
                     layout::integer_text(tables.system_count() - missing_systems) +
                     " typed systems";
  if (count.missing_system >= 0) {
    text += std::string(count.missing_typings == 2 ? ", both typings of " : ", one typing of ") +
            layout::system_text(tables, count.missing_system) + " missing (" +
            layout::integer_text(count.completion_alleles) + " alleles)";
  }
  return text;
}

}  // namespace expand
