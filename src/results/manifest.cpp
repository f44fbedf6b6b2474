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

// The test across populations: the overall test's row, or a row per pair.
ResultFile combined_file() {
  return {".combined.tsv", [](std::ostream& out, const ResultSet& set) {
            write_combined_table(out, set.input, set.loci, *set.combined);
          }};
}

ResultFile pair_alleles_file() {
  return {".pair_alleles.tsv", [](std::ostream& out, const ResultSet& set) {
            write_pair_alleles_table(out, *set.loci, *set.locus_pairs);
          }};
}

}  // namespace

std::vector<ResultFile> result_files(const ResultChoice& choice) {
  std::vector<ResultFile> files =
      choice.kind == RunKind::overall ? overall_files() : locus_pair_files();
  if (choice.judged_with_ties) {
    // The classic rules write the files they always wrote: these tables, the
    // record of the run and the page to read are the default rules' only.
    files.push_back(combined_file());
    if (choice.kind == RunKind::locus_pairs && choice.pair_alleles) {
      files.push_back(pair_alleles_file());
    }
    files.push_back({".run.tsv", write_run_record});
    files.push_back({".html", write_report_page});
  }
  return files;
}

}  // namespace results
