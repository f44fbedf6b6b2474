#pragma once

#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "common/locus_pair_measures.h"
#include "common/run.h"

// One test of a locus pair (the pairs mode, --pairs), as the engine hands it
// to the writers.

namespace common {

// How the note of a pair begins whose D' and Wn the data leave open (fits of
// equal likelihood disagree on them); the pair matrix marks such a cell.
inline constexpr std::string_view NOT_IDENTIFIED_NOTE = "not identified: ";

// The two loci, as 0-based indexes into the loci of the run (locus_a <
// locus_b), the test's result for one population and the LD measures
// (measures_defined false: all NA). The corrected p-values are NaN (NA) until
// the pairs of the run are corrected together, and for a pair without a
// p-value.
struct LocusPairResult {
  int locus_a = 0;
  int locus_b = 0;
  PopulationResult result;
  bool measures_defined = false;
  double d_prime = 0.0;
  double wn = 0.0;
  // The asymmetric measures W_A/B and W_B/A; NaN where a locus has one allele.
  double w_a_given_b = std::numeric_limits<double>::quiet_NaN();
  double w_b_given_a = std::numeric_limits<double>::quiet_NaN();
  // Holm and Benjamini-Hochberg over the pairs of the population, and
  // Benjamini-Hochberg over every pair test of the run.
  double p_holm = std::numeric_limits<double>::quiet_NaN();
  double p_bh = std::numeric_limits<double>::quiet_NaN();
  double p_bh_all = std::numeric_limits<double>::quiet_NaN();
  // With --pair-alleles: the cells of the fitted two-locus table and the
  // names their 0-based allele indexes stand for; empty otherwise.
  std::vector<AllelePairCell> allele_pairs{};
  std::vector<std::string> allele_names_a{};
  std::vector<std::string> allele_names_b{};
};

}  // namespace common
