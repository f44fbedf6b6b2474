#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "common/run.h"

// The result files of a run next to its report: their names from the
// prefix, and their writing, each file created by the output-file rule.

namespace cli {

// PREFIX.summary.tsv, PREFIX.frequencies.tsv, PREFIX.permutations.tsv, PREFIX.svg.
[[nodiscard]] std::vector<std::string> overall_result_paths(const std::string& prefix);

// Creates path by the output-file rule and lets write fill it; throws
// common::FileError when it cannot be created or written.
void write_result_file(const std::string& path, const std::function<void(std::ostream&)>& write);

// Writes the four files of overall_result_paths(prefix); the frequency table
// lists values of frequency at least min_frequency.
void write_overall_results(const std::string& prefix, const common::RunInput& input,
                           const common::RunResults& results, double min_frequency = 0.0);

}  // namespace cli
