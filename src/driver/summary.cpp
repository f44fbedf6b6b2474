#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

#include "common/count.h"
#include "common/limits.h"
#include "common/permutation_p.h"
#include "driver/summary_internal.h"

namespace driver {
namespace {

// Values of a null group whose expected count reaches MIN_EXPECTED_COUNT.
int counted_values(const std::vector<estimate::GroupValueFrequency>& values, int population_size) {
  // 2N is formed as an integer and then converted, as the count of genes.
  const double gene_total = static_cast<double>(2 * population_size);
  int count = 0;
  for (const estimate::GroupValueFrequency& value : values) {
    if (gene_total * value.frequency >= MIN_EXPECTED_COUNT) {
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

// The classic judgement: exceeding counts the statistics strictly above the
// observed one, ties those equal to it; p = exceeding / N.
void judge_classic(common::PopulationResult& result) {
  result.exceeding = 0;
  result.ties = 0;
  for (const double x : result.permuted_statistic) {
    if (x > result.observed_statistic) {
      ++result.exceeding;
    } else if (x == result.observed_statistic) {
      ++result.ties;
    }
  }
  const int count = common::count_of(result.permuted_statistic);
  result.p_value_conservative = common::permutation_p(result.exceeding, result.ties, count).p_value;
  result.p_value = static_cast<double>(result.exceeding) / static_cast<double>(count);
}

// The maximum-likelihood judgement with ties within tau and, with
// stop_after, the sequential rule; the statistics after the data set that
// stopped the test are let go.
void judge_with_ties(common::PopulationResult& result, int stop_after) {
  const double tolerance =
      common::tie_tolerance(result.null_model.log_likelihood, result.alt_model.log_likelihood);
  const common::SequentialP judged = common::sequential_p(result.observed_statistic, tolerance,
                                                          stop_after, result.permuted_statistic);
  result.permuted_statistic.resize(static_cast<std::size_t>(judged.drawn));
  result.exceeding = judged.exceeding;
  result.ties = judged.ties;
  result.stopped_early = judged.stopped;
  result.p_value_conservative = judged.p.p_value;
  result.p_value = judged.p.p_value;
  result.p_ci_low = judged.p.interval.low;
  result.p_ci_high = judged.p.interval.high;
  result.tie_tolerance = tolerance;
}

}  // namespace

void summarise_population(common::PopulationResult& result, bool judged_with_ties, int stop_after) {
  if (!result.informative) {
    return;
  }
  if (judged_with_ties) {
    judge_with_ties(result, stop_after);
  } else {
    judge_classic(result);
  }
  const double count = static_cast<double>(result.permuted_statistic.size());
  const double observed = result.observed_statistic;
  double sum = 0.0;
  double sum_of_squares = 0.0;
  for (const double x : result.permuted_statistic) {
    sum += x;
    sum_of_squares += x * x;
  }
  result.permutation_mean = sum / count;
  result.permutation_variance =
      sum_of_squares / count - result.permutation_mean * result.permutation_mean;
  // A variance that rounding left slightly negative has no square root.
  result.permutation_sd = result.permutation_variance >= 0.0
                              ? std::sqrt(result.permutation_variance)
                              : std::numeric_limits<double>::quiet_NaN();

  // xi needs a positive permutation variance and a square root of 2 df.
  const std::int64_t df = result.degrees_of_freedom;
  result.xi_defined = result.permutation_variance > 0.0 && df >= 0 && result.df_defined;
  result.ld_xi = 0.0;
  result.ld_xi_std = 0.0;
  if (result.xi_defined) {
    const double n = static_cast<double>(result.individuals);
    // Doubled in double precision: exact, and 2 df may pass 64 bits.
    const double two_df = 2.0 * static_cast<double>(df);
    result.ld_xi = (observed - result.permutation_mean) * std::sqrt(two_df) /
                   std::sqrt(result.permutation_variance) / n;
    const double four_n = static_cast<double>(4 * static_cast<std::int64_t>(result.individuals));
    result.ld_xi_std = std::sqrt(two_df + four_n * std::fabs(result.ld_xi)) / n;
  }
}

std::int64_t degrees_of_freedom(
    const common::Grouping& null_grouping, const common::Grouping& alt_grouping,
    const std::vector<std::vector<estimate::GroupValueFrequency>>& null_value_frequency,
    int population_size) {
  std::vector<std::int64_t> counted;
  std::int64_t b = 0;
  for (int g = 0; g < null_grouping.group_total(); ++g) {
    const auto gi = static_cast<std::size_t>(g);
    counted.push_back(counted_values(null_value_frequency[gi], population_size));
    b += counted.back() - 1;
  }
  std::int64_t a = 0;
  for (int l = 0; l < alt_grouping.group_total(); ++l) {
    // P(l): the product over the null groups whose first system lies in
    // alternative group l (1 when there is none).
    std::int64_t product = 1;
    for (int g = 0; g < null_grouping.group_total(); ++g) {
      const int first_system = null_grouping.group_systems[static_cast<std::size_t>(g)][0];
      if (group_holds(alt_grouping, l, first_system) &&
          __builtin_mul_overflow(product, counted[static_cast<std::size_t>(g)], &product)) {
        return DEGREES_OF_FREEDOM_OVERFLOW;
      }
    }
    if (__builtin_add_overflow(a, product - 1, &a)) {
      return DEGREES_OF_FREEDOM_OVERFLOW;
    }
  }
  return a - b;
}

void write_summary(std::span<const common::PopulationResult> results, layout::Sink& report,
                   layout::Sink* console) {
  // INFOTMATION and DISTIOBUTION are the classic report's own spelling, kept
  // byte for byte on purpose: users' scripts and stored reports match these
  // exact bytes. Do not correct them.
  constexpr layout::LayoutText header =
      "(' .......OVERALL LD INFOTMATION ........LIKELIHOOD RATIO   DISTIOBUTION',/,"
      "'POP NAME   PVALUE   LD(xi)   STD(xi)',3X,'CHI-SQ   MEAN      STD      DFREEDOM')";
  constexpr layout::LayoutText line_layout =
      "(A10,1X,F5.3,2X,F5.3,4X,F5.3,4X,F8.2,2X,F8.3,2X,F8.3,2X,I4)";
  layout::write(report, header);
  if (console != nullptr) {
    layout::write(*console, header);
  }
  for (const common::PopulationResult& r : results) {
    const common::PopulationName name(r.name);
    // A test without information shows asterisks in every figure.
    const bool shown = r.informative;
    const layout::WriteValue values[] = {
        name.view().substr(0, 10),
        shown ? r.p_value : UNDEFINED_REAL,
        shown && r.xi_defined ? r.ld_xi : UNDEFINED_REAL,
        shown && r.xi_defined ? r.ld_xi_std : UNDEFINED_REAL,
        shown ? r.observed_statistic : UNDEFINED_REAL,
        shown ? r.permutation_mean : UNDEFINED_REAL,
        shown ? r.permutation_sd : UNDEFINED_REAL,
        shown && r.df_defined ? printable_degrees(r.degrees_of_freedom)
                              : std::numeric_limits<int>::max(),
    };
    layout::write(report, parsed(line_layout), values);
    if (console != nullptr) {
      layout::write(*console, parsed(line_layout), values);
    }
  }
}

}  // namespace driver
