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
  for (int s = 0; s < tables.system_count(); ++s) {
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

}  // namespace expand
