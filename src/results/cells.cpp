#include <array>
#include <charconv>
#include <string>

#include "common/count.h"
#include "results/results.h"

namespace results {
namespace {

// value with `decimals` digits after the point, its sign kept (the console
// has always shown a statistic a rounding below 0 as -0.00).
std::string decimals_text(double value, int decimals) {
  std::array<char, 64> buffer{};
  const std::to_chars_result written = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                                     value, std::chars_format::fixed, decimals);
  return {buffer.data(), written.ptr};
}

std::string joined_notes(const common::PopulationResult& result) {
  std::string text;
  for (int k = 0; k < common::count_of(result.notes); ++k) {
    text += (k == 0 ? "" : "; ") + result.notes[k];
  }
  return text;
}

}  // namespace

SummaryCells summary_cells(const common::PopulationResult& result) {
  const bool shown = result.informative;
  SummaryCells cells;
  cells.individuals = std::to_string(result.individuals);
  cells.statistic = shown ? decimals_text(result.observed_statistic, 2) : "NA";
  cells.df = shown && result.df_defined ? std::to_string(result.degrees_of_freedom) : "NA";
  cells.p_value = shown ? significant_text(result.p_value, 3) : "NA";
  cells.xi = shown && result.xi_defined ? significant_text(result.ld_xi, 3) : "NA";
  cells.note = joined_notes(result);
  return cells;
}

LocusPairCells locus_pair_cells(const common::LocusPairResult& pair, bool judged_with_ties) {
  const bool shown = pair.result.informative;
  const auto measure = [&pair, shown](double value) {
    return pair.measures_defined && shown ? decimals_text(value, 3) : std::string("NA");
  };
  LocusPairCells cells;
  cells.p_value = !shown             ? std::string("NA")
                  : judged_with_ties ? significant_text(pair.result.p_value, 3)
                                     : decimals_text(pair.result.p_value, 3);
  cells.d_prime = measure(pair.d_prime);
  cells.wn = measure(pair.wn);
  if (judged_with_ties) {
    cells.note = joined_notes(pair.result);
  }
  return cells;
}

}  // namespace results
