#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

#include "common/limits.h"
#include "driver/summary_internal.h"

namespace driver {
namespace {

// Values of a null group whose expected count reaches MIN_EXPECTED_COUNT.
int counted_values(const std::vector<double>& frequency, int value_total, int population_size) {
  // 2N is formed as an integer and then converted, as the count of genes.
  const double gene_total = static_cast<double>(2 * population_size);
  int count = 0;
  for (int v = 0; v < value_total; ++v) {
    if (gene_total * frequency[static_cast<std::size_t>(v)] >= MIN_EXPECTED_COUNT) {
      ++count;
    }
  }
  return count;
}

bool group_holds(const common::Grouping& grouping, int group, int system) {
  for (const int s : grouping.group_systems[static_cast<std::size_t>(group)]) {
    if (s == system) {
      return true;
    }
  }
  return false;
}

// The value written for a field that must show asterisks: it fits no I4 or
// F field.
constexpr double UNDEFINED_REAL = std::numeric_limits<double>::quiet_NaN();

int printable_degrees(std::int64_t df) {
  if (df > std::numeric_limits<int>::max()) {
    return std::numeric_limits<int>::max();  // written as asterisks
  }
  return static_cast<int>(df);
}

}  // namespace

PopulationSummary summarise_population(double observed_statistic,
                                       std::span<const double> permuted_statistic,
                                       int population_size, std::int64_t degrees_of_freedom) {
  const double count = static_cast<double>(common::PERMUTATION_COUNT);
  PopulationSummary s;
  int exceeding = 0;
  double sum = 0.0;
  double sum_of_squares = 0.0;
  for (const double x : permuted_statistic) {
    // Ties do not count: only statistics strictly above the observed one.
    if (x > observed_statistic) {
      ++exceeding;
    }
    sum += x;
    sum_of_squares += x * x;
  }
  s.p_value = static_cast<double>(exceeding) / count;
  s.permutation_mean = sum / count;
  s.permutation_variance = sum_of_squares / count - s.permutation_mean * s.permutation_mean;

  // xi needs a positive permutation variance and a square root of 2 df.
  s.xi_defined = s.permutation_variance > 0.0 && degrees_of_freedom >= 0 &&
                 degrees_of_freedom != DEGREES_OF_FREEDOM_OVERFLOW;
  if (s.xi_defined) {
    const double n = static_cast<double>(population_size);
    const double two_df = static_cast<double>(2 * degrees_of_freedom);
    s.ld_xi = (observed_statistic - s.permutation_mean) * std::sqrt(two_df) /
              std::sqrt(s.permutation_variance) / n;
    const double four_n = static_cast<double>(4 * static_cast<std::int64_t>(population_size));
    s.ld_xi_std = std::sqrt(two_df + four_n * std::fabs(s.ld_xi)) / n;
  }
  return s;
}

std::int64_t degrees_of_freedom(const common::Grouping& null_grouping,
                                const common::Grouping& alt_grouping,
                                const std::vector<std::vector<double>>& null_value_frequency,
                                int population_size) {
  std::vector<std::int64_t> counted;
  std::int64_t b = 0;
  for (int g = 0; g < null_grouping.group_total; ++g) {
    const auto gi = static_cast<std::size_t>(g);
    counted.push_back(counted_values(null_value_frequency[gi], null_grouping.group_value_total[gi],
                                     population_size));
    b += counted.back() - 1;
  }
  std::int64_t a = 0;
  for (int l = 0; l < alt_grouping.group_total; ++l) {
    // P(l): the product over the null groups whose first system lies in
    // alternative group l (1 when there is none).
    std::int64_t product = 1;
    for (int g = 0; g < null_grouping.group_total; ++g) {
      const int first_system = null_grouping.group_systems[static_cast<std::size_t>(g)][0];
      if (group_holds(alt_grouping, l, first_system) &&
          __builtin_mul_overflow(product, counted[static_cast<std::size_t>(g)], &product)) {
        return DEGREES_OF_FREEDOM_OVERFLOW;
      }
    }
    a += product - 1;
  }
  return a - b;
}

void write_summary(std::span<const SummaryLine> lines, layout::Sink& report,
                   layout::Sink& console) {
  constexpr layout::LayoutText header =
      "(' .......OVERALL LD INFOTMATION ........LIKELIHOOD RATIO   DISTIOBUTION',/,"
      "'POP NAME   PVALUE   LD(xi)   STD(xi)',3X,'CHI-SQ   MEAN      STD      DFREEDOM')";
  constexpr layout::LayoutText line_layout =
      "(A10,1X,F5.3,2X,F5.3,4X,F5.3,4X,F8.2,2X,F8.3,2X,F8.3,2X,I4)";
  layout::write(report, header);
  layout::write(console, header);
  for (const SummaryLine& line : lines) {
    const PopulationSummary& s = line.summary;
    const double std_dev = s.permutation_variance >= 0.0 ? std::sqrt(s.permutation_variance)
                                                         : UNDEFINED_REAL;
    const layout::WriteValue values[] = {
        line.name.view().substr(0, 10),
        s.p_value,
        s.xi_defined ? s.ld_xi : UNDEFINED_REAL,
        s.xi_defined ? s.ld_xi_std : UNDEFINED_REAL,
        line.observed_statistic,
        s.permutation_mean,
        std_dev,
        printable_degrees(line.degrees_of_freedom),
    };
    layout::write(report, parsed(line_layout), values);
    layout::write(console, parsed(line_layout), values);
  }
}

}  // namespace driver
