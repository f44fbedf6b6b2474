#include <string>
#include <vector>

#include "common/count.h"
#include "results/results.h"
#include "results/results_internal.h"

namespace results {

std::vector<PopulationPairs> pairs_by_population(const std::vector<PairResult>& pairs) {
  std::vector<PopulationPairs> populations;
  for (int k = 0; k < common::count_of(pairs); ++k) {
    const std::string& name = pairs[k].result.name;
    // Populations are few; a linear search keeps first-appearance order.
    PopulationPairs* found = nullptr;
    for (PopulationPairs& population : populations) {
      if (population.name == name) {
        found = &population;
        break;
      }
    }
    if (found == nullptr) {
      found = &populations.emplace_back(PopulationPairs{name, {}});
    }
    found->pairs.push_back(k);
  }
  return populations;
}

void write_pairs_table(std::ostream& out, const std::vector<PairResult>& pairs,
                       bool judged_with_ties) {
  std::vector<std::string_view> columns = {"population", "locus_a", "locus_b"};
  columns.insert(columns.end(), TEST_COLUMNS.begin(), TEST_COLUMNS.end());
  columns.insert(columns.end(), {"d_prime", "wn"});
  if (judged_with_ties) {
    for (const std::string_view column : JUDGEMENT_COLUMNS) {
      columns.push_back(column);
    }
  }
  write_header(out, columns);
  for (const PopulationPairs& population : pairs_by_population(pairs)) {
    for (const int k : population.pairs) {
      const PairResult& pair = pairs[k];
      std::string line;
      append_text(line, pair.result.name);
      append_text_field(line, pair.locus_a);
      append_text_field(line, pair.locus_b);
      // Each pair carries its own count: a pair's data sets are its own.
      append_test_fields(line, pair.result, common::count_of(pair.result.permuted_statistic));
      const bool measured = pair.measures_defined && pair.result.informative;
      append_real_field(line, pair.d_prime, measured);
      append_real_field(line, pair.wn, measured);
      if (judged_with_ties) {
        append_judgement_fields(line, pair.result);
      }
      line += '\n';
      out << line;
    }
  }
}

}  // namespace results
