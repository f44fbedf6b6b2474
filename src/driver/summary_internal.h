#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/run.h"
#include "common/tables.h"
#include "estimate/estimate.h"
#include "layout/layout.h"

// The permutation summary of one population: p-value, moments of the
// permutation distribution, the LD measure xi and its standard deviation,
// and the degrees of freedom of the test.

namespace driver {

// Counts a null-group value for the degrees of freedom when its expected
// count 2N x f reaches this.
inline constexpr double MIN_EXPECTED_COUNT = 0.5;

// Fills the summary fields of result (exceeding, ties, both p-values, the
// moments and xi with its standard deviation) from its observed statistic,
// its permuted statistics (one per permuted data set; the sums run in data
// set order), individuals (N) and degrees of freedom. The divisor of the
// p-value and the moments is the number of permuted statistics.
// With judged_with_ties: a permuted statistic within tau = 1e-6 (|lnL0| +
// |lnL1|) + 1e-9 of the observed one is a tie, one above it by more exceeds,
// and p = (exceeding + ties + 1) / (N + 1) with its Clopper-Pearson interval;
// a test without information keeps every figure undefined. tie_tolerance
// keeps tau (the combined test across populations sums it). With
// judged_with_ties and stop_after = H > 0, the sequential rule
// (common::sequential_p) judges the test: a test that reached H keeps only
// its permuted statistics 1..l, and p = H / l.
void summarise_population(common::PopulationResult& result, bool judged_with_ties = false,
                          int stop_after = 0);

// Degrees of freedom of one population's test from the null value
// frequencies fitted to the observed data ([null group]: the values a pair
// carries; all others have frequency 0). A value counts when
// 2N x f >= MIN_EXPECTED_COUNT. The products over null groups are formed in
// 64 bits; a product, or a sum of them, that does not fit even there gives
// DEGREES_OF_FREEDOM_OVERFLOW, written as asterisks.
[[nodiscard]] std::int64_t degrees_of_freedom(
    const common::Grouping& null_grouping, const common::Grouping& alt_grouping,
    const std::vector<std::vector<estimate::GroupValueFrequency>>& null_value_frequency,
    int population_size);
inline constexpr std::int64_t DEGREES_OF_FREEDOM_OVERFLOW = INT64_MAX;

// Whether population p's test has information, with the notes on it: it has
// with at least 2 individuals, no null group untyped (no allele typed in the
// population) and at least 2 null groups of 2 or more alleles; a monomorphic
// null group is then left out ("left out: locus L7 monomorphic"), otherwise
// the notes say why there is no information ("no information: locus L7 untyped").
struct InformationNotes {
  bool informative = true;
  std::vector<std::string> notes;
};
[[nodiscard]] InformationNotes information_notes(const common::RunInput& input, int p);

// The note on an informative test whose alleles typed in population p at
// the loci of an alternative group could form more than 10 times as many
// haplotypes as its individuals carry: "sparse: X possible haplotypes for 2N
// sampled" (df and xi then mean little; the permutation p-value stays
// valid); empty otherwise.
[[nodiscard]] std::string sparse_note(const common::RunInput& input, int p, int individuals);

// Writes the two header lines and one line per population, each record to
// the report file first and then to the console. Names are cut to their
// first 10 bytes and padded with blanks.
// Without a console (a front-end that shows its own table) the report alone.
void write_summary(std::span<const common::PopulationResult> results, layout::Sink& report,
                   layout::Sink* console);

}  // namespace driver
