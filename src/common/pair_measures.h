#pragma once

#include <vector>

// The normalised LD measures of two loci from their two-locus haplotype
// frequencies: D' and Wn.

namespace common {

struct PairMeasures {
  bool defined = false;  // false when either locus has a single allele of positive frequency
  double d_prime = 0.0;
  double wn = 0.0;
};

// frequency[i][j]: the haplotype of allele i at the first locus and allele j
// at the second (alleles in byte order of their names). The frequencies are
// divided by their sum; the allele frequencies are the margins, and only
// alleles of positive margin take part. Every sum runs over the first
// locus's alleles (outer), then the second's.
[[nodiscard]] PairMeasures pair_measures(const std::vector<std::vector<double>>& frequency);

}  // namespace common
