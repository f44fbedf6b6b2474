#pragma once

#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/combined.h"
#include "common/locus_pair_result.h"
#include "common/run.h"

// The result tables (tab-separated, a header row, LF line ends, UTF-8) and
// pictures (SVG 1.1) of a run, from its input (names, groupings) and its
// results. Writers format; every number comes from the results, computed once
// by the driver. Reals are written as the shortest decimal that reads back to
// the same double, undefined values as NA.

namespace results {

// PREFIX.summary.tsv: one row per population.
void write_summary_table(std::ostream& out, const common::RunInput& input,
                         const common::RunResults& results);

// PREFIX.frequencies.tsv: the fitted values of both models of the observed
// data set whose frequency is positive and at least min_frequency. With
// judged_with_ties a loci column follows (the group's loci joined by ~) and a
// population without information has no rows.
void write_frequency_table(std::ostream& out, const common::RunInput& input,
                           const common::RunResults& results, double min_frequency = 0.0);

// PREFIX.permutations.tsv: every permuted statistic.
void write_permutation_table(std::ostream& out, const common::RunInput& input,
                             const common::RunResults& results);

// PREFIX.svg: a line naming the groupings, then one histogram panel per
// population, one under the other. With results.judged_with_ties the panels
// of the 0-based page (see picture_pages) are small multiples in a grid, p
// is written as significant_text(p, 3) and a population without information
// says so.
void write_histogram_svg(std::ostream& out, const common::RunInput& input,
                         const common::RunResults& results, int page = 0);

// PREFIX.pairs.tsv: rows by population (in first-appearance order), then in
// the order of the locus pairs; loci are the names the pairs' indexes refer to.
// With judged_with_ties the interval and note columns follow, then W_A/B,
// W_B/A and the corrected p-values.
void write_locus_pairs_table(std::ostream& out, const std::vector<std::string>& loci,
                             const std::vector<common::LocusPairResult>& locus_pairs,
                             bool judged_with_ties = false);

// PREFIX.pairs.svg: per population, a matrix of the loci with a cell per
// locus pair, coloured by Wn. The classic rules draw every population, one
// under the other, with each cell's p. With judged_with_ties the matrices of
// the 0-based page (see picture_pages) are small multiples in a grid under
// one legend: each cell writes Wn (and p where it has room) up to 40 loci,
// a pair with p_bh < 0.05 is framed (p < 0.05 when no pair of the run has a
// p_bh), and a pair without information is marked as such.
void write_locus_pairs_svg(std::ostream& out, const std::vector<std::string>& loci,
                           const std::vector<common::LocusPairResult>& locus_pairs,
                           bool judged_with_ties = false, int page = 0);

// Under the default rules a picture holds at most POPULATIONS_PER_PAGE
// populations, laid out as a grid of small multiples; the populations beyond
// go to further pages, each a file of its own. picture_pages gives the count
// of pages for a count of populations (at least 1); picture_page_path the
// file of a 0-based page: the path itself for page 0, else the page's number
// (from 2) before the extension (PREFIX.svg, PREFIX.2.svg; PREFIX.pairs.svg,
// PREFIX.pairs.2.svg). The classic rules draw one page of every population.
inline constexpr int POPULATIONS_PER_PAGE = 50;
[[nodiscard]] int picture_pages(int populations);
[[nodiscard]] std::string picture_page_path(const std::string& path, int page);
// The count of populations of the pair rows (as the pair picture draws them).
[[nodiscard]] int locus_pair_populations(const std::vector<common::LocusPairResult>& locus_pairs);

struct ResultSet;

// The figures of a population's overall test as the console and the report
// page show them: statistic with 2 decimals, p-value and xi with 3
// significant digits (classic p-value: 3 decimals), NA where undefined, the
// notes joined by "; ".
struct SummaryCells {
  std::string individuals;
  std::string statistic;
  std::string df;
  std::string p_value;
  std::string xi;
  std::string note;
};
[[nodiscard]] SummaryCells summary_cells(const common::PopulationResult& result);

// The figures of a locus pair's test as the console and the report page show
// them: p-value as in summary_cells, D' and Wn with 3 decimals, NA where
// undefined; the notes (judged_with_ties only).
struct LocusPairCells {
  std::string p_value;
  std::string d_prime;
  std::string wn;
  std::string note;
};
[[nodiscard]] LocusPairCells locus_pair_cells(const common::LocusPairResult& pair,
                                              bool judged_with_ties);

// PREFIX.run.tsv: key and value of each row of set.record, under a header.
void write_run_record(std::ostream& out, const ResultSet& set);

// PREFIX.html: the page a person reads, whole in one file (inline CSS and
// SVG, no script, no reference outside it): the run record, the summary (or
// the pairs with their corrected p-values), the pictures, the most frequent
// haplotypes and the methods paragraph with this run's values.
void write_report_page(std::ostream& out, const ResultSet& set);

// The methods paragraph: its one template with each {placeholder} replaced
// by values.at(placeholder) (the caller escapes them for where they go).
[[nodiscard]] std::string methods_paragraph(
    const std::map<std::string, std::string, std::less<>>& values);
// The placeholders' names as docs/method.md shows them: methods_paragraph of
// these is the paragraph there.
[[nodiscard]] std::map<std::string, std::string, std::less<>> methods_placeholder_names();

// PREFIX.combined.tsv, the test across populations: for the overall test one
// row (its loci from input), for a pair run (loci non-null: the names the
// pairs' indexes refer to) one row per pair, locus_a and locus_b first and
// the corrected p-values p_holm and p_bh before the note.
void write_combined_table(std::ostream& out, const common::RunInput* input,
                          const std::vector<std::string>* loci,
                          const common::CombinedTests& combined);

// PREFIX.pair_alleles.tsv: per population, pair and allele pair of positive
// allele frequencies the haplotype frequency, the product of the allele
// frequencies, D and D', in the order of PREFIX.pairs.tsv.
void write_pair_alleles_table(std::ostream& out, const std::vector<std::string>& loci,
                              const std::vector<common::LocusPairResult>& locus_pairs);

// value with `digits` significant digits (at least 1), as a reader of a paper
// expects a p-value or an LD measure: 0.0476, 0.450, 0.100 (from 0.09996),
// 1.23e-05 below 1e-4; NA when not finite.
[[nodiscard]] std::string significant_text(double value, int digits);

}  // namespace results
