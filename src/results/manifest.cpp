#include "results/manifest.h"

#include "results/results.h"

namespace results {
namespace {

std::vector<ResultFile> overall_files() {
  return {
      {".summary.tsv",
       [](std::ostream& out, const ResultSet& set) {
         write_summary_table(out, *set.input, *set.results);
       }},
      {".frequencies.tsv",
       [](std::ostream& out, const ResultSet& set) {
         write_frequency_table(out, *set.input, *set.results, set.min_frequency);
       }},
      {".permutations.tsv",
       [](std::ostream& out, const ResultSet& set) {
         write_permutation_table(out, *set.input, *set.results);
       }},
      {".svg", [](std::ostream& out,
                  const ResultSet& set) { write_histogram_svg(out, *set.input, *set.results); }},
  };
}

std::vector<ResultFile> locus_pair_files() {
  return {
      {".pairs.tsv",
       [](std::ostream& out, const ResultSet& set) {
         write_locus_pairs_table(out, *set.loci, *set.locus_pairs, set.judged_with_ties);
       }},
      {".pairs.svg",
       [](std::ostream& out, const ResultSet& set) {
         write_locus_pairs_svg(out, *set.loci, *set.locus_pairs, set.judged_with_ties);
       }},
  };
}

}  // namespace

std::vector<ResultFile> result_files(const ResultChoice& choice) {
  return choice.kind == RunKind::overall ? overall_files() : locus_pair_files();
}

}  // namespace results
