#include "cli/result_files.h"

#include <sys/stat.h>

#include "common/stop.h"
#include "layout/layout.h"
#include "results/results.h"

namespace cli {

std::vector<std::string> overall_result_paths(const std::string& prefix) {
  return {prefix + ".summary.tsv", prefix + ".frequencies.tsv", prefix + ".permutations.tsv",
          prefix + ".svg"};
}

void write_overall_results(output::OutputSet& outputs, const std::string& prefix,
                           const common::RunInput& input, const common::RunResults& results,
                           double min_frequency) {
  const std::vector<std::string> paths = overall_result_paths(prefix);
  outputs.write(paths[0],
                [&](std::ostream& out) { results::write_summary_table(out, input, results); });
  outputs.write(paths[1], [&](std::ostream& out) {
    results::write_frequency_table(out, input, results, min_frequency);
  });
  outputs.write(paths[2],
                [&](std::ostream& out) { results::write_permutation_table(out, input, results); });
  outputs.write(paths[3],
                [&](std::ostream& out) { results::write_histogram_svg(out, input, results); });
}

std::string output_prefix(const std::string& out, const std::string& default_name) {
  if (out.empty()) {
    return default_name;
  }
  struct stat status {};
  const bool folder =
      out.back() == '/' || (::stat(out.c_str(), &status) == 0 && S_ISDIR(status.st_mode));
  if (!folder) {
    return out;
  }
  return out + (out.back() == '/' ? "" : "/") + default_name;
}

}  // namespace cli
