#pragma once

#include <vector>

// The normalised linkage disequilibrium measures of two loci, from their
// two-locus haplotype frequencies.

namespace common {

struct LocusPairMeasures {
  bool defined = false;  // false: fewer than two alleles of positive frequency at a locus
  double d_prime = 0.0;
  double wn = 0.0;
  // The asymmetric measures of Thomson and Single (2014): how well the allele
  // at b predicts the one at a (W_A/B), and the other way (W_B/A).
  double w_a_given_b = 0.0;
  double w_b_given_a = 0.0;
};

// frequency[i][j]: the frequency of the haplotype of allele i at locus a and
// allele j at locus b (0-based, alleles in byte order of their names; every
// row as long as the first). The frequencies are divided by their sum first,
// since a phenotype under the E-step floor can leave it a little below 1.
// Only alleles of positive margin count; sums run over the alleles of a
// (outer), then those of b. D' weighs each |D_ij| / Dmax_ij by p_i q_j; Wn is
// the root of sum D_ij^2 / (p_i q_j) over min(k, l) - 1; W_A/B is the root
// of sum D_ij^2 / q_j over 1 - sum p_i^2, W_B/A that of sum D_ij^2 / p_i over
// 1 - sum q_j^2 (both |r| with two alleles at each locus).
[[nodiscard]] LocusPairMeasures locus_pair_measures(
    const std::vector<std::vector<double>>& frequency);

// One cell of the two-locus table: alleles i at a and j at b (0-based), both
// of positive margin, from the frequencies normalised as above.
struct AllelePairCell {
  int allele_a = 0;
  int allele_b = 0;
  double frequency = 0.0;  // p_ij
  double product = 0.0;    // p_i q_j
  double d = 0.0;          // D_ij = p_ij - p_i q_j
  double d_max = 0.0;      // Dmax_ij: the largest |D_ij| the margins allow on D_ij's side
  double d_prime = 0.0;    // D_ij / Dmax_ij; NaN where Dmax_ij is 0
};

// The cells of the alleles of positive margin, a's alleles outer; empty when
// the frequencies sum to nothing.
[[nodiscard]] std::vector<AllelePairCell> allele_pair_cells(
    const std::vector<std::vector<double>>& frequency);

}  // namespace common
