#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/run.h"
#include "layout/layout.h"
#include "results/results.h"

// The tables a table run shows on the console once its tests are done.

namespace cli {

// value with `decimals` digits after the point.
[[nodiscard]] std::string fixed_text(double value, int decimals);
// text padded with blanks to width.
[[nodiscard]] std::string padded(std::string text, std::size_t width);

// The overall test under the maximum-likelihood rules: per population its
// full name, individuals, statistic, df, p-value and xi (3 significant
// digits) and its notes; NA where a figure is undefined.
void write_overall_table(const common::RunResults& results, layout::Sink& console);

// The pair tests: population, pair, p-value, D', Wn; with judged_with_ties
// the p-value has 3 significant digits and the notes follow.
void write_pair_table(const std::vector<results::PairResult>& pairs, bool judged_with_ties,
                      layout::Sink& console);

}  // namespace cli
