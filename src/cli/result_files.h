#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "common/run.h"
#include "output/output.h"

// The result files of a run next to its report: their names from the
// prefix, and their writing, each file created by the output-file rule.

namespace cli {

// PREFIX.summary.tsv, PREFIX.frequencies.tsv, PREFIX.permutations.tsv, PREFIX.svg.
[[nodiscard]] std::vector<std::string> overall_result_paths(const std::string& prefix);

// Writes the four files of overall_result_paths(prefix) into outputs (under
// temporary names until outputs is committed); the frequency table lists
// values of frequency at least min_frequency.
void write_overall_results(output::OutputSet& outputs, const std::string& prefix,
                           const common::RunInput& input, const common::RunResults& results,
                           double min_frequency = 0.0);

// The prefix of the result files: --out as given, or, when it names an
// existing folder or ends in '/', the default name in that folder.
[[nodiscard]] std::string output_prefix(const std::string& out, const std::string& default_name);

}  // namespace cli
