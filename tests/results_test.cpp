#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "results/results.h"
#include "results/results_internal.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

// The table as rows of fields; every row must end in LF.
Rows table_of(const std::string& text) {
  Rows rows;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    EXPECT_NE(end, std::string::npos) << "last row without LF";
    if (end == std::string::npos) {
      break;
    }
    std::vector<std::string>& fields = rows.emplace_back();
    std::size_t field_start = start;
    for (std::size_t tab = text.find('\t', start); tab < end; tab = text.find('\t', tab + 1)) {
      fields.push_back(text.substr(field_start, tab - field_start));
      field_start = tab + 1;
    }
    fields.push_back(text.substr(field_start, end - field_start));
    start = end + 1;
  }
  return rows;
}

std::string real_text(double value) {
  std::string text;
  results::append_real(text, value);
  return text;
}

// Two systems (A: a1 a2, B: b1 b2 b3); null {A},{B}, alternative {A+B}.
common::RunInput two_system_input() {
  common::RunInput input;
  input.locus_names = {"A", "B"};
  input.allele_names = {{"a1", "a2"}, {"b1", "b2", "b3"}};
  input.null_grouping.group_total = 2;
  input.null_grouping.group_size = {1, 1};
  input.null_grouping.group_systems = {{0}, {1}};
  input.alt_grouping.group_total = 1;
  input.alt_grouping.group_size = {2};
  input.alt_grouping.group_systems = {{0, 1}};
  return input;
}

common::PopulationResult population(const std::string& name, int individuals) {
  common::PopulationResult result;
  result.name = name;
  result.individuals = individuals;
  result.excluded = 1;
  result.null_model = {-10.25, {{{{0}, 0.75}, {{1}, 0.25}}, {{{2}, 0.5}, {{0}, 0.5}, {{1}, 0.0}}}};
  result.alt_model = {-9.0, {{{{0, 2}, 0.1}, {{1, 0}, 0.4}, {{0, 0}, 0.4}, {{1, 1}, 0.1}}}};
  result.observed_statistic = 2.0 * (-9.0 - -10.25);
  result.permuted_statistic = {1.5, 3.0, 2.5, 0.1 + 0.2};
  result.degrees_of_freedom = 2;
  result.exceeding = 1;
  result.ties = 1;
  result.p_value = 1.0 / 4.0;
  result.p_value_conservative = 3.0 / 5.0;
  result.permutation_mean = 1.825;
  result.permutation_variance = 0.9;
  result.xi_defined = true;
  result.ld_xi = 1.0 / 3.0;
  result.ld_xi_std = 0.7;
  return result;
}

common::RunResults two_populations() {
  common::RunResults results;
  results.permutations = 4;
  results.populations = {population("North", 10), population("South\tEnd", 7)};
  return results;
}

TEST(ResultsNumbers, ShortestRoundTripAndNa) {
  const struct {
    double value;
    const char* text;
  } cases[] = {{0.1, "0.1"},
               {0.1 + 0.2, "0.30000000000000004"},
               {72.0, "72"},
               {1e-05, "1e-05"},
               {-159.39859153240116, "-159.39859153240116"},
               {1.0 / 3.0, "0.3333333333333333"},
               {HUGE_VAL, "NA"},
               {std::nan(""), "NA"}};
  for (const auto& c : cases) {
    EXPECT_EQ(real_text(c.value), c.text);
  }
  std::string integer;
  results::append_integer(integer, -9223372036854775807LL);
  EXPECT_EQ(integer, "-9223372036854775807");
}

TEST(ResultsSummary, HeaderAndRowsFromTheResults) {
  std::ostringstream out;
  results::write_summary_table(out, two_system_input(), two_populations());
  const Rows rows = table_of(out.str());
  ASSERT_EQ(rows.size(), 3U);
  EXPECT_EQ(out.str().substr(0, out.str().find('\n')),
            "population\tindividuals\texcluded\tlnL0\tlnL1\tstatistic\tdf\tpermutations\texceeding"
            "\tties\tp_value\tp_value_conservative\tmean\tsd\txi\txi_sd");
  const std::vector<std::string> north = {
      "North", "10",  "1", "-10.25", "-9", "2.5", "2", "4", "1", "1", "0.25", "0.6",
      "1.825", real_text(std::sqrt(0.9)), real_text(1.0 / 3.0), "0.7"};
  EXPECT_EQ(rows[1], north);
  // A tab in a name would shift every column after it.
  EXPECT_EQ(rows[2][0], "South End");
  EXPECT_EQ(rows[2].size(), north.size());
}

TEST(ResultsSummary, UndefinedValuesAreNa) {
  common::RunResults results = two_populations();
  common::PopulationResult& result = results.populations[0];
  result.df_defined = false;
  result.permutation_variance = -1e-17;
  result.xi_defined = false;
  std::ostringstream out;
  results::write_summary_table(out, two_system_input(), results);
  const std::vector<std::string> row = table_of(out.str())[1];
  EXPECT_EQ(row[6], "NA");   // df
  EXPECT_EQ(row[13], "NA");  // sd
  EXPECT_EQ(row[14], "NA");  // xi
  EXPECT_EQ(row[15], "NA");  // xi_sd
  EXPECT_EQ(row[12], "1.825");
}

TEST(ResultsFrequencies, RowsByModelGroupFrequencyThenName) {
  std::ostringstream out;
  results::write_frequency_table(out, two_system_input(), two_populations());
  const Rows rows = table_of(out.str());
  const Rows north = {{"population", "model", "group", "haplotype", "frequency", "expected_count"},
                      {"North", "null", "1", "a1", "0.75", "15"},
                      {"North", "null", "1", "a2", "0.25", "5"},
                      {"North", "null", "2", "b1", "0.5", "10"},
                      {"North", "null", "2", "b3", "0.5", "10"},
                      {"North", "alt", "1", "a1~b1", "0.4", "8"},
                      {"North", "alt", "1", "a2~b1", "0.4", "8"},
                      {"North", "alt", "1", "a1~b3", "0.1", "2"},
                      {"North", "alt", "1", "a2~b2", "0.1", "2"}};
  ASSERT_EQ(rows.size(), 2 * north.size() - 1);
  EXPECT_EQ(Rows(rows.begin(), rows.begin() + 9), north);
  // 2N as a double times the frequency: 14 * 0.1 is not 1.4.
  EXPECT_EQ(rows[15][5], real_text(14.0 * 0.1));
}

TEST(ResultsPermutations, EveryStatisticByPopulationThenDataSet) {
  std::ostringstream out;
  results::write_permutation_table(out, two_system_input(), two_populations());
  const Rows rows = table_of(out.str());
  ASSERT_EQ(rows.size(), 9U);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"population", "data_set", "statistic"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"North", "1", "1.5"}));
  EXPECT_EQ(rows[4], (std::vector<std::string>{"North", "4", "0.30000000000000004"}));
  EXPECT_EQ(rows[5], (std::vector<std::string>{"South End", "1", "1.5"}));
}

TEST(ResultsPairs, RowsByPopulationThenPairOrderWithMeasures) {
  const common::PopulationResult north = population("North", 10);
  common::PopulationResult south = population("South", 7);
  south.permuted_statistic.resize(3);
  const std::vector<results::PairResult> pairs = {
      {"A", "B", north, true, 0.5, 0.25},
      {"A", "B", south, false, 0.0, 0.0},
      {"A", "C", north, true, 1.0 / 3.0, 0.125},
  };
  std::ostringstream out;
  results::write_pairs_table(out, pairs);
  const Rows rows = table_of(out.str());
  ASSERT_EQ(rows.size(), 4U);
  EXPECT_EQ(out.str().substr(0, out.str().find('\n')),
            "population\tlocus_a\tlocus_b\tindividuals\texcluded\tlnL0\tlnL1\tstatistic\tdf"
            "\tpermutations\texceeding\tties\tp_value\tp_value_conservative\tmean\tsd\txi\txi_sd"
            "\td_prime\twn");
  const std::vector<std::string> first = {
      "North", "A",   "B",  "10",   "1",  "-10.25", "-9", "2.5", "2", "4", "1",
      "1",     "0.25", "0.6", "1.825", real_text(std::sqrt(0.9)), real_text(1.0 / 3.0), "0.7",
      "0.5",   "0.25"};
  EXPECT_EQ(rows[1], first);
  EXPECT_EQ((std::vector<std::string>{rows[2][0], rows[2][2], rows[2][18]}),
            (std::vector<std::string>{"North", "C", real_text(1.0 / 3.0)}));
  // South's pair: its own count of permuted statistics, measures undefined.
  EXPECT_EQ((std::vector<std::string>{rows[3][0], rows[3][9], rows[3][18], rows[3][19]}),
            (std::vector<std::string>{"South", "3", "NA", "NA"}));
}

}  // namespace
