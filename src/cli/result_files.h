#pragma once

#include <string>
#include <vector>

#include "output/output.h"
#include "results/manifest.h"

// The result files of a run next to its report: their names from the prefix
// and the run's manifest, and their writing, each file created by the
// output-file rule.

namespace cli {

// PREFIX + the suffix of each file of the run's manifest, in its order.
[[nodiscard]] std::vector<std::string> result_paths(const std::string& prefix,
                                                    const results::ResultChoice& choice);

// Writes every file of the run's manifest into outputs (under temporary
// names until outputs is committed), a picture's further pages reserved and
// written after its first, and returns their paths in order.
std::vector<std::string> write_results(output::OutputSet& outputs, const std::string& prefix,
                                       const results::ResultChoice& choice,
                                       const results::ResultSet& set);

// The prefix of the result files: --out as given, or, when it names an
// existing folder or ends in '/', the default name in that folder.
[[nodiscard]] std::string output_prefix(const std::string& out, const std::string& default_name);

}  // namespace cli
