#include "cli/console_tables.h"

#include <algorithm>
#include <charconv>

#include "common/count.h"

namespace cli {
namespace {

void line_to(layout::Sink& console, const std::string& text) {
  layout::write(console, "(A)", {std::string_view(text)});
}

std::string joined_notes(const common::PopulationResult& result) {
  std::string text;
  for (int k = 0; k < common::count_of(result.notes); ++k) {
    text += (k == 0 ? "" : "; ") + result.notes[k];
  }
  return text;
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
    const bool shown = r.informative;
    std::string line = padded(console_name(r.name), name_width) + "  " +
                       column(std::to_string(r.individuals), 11) + "  ";
    line += column(shown ? fixed_text(r.observed_statistic, 2) : "NA", 10) + "  ";
    line += column(shown && r.df_defined ? std::to_string(r.degrees_of_freedom) : "NA", 6) + "  ";
    line += column(shown ? results::significant_text(r.p_value, 3) : "NA", 8) + "  ";
    line += column(shown && r.xi_defined ? results::significant_text(r.ld_xi, 3) : "NA", 8) + "  ";
    line += joined_notes(r);
    while (!line.empty() && line.back() == ' ') {
      line.pop_back();
    }
    line_to(console, line);
  }
}

void write_locus_pair_table(const std::vector<std::string>& loci,
                            const std::vector<common::LocusPairResult>& locus_pairs,
                            bool judged_with_ties, layout::Sink& console) {
  std::size_t name_width = 10;
  std::size_t pair_width = 4;
  for (const common::LocusPairResult& pair : locus_pairs) {
    name_width = std::max(name_width, console_name(pair.result.name).size());
    pair_width = std::max(pair_width, pair_text(loci, pair).size());
  }
  line_to(console,
          padded("population", name_width) + "  " + padded("pair", pair_width) +
              (judged_with_ties ? "   p-value     D'     Wn  note" : "  p-value     D'     Wn"));
  for (const common::LocusPairResult& pair : locus_pairs) {
    const bool shown = pair.result.informative;
    const auto measure = [&pair, shown](double value) {
      return pair.measures_defined && shown ? fixed_text(value, 3) : std::string("   NA");
    };
    const std::string p_value = !shown ? std::string("NA")
                                : judged_with_ties
                                    ? results::significant_text(pair.result.p_value, 3)
                                    : fixed_text(pair.result.p_value, 3);
    std::string line = padded(console_name(pair.result.name), name_width) + "  " +
                       padded(pair_text(loci, pair), pair_width) + "  " +
                       column(p_value, judged_with_ties ? 8 : 7) + "  " + measure(pair.d_prime) +
                       "  " + measure(pair.wn);
    if (judged_with_ties && !pair.result.notes.empty()) {
      line += "  " + joined_notes(pair.result);
    }
    line_to(console, line);
  }
}

}  // namespace cli
