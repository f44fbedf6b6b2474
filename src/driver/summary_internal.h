#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/tables.h"
#include "layout/layout.h"

// The permutation summary of one population: p-value, moments of the
// permutation distribution, the LD measure xi and its standard deviation,
// and the degrees of freedom of the test.

namespace driver {

// Counts a null-group value for the degrees of freedom when its expected
// count 2N x f reaches this.
inline constexpr double MIN_EXPECTED_COUNT = 0.5;

struct PopulationSummary {
  double p_value = 0.0;
  double permutation_mean = 0.0;
  double permutation_variance = 0.0;
  bool xi_defined = false;  // false: permutation variance <= 0 or degrees of freedom < 0
  double ld_xi = 0.0;
  double ld_xi_std = 0.0;
};

// Summary of one population from its observed statistic and its permuted
// statistics (one per permuted data set, in data set order). population_size
// is N; the sums run in data set order.
[[nodiscard]] PopulationSummary summarise_population(double observed_statistic,
                                                     std::span<const double> permuted_statistic,
                                                     int population_size,
                                                     std::int64_t degrees_of_freedom);

// Degrees of freedom of one population's test from the null value
// frequencies fitted to the observed data ([null group][value]). A value
// counts when 2N x f >= MIN_EXPECTED_COUNT. The products over null groups are
// formed in 64 bits; a product that does not fit even there gives
// DEGREES_OF_FREEDOM_OVERFLOW, written as asterisks.
[[nodiscard]] std::int64_t degrees_of_freedom(
    const common::Grouping& null_grouping, const common::Grouping& alt_grouping,
    const std::vector<std::vector<double>>& null_value_frequency, int population_size);
inline constexpr std::int64_t DEGREES_OF_FREEDOM_OVERFLOW = INT64_MAX;

// One summary line's values, as they are written.
struct SummaryLine {
  common::PopulationName name;
  PopulationSummary summary;
  double observed_statistic = 0.0;
  std::int64_t degrees_of_freedom = 0;
};

// Writes the two header lines and one line per population, each record to
// the report file first and then to the console.
void write_summary(std::span<const SummaryLine> lines, layout::Sink& report, layout::Sink& console);

}  // namespace driver
