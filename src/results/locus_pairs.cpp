#include <string>
#include <string_view>
#include <vector>

#include "common/count.h"
#include "common/first_appearance.h"
#include "results/results.h"
#include "results/results_internal.h"

namespace results {

std::vector<PopulationLocusPairs> locus_pairs_by_population(
    const std::vector<common::LocusPairResult>& locus_pairs) {
  std::vector<std::string_view> names;
  names.reserve(locus_pairs.size());
  for (const common::LocusPairResult& locus_pair : locus_pairs) {
    names.emplace_back(locus_pair.result.name);
  }
  const common::FirstAppearance order = common::first_appearance(names);
  std::vector<PopulationLocusPairs> populations;
  for (const std::string& name : order.values) {
    populations.push_back(PopulationLocusPairs{name, {}});
  }
  for (int k = 0; k < common::count_of(locus_pairs); ++k) {
    populations[order.number_of[k]].locus_pairs.push_back(k);
  }
  return populations;
}

int locus_pair_populations(const std::vector<common::LocusPairResult>& locus_pairs) {
  return common::count_of(locus_pairs_by_population(locus_pairs));
}

void write_locus_pairs_table(std::ostream& out, const std::vector<std::string>& loci,
                             const std::vector<common::LocusPairResult>& locus_pairs,
                             bool judged_with_ties) {
  std::vector<std::string_view> columns = {"population", "locus_a", "locus_b"};
  columns.insert(columns.end(), TEST_COLUMNS.begin(), TEST_COLUMNS.end());
  columns.insert(columns.end(), {"d_prime", "wn"});
  if (judged_with_ties) {
    for (const std::string_view column : JUDGEMENT_COLUMNS) {
      columns.push_back(column);
    }
    columns.insert(columns.end(), {"w_a_given_b", "w_b_given_a", "p_holm", "p_bh", "p_bh_all"});
  }
  write_header(out, columns);
  for (const PopulationLocusPairs& population : locus_pairs_by_population(locus_pairs)) {
    for (const int k : population.locus_pairs) {
      const common::LocusPairResult& locus_pair = locus_pairs[k];
      std::string line;
      append_text(line, locus_pair.result.name);
      append_text_field(line, loci[locus_pair.locus_a]);
      append_text_field(line, loci[locus_pair.locus_b]);
      // Each locus pair carries its own count: its data sets are its own.
      append_test_fields(line, locus_pair.result,
                         common::count_of(locus_pair.result.permuted_statistic));
      const bool measured = locus_pair.measures_defined && locus_pair.result.informative;
      append_real_field(line, locus_pair.d_prime, measured);
      append_real_field(line, locus_pair.wn, measured);
      if (judged_with_ties) {
        append_judgement_fields(line, locus_pair.result);
        append_real_field(line, locus_pair.w_a_given_b, measured);
        append_real_field(line, locus_pair.w_b_given_a, measured);
        append_real_field(line, locus_pair.p_holm);
        append_real_field(line, locus_pair.p_bh);
        append_real_field(line, locus_pair.p_bh_all);
      }
      line += '\n';
      out << line;
    }
  }
}

void write_pair_alleles_table(std::ostream& out, const std::vector<std::string>& loci,
                              const std::vector<common::LocusPairResult>& locus_pairs) {
  write_header(out, {"population", "locus_a", "locus_b", "allele_a", "allele_b", "frequency",
                     "product", "d", "d_prime"});
  for (const PopulationLocusPairs& population : locus_pairs_by_population(locus_pairs)) {
    for (const int k : population.locus_pairs) {
      const common::LocusPairResult& locus_pair = locus_pairs[k];
      for (const common::AllelePairCell& cell : locus_pair.allele_pairs) {
        std::string line;
        append_text(line, locus_pair.result.name);
        append_text_field(line, loci[locus_pair.locus_a]);
        append_text_field(line, loci[locus_pair.locus_b]);
        append_text_field(line, locus_pair.allele_names_a[cell.allele_a]);
        append_text_field(line, locus_pair.allele_names_b[cell.allele_b]);
        append_real_field(line, cell.frequency);
        append_real_field(line, cell.product);
        append_real_field(line, cell.d);
        append_real_field(line, cell.d_prime);
        line += '\n';
        out << line;
      }
    }
  }
}

}  // namespace results
