#include <algorithm>
#include <string>
#include <vector>

#include "common/count.h"
#include "results/results.h"
#include "results/results_internal.h"

namespace results {

std::string haplotype_name(const common::RunInput& input, const std::vector<int>& group_systems,
                           const std::vector<int>& alleles, const std::vector<int>& untyped) {
  std::string name;
  for (int j = 0; j < common::count_of(alleles); ++j) {
    if (j > 0) {
      name += '~';
    }
    const int system = group_systems[j];
    name += std::find(untyped.begin(), untyped.end(), system) != untyped.end()
                ? std::string("NA")
                : input.allele_names[system][alleles[j]];
  }
  return name;
}

std::vector<FrequencyRow> group_rows(const common::RunInput& input,
                                     const std::vector<int>& group_systems,
                                     const std::vector<common::FittedValue>& values,
                                     double min_frequency, const std::vector<int>& untyped) {
  std::vector<FrequencyRow> rows;
  for (const common::FittedValue& value : values) {
    if (value.frequency > 0.0 && value.frequency >= min_frequency) {
      rows.push_back(
          {haplotype_name(input, group_systems, value.alleles, untyped), value.frequency});
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

namespace {

// What the rows of one model share: its name, grouping and fit, and how the
// table is cut and laid out.
struct ModelRows {
  std::string_view model_name;
  const common::Grouping& grouping;
  const common::FittedModel& model;
  double min_frequency = 0.0;
  bool loci_column = false;
  const std::vector<int>& untyped;  // systems the population has not typed
};

void write_model_rows(std::ostream& out, const common::RunInput& input,
                      const common::PopulationResult& result, const ModelRows& rows) {
  // The expected count as the degrees of freedom form it: 2N converted to
  // double, times the frequency.
  const double haplotype_total = static_cast<double>(2 * result.individuals);
  const std::vector<int>& untyped = rows.untyped;
  for (int g = 0; g < common::count_of(rows.model.values); ++g) {
    const std::vector<int>& systems = rows.grouping.group_systems[g];
    // A group nobody of the population has typed was left out of its test.
    if (std::all_of(systems.begin(), systems.end(), [&](int system) {
          return std::find(untyped.begin(), untyped.end(), system) != untyped.end();
        })) {
      continue;
    }
    const std::string loci = rows.loci_column ? group_loci(input, systems, "~") : std::string();
    for (const FrequencyRow& row :
         group_rows(input, systems, rows.model.values[g], rows.min_frequency, untyped)) {
      std::string line;
      append_text(line, result.name);
      append_text_field(line, rows.model_name);
      append_integer_field(line, g + 1);
      append_text_field(line, row.haplotype);
      append_real_field(line, row.frequency);
      append_real_field(line, haplotype_total * row.frequency);
      if (rows.loci_column) {
        append_text_field(line, loci);
      }
      line += '\n';
      out << line;
    }
  }
}

}  // namespace

std::string locus_name(const common::RunInput& input, int system) {
  if (system < common::count_of(input.locus_names)) {
    return input.locus_names[system];
  }
  std::string number;
  append_integer(number, system + 1);
  return "system " + number;
}

std::string group_loci(const common::RunInput& input, const std::vector<int>& group_systems,
                       std::string_view joint) {
  std::string loci;
  for (int j = 0; j < common::count_of(group_systems); ++j) {
    if (j > 0) {
      loci += joint;
    }
    loci += locus_name(input, group_systems[j]);
  }
  return loci;
}

void write_frequency_table(std::ostream& out, const common::RunInput& input,
                           const common::RunResults& results, double min_frequency) {
  // The loci column is new with the maximum-likelihood rules; a classic
  // table keeps its columns.
  const bool loci_column = results.judged_with_ties;
  std::vector<std::string_view> columns = {"population", "model",     "group",
                                           "haplotype",  "frequency", "expected_count"};
  if (loci_column) {
    columns.push_back("loci");
  }
  write_header(out, columns);
  const std::vector<int> none;
  for (int p = 0; p < common::count_of(results.populations); ++p) {
    const common::PopulationResult& result = results.populations[p];
    // Nothing was estimated for a test without information.
    if (!result.informative) {
      continue;
    }
    const std::vector<int>& untyped =
        p < common::count_of(input.untyped_systems) ? input.untyped_systems[p] : none;
    write_model_rows(
        out, input, result,
        {"null", input.null_grouping, result.null_model, min_frequency, loci_column, untyped});
    write_model_rows(
        out, input, result,
        {"alt", input.alt_grouping, result.alt_model, min_frequency, loci_column, untyped});
  }
}

}  // namespace results
