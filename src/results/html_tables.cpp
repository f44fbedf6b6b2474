#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "common/count.h"
#include "results/results.h"
#include "results/results_internal.h"

namespace results {
namespace {

// Haplotypes per population and group on the page; the frequency table has them all.
constexpr int TOP_HAPLOTYPES = 10;
// Pair rows on the page; a run of many loci has the rest in its pairs table only.
constexpr int MAX_PAGE_PAIR_ROWS = 2000;
// A pair whose p_bh lies below this is marked.
constexpr double SIGNIFICANCE = 0.05;

void header_row(std::ostream& out, const std::vector<std::string_view>& names) {
  out << "<tr>";
  for (const std::string_view name : names) {
    out << "<th>" << name << "</th>";
  }
  out << "</tr>\n";
}

// A figure, right-aligned.
std::string number_cell(const std::string& text) {
  return "<td class=\"n\">" + xml_escaped(text) + "</td>";
}

std::string text_cell(std::string_view text) { return "<td>" + xml_escaped(text) + "</td>"; }

std::string measure_text(double value) {
  return std::isfinite(value) ? fixed_text(value, 3) : std::string("NA");
}

}  // namespace

void write_summary_rows(std::ostream& out, const common::RunResults& results) {
  out << "<h2 id=\"summary\">Summary</h2>\n<table>\n";
  header_row(out, {"population", "individuals", "statistic", "df", "p-value", "xi", "note"});
  for (const common::PopulationResult& result : results.populations) {
    const SummaryCells cells = summary_cells(result);
    out << "<tr>" << text_cell(result.name) << number_cell(cells.individuals)
        << number_cell(cells.statistic) << number_cell(cells.df) << number_cell(cells.p_value)
        << number_cell(cells.xi) << text_cell(cells.note) << "</tr>\n";
  }
  out << "</table>\n";
}

void write_locus_pair_rows(std::ostream& out, const std::vector<std::string>& loci,
                           const std::vector<common::LocusPairResult>& locus_pairs) {
  out << "<h2 id=\"summary\">Pairs of loci</h2>\n<p>p-values corrected over the pairs of each "
         "population (Holm, Benjamini-Hochberg) and over every pair test of the run "
         "(BH, all); rows with a BH p-value below 0.05 are marked.</p>\n<table>\n";
  header_row(out, {"population", "pair", "p-value", "p (Holm)", "p (BH)", "p (BH, all)", "D'", "Wn",
                   "W<sub>A/B</sub>", "W<sub>B/A</sub>", "note"});
  const int shown = std::min(common::count_of(locus_pairs), MAX_PAGE_PAIR_ROWS);
  for (int k = 0; k < shown; ++k) {
    const common::LocusPairResult& pair = locus_pairs[k];
    const LocusPairCells cells = locus_pair_cells(pair, true);
    out << (pair.p_bh < SIGNIFICANCE ? "<tr class=\"significant\">" : "<tr>")
        << text_cell(pair.result.name) << "<td class=\"pair\">"
        << xml_escaped(loci[pair.locus_a] + " ~ " + loci[pair.locus_b]) << "</td>"
        << number_cell(cells.p_value) << number_cell(significant_text(pair.p_holm, 3))
        << number_cell(significant_text(pair.p_bh, 3))
        << number_cell(significant_text(pair.p_bh_all, 3)) << number_cell(cells.d_prime)
        << number_cell(cells.wn) << number_cell(measure_text(pair.w_a_given_b))
        << number_cell(measure_text(pair.w_b_given_a)) << text_cell(cells.note) << "</tr>\n";
  }
  out << "</table>\n";
  if (shown < common::count_of(locus_pairs)) {
    out << "<p>" << common::count_of(locus_pairs) - shown
        << " more rows are in the <code>.pairs.tsv</code> file of this run.</p>\n";
  }
}

void write_top_haplotypes(std::ostream& out, const common::RunInput& input,
                          const common::RunResults& results) {
  out << "<h2 id=\"haplotypes\">Most frequent haplotypes</h2>\n<p>The " << TOP_HAPLOTYPES
      << " most frequent haplotypes of the alternative model in each population (by frequency, "
         "then name); the <code>.frequencies.tsv</code> file has every value.</p>\n"
         "<div class=\"grid\">\n";
  const std::vector<int> none;
  for (int p = 0; p < common::count_of(results.populations); ++p) {
    const common::PopulationResult& result = results.populations[p];
    out << "<div><h3>" << xml_escaped(result.name) << "</h3>\n";
    if (!result.informative) {
      out << "<p>no information</p></div>\n";
      continue;
    }
    const std::vector<int>& untyped =
        p < common::count_of(input.untyped_systems) ? input.untyped_systems[p] : none;
    for (int g = 0; g < common::count_of(result.alt_model.values); ++g) {
      const std::vector<int>& systems = input.alt_grouping.group_systems[g];
      std::vector<FrequencyRow> rows =
          group_rows(input, systems, result.alt_model.values[g], 0.0, untyped);
      rows.resize(std::min<std::size_t>(rows.size(), TOP_HAPLOTYPES));
      out << "<table>\n<tr><th>" << xml_escaped(group_loci(input, systems, "~"))
          << "</th><th>frequency</th></tr>\n";
      for (const FrequencyRow& row : rows) {
        out << "<tr>" << text_cell(row.haplotype) << number_cell(significant_text(row.frequency, 3))
            << "</tr>\n";
      }
      out << "</table>\n";
    }
    out << "</div>\n";
  }
  out << "</div>\n";
}

}  // namespace results
