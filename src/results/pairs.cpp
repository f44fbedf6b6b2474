#include <string>
#include <string_view>
#include <vector>

#include "common/count.h"
#include "common/first_appearance.h"
#include "results/results.h"
#include "results/results_internal.h"

namespace results {

std::vector<PopulationPairs> pairs_by_population(const std::vector<PairResult>& pairs) {
  std::vector<std::string_view> names;
  names.reserve(pairs.size());
  for (const PairResult& pair : pairs) {
    names.emplace_back(pair.result.name);
  }
  const common::FirstAppearance order = common::first_appearance(names);
  std::vector<PopulationPairs> populations;
  for (const std::string& name : order.values) {
    populations.push_back(PopulationPairs{name, {}});
  }
  for (int k = 0; k < common::count_of(pairs); ++k) {
    populations[order.number_of[k]].pairs.push_back(k);
  }
  return populations;
}

void write_pairs_table(std::ostream& out, const std::vector<std::string>& loci,
                       const std::vector<PairResult>& pairs) {
  std::vector<std::string_view> columns = {"population", "locus_a", "locus_b"};
  columns.insert(columns.end(), TEST_COLUMNS.begin(), TEST_COLUMNS.end());
  columns.insert(columns.end(), {"d_prime", "wn"});
  write_header(out, columns);
  for (const PopulationPairs& population : pairs_by_population(pairs)) {
    for (const int k : population.pairs) {
      const PairResult& pair = pairs[k];
      std::string line;
      append_text(line, pair.result.name);
      append_text_field(line, loci[pair.locus_a]);
      append_text_field(line, loci[pair.locus_b]);
      // Each pair carries its own count: a pair's data sets are its own.
      append_test_fields(line, pair.result, common::count_of(pair.result.permuted_statistic));
      append_real_field(line, pair.d_prime, pair.measures_defined);
      append_real_field(line, pair.wn, pair.measures_defined);
      line += '\n';
      out << line;
    }
  }
}

}  // namespace results
