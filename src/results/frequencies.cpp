#include <algorithm>
#include <string>
#include <vector>

#include "common/count.h"
#include "results/results.h"
#include "results/results_internal.h"

namespace results {
namespace {

// One row of the frequency table before it is written.
struct FrequencyRow {
  std::string haplotype;
  double frequency = 0.0;
};

// The allele names of the group's systems joined by ~, in the group's order.
std::string haplotype_name(const common::RunInput& input, const std::vector<int>& group_systems,
                           const std::vector<int>& alleles) {
  std::string name;
  for (int j = 0; j < common::count_of(alleles); ++j) {
    if (j > 0) {
      name += '~';
    }
    name += input.allele_names[group_systems[j]][alleles[j]];
  }
  return name;
}

// The group's rows in table order: descending frequency, then haplotype
// name in byte order (std::string compares as unsigned bytes).
std::vector<FrequencyRow> group_rows(const common::RunInput& input,
                                     const std::vector<int>& group_systems,
                                     const std::vector<common::FittedValue>& values) {
  std::vector<FrequencyRow> rows;
  for (const common::FittedValue& value : values) {
    if (value.frequency > 0.0) {
      rows.push_back({haplotype_name(input, group_systems, value.alleles), value.frequency});
    }
  }
  std::stable_sort(rows.begin(), rows.end(), [](const FrequencyRow& a, const FrequencyRow& b) {
    if (a.frequency != b.frequency) {
      return a.frequency > b.frequency;
    }
    return a.haplotype < b.haplotype;
  });
  return rows;
}

void write_model_rows(std::ostream& out, const common::RunInput& input,
                      const common::PopulationResult& result, std::string_view model_name,
                      const common::Grouping& grouping, const common::FittedModel& model) {
  // The expected count as the degrees of freedom form it: 2N converted to
  // double, times the frequency.
  const double haplotype_total = static_cast<double>(2 * result.individuals);
  for (int g = 0; g < common::count_of(model.values); ++g) {
    for (const FrequencyRow& row : group_rows(input, grouping.group_systems[g], model.values[g])) {
      std::string line;
      append_text(line, result.name);
      append_text_field(line, model_name);
      append_integer_field(line, g + 1);
      append_text_field(line, row.haplotype);
      append_real_field(line, row.frequency);
      append_real_field(line, haplotype_total * row.frequency);
      line += '\n';
      out << line;
    }
  }
}

}  // namespace

void write_frequency_table(std::ostream& out, const common::RunInput& input,
                           const common::RunResults& results) {
  write_header(out, {"population", "model", "group", "haplotype", "frequency", "expected_count"});
  for (const common::PopulationResult& result : results.populations) {
    write_model_rows(out, input, result, "null", input.null_grouping, result.null_model);
    write_model_rows(out, input, result, "alt", input.alt_grouping, result.alt_model);
  }
}

}  // namespace results
