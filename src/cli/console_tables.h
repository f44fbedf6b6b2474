#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/run.h"
#include "layout/layout.h"
#include "results/results.h"

// The tables a table run shows on the console once its tests are done.

namespace cli {

// The console of a table run: each record reaches console with its control
// characters escaped (layout::escape_controls), so that a CR or ESC in a
// population, locus or allele name cannot rewrite the terminal; UTF-8 names
// are shown as they are.
class TableConsole final : public layout::Sink {
 public:
  explicit TableConsole(layout::Sink& console) : console_(console) {}
  void write_record(std::string_view record) override {
    console_.write_record(layout::escape_controls(record));
  }

 private:
  layout::Sink& console_;
};

// value with `decimals` digits after the point.
[[nodiscard]] std::string fixed_text(double value, int decimals);
// text padded with blanks to width.
[[nodiscard]] std::string padded(std::string text, std::size_t width);

// The overall test under the maximum-likelihood rules: per population its
// full name, individuals, statistic, df, p-value and xi (3 significant
// digits) and its notes; NA where a figure is undefined.
void write_overall_table(const common::RunResults& results, layout::Sink& console);

// The locus pair tests: population, pair, p-value, D', Wn; with
// judged_with_ties the p-value has 3 significant digits, a '*' after it marks
// p_bh below 0.05 (explained in a line under the table), the notes follow,
// and at most 200 rows are shown, then a line with the count of the others
// and table_path, the file that has them all.
// loci: the names the results' 0-based locus indexes stand for.
void write_locus_pair_table(const std::vector<std::string>& loci,
                            const std::vector<common::LocusPairResult>& locus_pairs,
                            bool judged_with_ties, const std::string& table_path,
                            layout::Sink& console);

}  // namespace cli
