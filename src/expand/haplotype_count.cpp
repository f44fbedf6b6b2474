#include <cstdint>
#include <limits>
#include <vector>

#include "common/count.h"
#include "common/stop.h"
#include "expand/expand.h"
#include "expand/expand_internal.h"

namespace expand {

std::int64_t saturating_product(std::int64_t a, std::int64_t b) {
  std::int64_t product = 0;
  if (__builtin_mul_overflow(a, b, &product)) {
    constexpr std::int64_t most = std::numeric_limits<std::int64_t>::max();
    return (a < 0) == (b < 0) ? most : -most;
  }
  return product;
}

void check_haplotype_count(const common::SystemTables& tables) {
  // Both products are 64-bit and saturate: ten systems of 14 alleles give
  // more whole haplotypes than a 32-bit integer holds, ten loci of 80 alleles
  // (a genotype table) more than 64 bits hold. Saturation cannot hide a
  // disagreement: the counts differ only by the factors of later systems
  // without alleles, 0 (exact after any saturation) or negative, and negative
  // counts come only from a data file header, whose at most 14 alleles per
  // system keep the combinations far from saturation.
  std::int64_t haplotype_total = 1;
  for (int s = 0; s < tables.system_count(); ++s) {
    haplotype_total = saturating_product(haplotype_total, tables.allele_count[s]);
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
        combination_count = saturating_product(combination_count, allele_count[s]);
      }
    }
  }

  if (combination_count != haplotype_total) {
    throw common::Stop{common::StopCode::haplotype_count, haplotype_count_explanation(tables)};
  }
}

}  // namespace expand
