#include "results/manifest.h"

#include "common/count.h"
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
      {".svg",
       [](std::ostream& out, const ResultSet& set) {
         write_histogram_svg(out, *set.input, *set.results);
       },
       // The classic rules draw every population on one page.
       [](const ResultSet& set) {
         return set.results->judged_with_ties
                    ? picture_pages(common::count_of(set.results->populations))
                    : 1;
       },
       [](std::ostream& out, const ResultSet& set, int page) {
         write_histogram_svg(out, *set.input, *set.results, page);
       }},
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
       },
       [](const ResultSet& set) {
         return set.judged_with_ties ? picture_pages(locus_pair_populations(*set.locus_pairs)) : 1;
       },
       [](std::ostream& out, const ResultSet& set, int page) {
         write_locus_pairs_svg(out, *set.loci, *set.locus_pairs, set.judged_with_ties, page);
       }},
  };
}

}  // namespace

std::vector<ResultFile> result_files(const ResultChoice& choice) {
  std::vector<ResultFile> files =
      choice.kind == RunKind::overall ? overall_files() : locus_pair_files();
  // The record of the run and the page to read: the default rules only, so
  // that a classic run writes the files it always has.
  if (choice.judged_with_ties) {
    files.push_back({".run.tsv", write_run_record});
    files.push_back({".html", write_report_page});
  }
  return files;
}

}  // namespace results
