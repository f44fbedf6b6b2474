#include "cli/console_tables.h"

#include <algorithm>
#include <charconv>

#include "common/count.h"

namespace cli {
namespace {

void line_to(layout::Sink& console, const std::string& text) {
  layout::write(console, "(A)", {std::string_view(text)});
}

// A name from the table as the console shows it, its control characters
// escaped before the columns are measured.
std::string console_name(const std::string& name) { return layout::escape_controls(name); }

std::string pair_text(const std::vector<std::string>& loci, const common::LocusPairResult& pair) {
  return console_name(loci[pair.locus_a]) + " ~ " + console_name(loci[pair.locus_b]);
}

// A figure right-aligned in width, NA where it is undefined.
std::string column(const std::string& text, std::size_t width) {
  return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

// The console's pair table ends after this many rows.
constexpr int MAX_PAIR_ROWS = 200;
// A pair whose corrected p-value is below this is marked.
constexpr double BH_LEVEL = 0.05;

}  // namespace

std::string fixed_text(double value, int decimals) {
  char buffer[64];
  const auto end =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  return {buffer, end.ptr};
}

std::string padded(std::string text, std::size_t width) {
  if (text.size() < width) {
    text.append(width - text.size(), ' ');
  }
  return text;
}

void write_overall_table(const common::RunResults& results, layout::Sink& console) {
  std::size_t name_width = 10;
  for (const common::PopulationResult& result : results.populations) {
    name_width = std::max(name_width, console_name(result.name).size());
  }
  line_to(console, padded("population", name_width) +
                       "  individuals   statistic      df   p-value        xi  note");
  for (const common::PopulationResult& r : results.populations) {
    const results::SummaryCells cells = results::summary_cells(r);
    std::string line = padded(console_name(r.name), name_width) + "  " +
                       column(cells.individuals, 11) + "  " + column(cells.statistic, 10) + "  " +
                       column(cells.df, 6) + "  " + column(cells.p_value, 8) + "  " +
                       column(cells.xi, 8) + "  " + cells.note;
    while (!line.empty() && line.back() == ' ') {
      line.pop_back();
    }
    line_to(console, line);
  }
}

namespace {

// One row of the console's pair table; with judged_with_ties a '*' after the
// p-value marks p_bh below BH_LEVEL.
std::string pair_row(const std::vector<std::string>& loci, const common::LocusPairResult& pair,
                     bool judged_with_ties, std::size_t name_width, std::size_t pair_width) {
  const results::LocusPairCells cells = results::locus_pair_cells(pair, judged_with_ties);
  std::string line = padded(console_name(pair.result.name), name_width) + "  " +
                     padded(pair_text(loci, pair), pair_width) + "  " +
                     column(cells.p_value, judged_with_ties ? 8 : 7);
  if (judged_with_ties) {
    line += pair.p_bh < BH_LEVEL ? "*" : " ";
  }
  line += "  " + column(cells.d_prime, 5) + "  " + column(cells.wn, 5);
  if (!cells.note.empty()) {
    line += "  " + cells.note;
  }
  return line;
}

}  // namespace

void write_locus_pair_table(const std::vector<std::string>& loci,
                            const std::vector<common::LocusPairResult>& locus_pairs,
                            bool judged_with_ties, const std::string& table_path,
                            layout::Sink& console) {
  std::size_t name_width = 10;
  std::size_t pair_width = 4;
  for (const common::LocusPairResult& pair : locus_pairs) {
    name_width = std::max(name_width, console_name(pair.result.name).size());
    pair_width = std::max(pair_width, pair_text(loci, pair).size());
  }
  line_to(console,
          padded("population", name_width) + "  " + padded("pair", pair_width) +
              (judged_with_ties ? "   p-value      D'     Wn  note" : "  p-value     D'     Wn"));
  // Under the maximum-likelihood rules a run of many loci and populations
  // would flood the terminal: the table file has every row.
  const int shown_rows = judged_with_ties ? std::min(common::count_of(locus_pairs), MAX_PAIR_ROWS)
                                          : common::count_of(locus_pairs);
  for (int k = 0; k < shown_rows; ++k) {
    line_to(console, pair_row(loci, locus_pairs[k], judged_with_ties, name_width, pair_width));
  }
  if (judged_with_ties) {
    if (shown_rows < common::count_of(locus_pairs)) {
      line_to(console, std::to_string(common::count_of(locus_pairs) - shown_rows) +
                           " more rows not shown: every row is in " + table_path);
    }
    line_to(console,
            "* Benjamini-Hochberg corrected p-value (p_bh over the pairs of the population) "
            "below 0.05");
  }
}

}  // namespace cli
