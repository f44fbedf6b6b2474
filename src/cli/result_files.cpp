#include "cli/result_files.h"

#include "common/stop.h"
#include "layout/layout.h"
#include "results/results.h"

namespace cli {

std::vector<std::string> overall_result_paths(const std::string& prefix) {
  return {prefix + ".summary.tsv", prefix + ".frequencies.tsv", prefix + ".permutations.tsv",
          prefix + ".svg"};
}

void write_result_file(const std::string& path, const std::function<void(std::ostream&)>& write) {
  const std::unique_ptr<std::ostream> out = layout::create_output_file(path);
  write(*out);
  out->flush();
  if (!*out) {
    throw common::FileError{path, 0, "cannot write the result file"};
  }
}

void write_overall_results(const std::string& prefix, const common::RunInput& input,
                           const common::RunResults& results, double min_frequency) {
  const std::vector<std::string> paths = overall_result_paths(prefix);
  write_result_file(paths[0],
                    [&](std::ostream& out) { results::write_summary_table(out, input, results); });
  write_result_file(paths[1], [&](std::ostream& out) {
    results::write_frequency_table(out, input, results, min_frequency);
  });
  write_result_file(
      paths[2], [&](std::ostream& out) { results::write_permutation_table(out, input, results); });
  write_result_file(paths[3],
                    [&](std::ostream& out) { results::write_histogram_svg(out, input, results); });
}

}  // namespace cli
