#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "common/count.h"
#include "results/results.h"
#include "results/results_internal.h"

namespace results {
namespace {

constexpr std::array<std::string_view, 15> COMBINED_COLUMNS = {
    "locus_a",      "locus_b",   "loci",   "populations", "statistic",
    "permutations", "exceeding", "ties",   "p_value",     "p_ci_low",
    "p_ci_high",    "p_fisher",  "p_holm", "p_bh",        "note"};

// populations ... p_fisher of one combined test, each preceded by a tab.
void append_combined_fields(std::string& line, const common::CombinedTest& test) {
  append_integer_field(line, test.populations);
  const bool tested = test.populations > 0;
  append_real_field(line, test.statistic, tested);
  append_integer_field(line, test.permutations);
  append_integer_field(line, test.exceeding);
  append_integer_field(line, test.ties);
  append_real_field(line, test.p_value, tested);
  append_real_field(line, test.p_ci_low, tested);
  append_real_field(line, test.p_ci_high, tested);
  append_real_field(line, test.p_fisher, tested);
}

std::string overall_loci(const common::RunInput& input) {
  std::vector<int> systems;
  systems.reserve(input.locus_names.size());
  for (int s = 0; s < common::count_of(input.locus_names); ++s) {
    systems.push_back(s);
  }
  return group_loci(input, systems, "~");
}

}  // namespace

void write_combined_table(std::ostream& out, const common::RunInput* input,
                          const std::vector<std::string>* loci,
                          const common::CombinedTests& combined) {
  const bool pairs = loci != nullptr;
  std::vector<std::string_view> columns;
  for (const std::string_view column : COMBINED_COLUMNS) {
    // locus_a, locus_b, p_holm and p_bh are the pairs' only.
    const bool pairs_only =
        column == "locus_a" || column == "locus_b" || column == "p_holm" || column == "p_bh";
    if (pairs || !pairs_only) {
      columns.push_back(column);
    }
  }
  write_header(out, columns);
  if (!pairs) {
    std::string line;
    append_text(line, input == nullptr ? std::string() : overall_loci(*input));
    append_combined_fields(line, combined.overall);
    append_text_field(line, combined.overall.note);
    line += '\n';
    out << line;
    return;
  }
  for (const common::CombinedPair& pair : combined.pairs) {
    const std::string& a = (*loci)[pair.locus_a];
    const std::string& b = (*loci)[pair.locus_b];
    std::string line;
    append_text(line, a);
    append_text_field(line, b);
    std::string pair_loci = a;
    pair_loci += '~';
    pair_loci += b;
    append_text_field(line, pair_loci);
    append_combined_fields(line, pair.test);
    append_real_field(line, pair.test.p_holm);
    append_real_field(line, pair.test.p_bh);
    append_text_field(line, pair.test.note);
    line += '\n';
    out << line;
  }
}

}  // namespace results
