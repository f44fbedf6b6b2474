#pragma once

#include <vector>

// The normalised linkage disequilibrium measures of two loci, from their
// two-locus haplotype frequencies.

namespace common {

struct LocusPairMeasures {
  bool defined = false;  // false: fewer than two alleles of positive frequency at a locus
  double d_prime = 0.0;
  double wn = 0.0;
};

// frequency[i][j]: the frequency of the haplotype of allele i at locus a and
// allele j at locus b (0-based, alleles in byte order of their names; every
// row as long as the first). The frequencies are divided by their sum first,
// since a phenotype under the E-step floor can leave it a little below 1.
// Only alleles of positive margin count; sums run over the alleles of a
// (outer), then those of b. D' weighs each |D_ij| / Dmax_ij by p_i q_j; Wn is
// the root of sum D_ij^2 / (p_i q_j) over min(k, l) - 1.
[[nodiscard]] LocusPairMeasures locus_pair_measures(
    const std::vector<std::vector<double>>& frequency);

}  // namespace common
