#include "results/results.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "results/results_internal.h"
#include "support/groupings.h"
#include "support/svg_check.h"

namespace {

using test_support::count_of_text;
using test_support::svg_fault;

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
  input.null_grouping = test_support::grouping_of({{0}, {1}}, {2, 3});
  input.alt_grouping = test_support::grouping_of({{0, 1}}, {2, 3});
  return input;
}

common::PopulationResult population(const std::string& name, int individuals) {
  common::PopulationResult result;
  result.name = name;
  result.individuals = individuals;
  result.excluded = 1;
  result.null_model = {
      -10.25, {{{{0}, 0.75}, {{1}, 0.25}}, {{{2}, 0.5}, {{0}, 0.5}, {{1}, 0.0}}}, {}};
  result.alt_model = {-9.0, {{{{0, 2}, 0.1}, {{1, 0}, 0.4}, {{0, 0}, 0.4}, {{1, 1}, 0.1}}}, {}};
  result.observed_statistic = 2.0 * (-9.0 - -10.25);
  result.permuted_statistic = {1.5, 3.0, 2.5, 0.1 + 0.2};
  result.degrees_of_freedom = 2;
  result.exceeding = 1;
  result.ties = 1;
  result.p_value = 1.0 / 4.0;
  result.p_value_conservative = 3.0 / 5.0;
  result.permutation_mean = 1.825;
  result.permutation_variance = 0.9;
  result.permutation_sd = std::sqrt(0.9);
  result.xi_defined = true;
  result.ld_xi = 1.0 / 3.0;
  result.ld_xi_std = 0.7;
  return result;
}

// The test columns (individuals to xi_sd) of population(name, 10) in a row
// whose permutations column says 4.
std::vector<std::string> north_test_fields() {
  std::vector<std::string> fields = {"10", "1", "-10.25", "-9",   "2.5", "2",
                                     "4",  "1", "1",      "0.25", "0.6", "1.825"};
  fields.insert(fields.end(), {real_text(std::sqrt(0.9)), real_text(1.0 / 3.0), "0.7"});
  return fields;
}

// The parts one after another.
std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const std::vector<std::string>& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

common::RunResults two_populations() {
  common::RunResults results;
  results.permutations = 4;
  results.populations = {population("North", 10), population("South\tEnd", 7)};
  return results;
}

TEST(ResultsNumbers, ShortestRoundTripAndNa) {
  const std::pair<double, const char*> cases[] = {
      {0.1, "0.1"},         {0.1 + 0.2, "0.30000000000000004"},
      {72.0, "72"},         {1e-05, "1e-05"},
      {HUGE_VAL, "NA"},     {-159.39859153240116, "-159.39859153240116"},
      {std::nan(""), "NA"}, {1.0 / 3.0, "0.3333333333333333"}};
  for (const auto& [value, text] : cases) {
    EXPECT_EQ(real_text(value), text);
  }
  std::string integer;
  results::append_integer(integer, -9223372036854775807LL);
  EXPECT_EQ(integer, "-9223372036854775807");
}

TEST(ResultsSummary, HeaderAndRowsFromTheResults) {
  common::RunResults results = two_populations();
  common::PopulationResult& south = results.populations[1];
  south.df_defined = false;
  south.permutation_variance = -1e-17;
  south.permutation_sd = std::nan("");
  south.xi_defined = false;
  std::ostringstream out;
  results::write_summary_table(out, two_system_input(), results);
  const Rows rows = table_of(out.str());
  ASSERT_EQ(rows.size(), 3U);
  EXPECT_EQ(out.str().substr(0, out.str().find('\n')),
            "population\tindividuals\texcluded\tlnL0\tlnL1\tstatistic\tdf\tpermutations\texceeding"
            "\tties\tp_value\tp_value_conservative\tmean\tsd\txi\txi_sd");
  EXPECT_EQ(rows[1], joined({{"North"}, north_test_fields()}));
  // A tab in a name would shift every column after it; undefined values are NA.
  std::vector<std::string> south_row = joined({{"South End"}, north_test_fields()});
  south_row[1] = "7";
  for (const int na : {6, 13, 14, 15}) {  // df, sd, xi, xi_sd
    south_row[na] = "NA";
  }
  EXPECT_EQ(rows[2], south_row);
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

// Under the maximum-likelihood rules a loci column follows and a population
// without information (South here) has no rows; either rule set cuts at the
// least frequency, which is kept itself (0.4 at 0.4).
TEST(ResultsFrequencies, LociColumnAndLeastFrequency) {
  const struct {
    bool judged_with_ties;
    double min_frequency;
    std::size_t row_count;
    Rows first_rows;
  } cases[] = {
      {true,
       0.4,
       6,
       {{"population", "model", "group", "haplotype", "frequency", "expected_count", "loci"},
        {"North", "null", "1", "a1", "0.75", "15", "A"},
        {"North", "null", "2", "b1", "0.5", "10", "B"},
        {"North", "null", "2", "b3", "0.5", "10", "B"},
        {"North", "alt", "1", "a1~b1", "0.4", "8", "A~B"},
        {"North", "alt", "1", "a2~b1", "0.4", "8", "A~B"}}},
      {true, 0.0, 9, {}},
      {false,
       0.5,
       7,
       {{"population", "model", "group", "haplotype", "frequency", "expected_count"},
        {"North", "null", "1", "a1", "0.75", "15"},
        {"North", "null", "2", "b1", "0.5", "10"},
        {"North", "null", "2", "b3", "0.5", "10"},
        {"South End", "null", "1", "a1", "0.75", "10.5"}}},
  };
  for (const auto& c : cases) {
    common::RunResults results = two_populations();
    results.judged_with_ties = c.judged_with_ties;
    results.populations[1].informative = !c.judged_with_ties;
    std::ostringstream out;
    results::write_frequency_table(out, two_system_input(), results, c.min_frequency);
    const Rows rows = table_of(out.str());
    ASSERT_EQ(rows.size(), c.row_count) << c.min_frequency;
    EXPECT_EQ(Rows(rows.begin(), rows.begin() + static_cast<long>(c.first_rows.size())),
              c.first_rows);
    EXPECT_EQ(rows.back().size(), c.judged_with_ties ? 7U : 6U);
  }
}

TEST(ResultsLocusPairs, RowsByPopulationThenPairOrderWithMeasures) {
  const common::PopulationResult north = population("North", 10);
  common::PopulationResult south = population("South", 7);
  south.permuted_statistic.resize(3);
  const std::vector<std::string> loci = {"A", "B", "C"};
  const std::vector<common::LocusPairResult> pairs = {
      {0, 1, north, true, 0.5, 0.25},
      {0, 1, south, false, 0.0, 0.0},
      {0, 2, north, true, 1.0 / 3.0, 0.125},
  };
  std::ostringstream out;
  results::write_locus_pairs_table(out, loci, pairs);
  const Rows rows = table_of(out.str());
  ASSERT_EQ(rows.size(), 4U);
  EXPECT_EQ(rows[1], joined({{"North", "A", "B"}, north_test_fields(), {"0.5", "0.25"}}));
  EXPECT_EQ((std::vector<std::string>{rows[2][0], rows[2][2], rows[2][18]}),
            (std::vector<std::string>{"North", "C", real_text(1.0 / 3.0)}));
  // South's pair: its own count of permuted statistics, measures undefined.
  EXPECT_EQ((std::vector<std::string>{rows[3][0], rows[3][9], rows[3][18], rows[3][19]}),
            (std::vector<std::string>{"South", "3", "NA", "NA"}));
}

// Under the maximum-likelihood rules W_A/B, W_B/A and the corrected
// p-values follow the note; W is NA where the measures are.
TEST(ResultsLocusPairs, AsymmetricMeasuresAndCorrectedPValuesLast) {
  common::LocusPairResult measured{0, 1, population("North", 10), true, 0.5, 0.25};
  measured.w_a_given_b = 0.125;
  measured.w_b_given_a = 0.375;
  measured.p_holm = 0.5;
  measured.p_bh = 0.25;
  measured.p_bh_all = 0.75;
  common::LocusPairResult unmeasured = measured;
  unmeasured.measures_defined = false;
  std::ostringstream out;
  results::write_locus_pairs_table(out, {"A", "B"}, {measured, unmeasured}, true);
  const Rows rows = table_of(out.str());
  ASSERT_EQ(rows.size(), 3U);
  const auto last_five = [](const std::vector<std::string>& row) {
    return std::vector<std::string>(row.end() - 5, row.end());
  };
  EXPECT_EQ(last_five(rows[0]),
            (std::vector<std::string>{"w_a_given_b", "w_b_given_a", "p_holm", "p_bh", "p_bh_all"}));
  EXPECT_EQ(rows[0][22], "note");
  EXPECT_EQ(last_five(rows[1]),
            (std::vector<std::string>{"0.125", "0.375", "0.5", "0.25", "0.75"}));
  EXPECT_EQ(last_five(rows[2]), (std::vector<std::string>{"NA", "NA", "0.5", "0.25", "0.75"}));
}

// The combined table: one row for the overall test, a row per pair with the
// pairs' columns; a test no population takes part in is NA with its note.
TEST(ResultsCombined, OverallAndPairRows) {
  common::CombinedTest tested;
  tested.populations = 2;
  tested.statistic = 7.0;
  tested.permutations = 4;
  tested.ties = 2;
  tested.p_value = 0.6;
  tested.p_ci_low = 0.125;
  tested.p_ci_high = 0.875;
  tested.p_fisher = 0.5;
  tested.p_holm = 0.75;
  tested.p_bh = 0.625;
  common::CombinedTest untested;
  untested.left_out = 2;
  untested.note = "no population with a test";
  const common::RunInput input = two_system_input();
  std::ostringstream overall;
  common::CombinedTests whole;
  whole.overall = tested;
  results::write_combined_table(overall, &input, nullptr, whole);
  EXPECT_EQ(table_of(overall.str()),
            (Rows{{"loci", "populations", "statistic", "permutations", "exceeding", "ties",
                   "p_value", "p_ci_low", "p_ci_high", "p_fisher", "note"},
                  {"A~B", "2", "7", "4", "0", "2", "0.6", "0.125", "0.875", "0.5", ""}}));
  const std::vector<std::string> loci = {"A", "B", "C"};
  std::ostringstream pairs;
  common::CombinedTests by_pair;
  by_pair.pairs = {{0, 2, tested}, {1, 2, untested}};
  results::write_combined_table(pairs, nullptr, &loci, by_pair);
  const Rows rows = table_of(pairs.str());
  ASSERT_EQ(rows.size(), 3U);
  EXPECT_EQ(rows[0].size(), 15U);
  EXPECT_EQ(rows[1], (std::vector<std::string>{"A", "C", "A~C", "2", "7", "4", "0", "2", "0.6",
                                               "0.125", "0.875", "0.5", "0.75", "0.625", ""}));
  EXPECT_EQ(rows[2],
            (std::vector<std::string>{"B", "C", "B~C", "0", "NA", "0", "0", "0", "NA", "NA", "NA",
                                      "NA", "NA", "NA", "no population with a test"}));
}

// The allele-pair table: a row per kept cell, named by the pair's alleles.
TEST(ResultsPairAlleles, RowsNamedByTheirAlleles) {
  common::LocusPairResult pair{0, 1, population("North", 10), true, 0.5, 0.25};
  pair.allele_names_a = {"a1", "a2"};
  pair.allele_names_b = {"b1", "b2", "b3"};
  pair.allele_pairs = {{1, 2, 0.25, 0.125, 0.125, 0.5, 0.25}};
  std::ostringstream out;
  results::write_pair_alleles_table(out, {"A", "B"}, {pair});
  EXPECT_EQ(table_of(out.str()),
            (Rows{{"population", "locus_a", "locus_b", "allele_a", "allele_b", "frequency",
                   "product", "d", "d_prime"},
                  {"North", "A", "B", "a2", "b3", "0.25", "0.125", "0.125", "0.25"}}));
}

TEST(ResultsSvg, EscapedText) {
  const struct {
    std::string text, escaped;
  } cases[] = {{"A&B <C> \"q\" 'a'", "A&amp;B &lt;C&gt; &quot;q&quot; &apos;a&apos;"},
               {"B\xC3\xBCrk", "B\xC3\xBCrk"},                            // UTF-8 kept
               {"x\xFFy\xC3", "x\xEF\xBF\xBDy\xEF\xBF\xBD"},              // invalid bytes replaced
               {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate
               {std::string("a\0b\x01", 4),
                "a\xEF\xBF\xBD"
                "b\xEF\xBF\xBD"}};
  for (const auto& c : cases) {
    EXPECT_EQ(results::xml_escaped(c.text), c.escaped) << c.text;
  }
  EXPECT_EQ(results::fixed_text(-0.001, 2), "0.00");
  EXPECT_EQ(results::fixed_text(12.345, 1), "12.3");
  EXPECT_EQ(results::nice_ticks(18.3, 53.7, 7), (std::vector<double>{20, 30, 40, 50}));
  const std::vector<double> ticks = results::nice_ticks(0.0, 3.0, 5);
  EXPECT_EQ(ticks, (std::vector<double>{0, 1, 2, 3}));
  EXPECT_FALSE(std::signbit(ticks[0]));  // a label of -0 would be odd
  EXPECT_EQ(results::nice_ticks(-0.3, 0.3, 3), (std::vector<double>{-0.2, 0, 0.2}));
}

TEST(ResultsSvg, SignificantDigitsAsTheConsoleWritesThem) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.0476, "0.0476"},       {0.45, "0.450"},    {0.09996, "0.100"},       {0.99996, "1.00"},
      {1.0 / 1001, "0.000999"}, {1e-4, "0.000100"}, {1.0 / 1000001, "1e-06"}, {12.345, "12.3"},
      {-0.0476, "-0.0476"},     {0.0, "0"},         {std::nan(""), "NA"}};
  for (const auto& c : cases) {
    EXPECT_EQ(results::significant_text(c.value, 3), c.text) << c.value;
  }
}

TEST(ResultsSvg, HistogramOnePanelPerPopulationOnTheCanvas) {
  // The observed statistic near, far right, far left of the permuted ones,
  // all permuted ones equal, none finite.
  common::RunResults results = two_populations();
  results.populations[0].name = "A&B <1>";
  for (const double observed : {200.0, -50.0}) {
    results.populations.push_back(population("far", 5));
    results.populations.back().observed_statistic = observed;
  }
  results.populations.push_back(population("equal", 5));
  results.populations.back().permuted_statistic.assign(4, 2.5);
  results.populations.push_back(population("none", 5));
  results.populations.back().permuted_statistic.assign(4, std::nan(""));
  std::ostringstream out;
  results::write_histogram_svg(out, two_system_input(), results);
  const std::string svg = out.str();
  EXPECT_EQ(svg_fault(svg), "");
  EXPECT_EQ(count_of_text(svg, "<g id=\"population-"), 6);
  EXPECT_EQ(count_of_text(svg, ">A&amp;B &lt;1&gt;</text>"), 1);
  EXPECT_EQ(count_of_text(svg, "xi = 0.3333"), 6);
  EXPECT_EQ(count_of_text(svg, ">no permuted statistics<"), 1);
  EXPECT_EQ(count_of_text(svg, "font-family=\"sans-serif\""), 1);
  for (const std::string label : {">observed 2.5<", ">observed 200<", ">observed -50<"}) {
    EXPECT_EQ(count_of_text(svg, label), label == ">observed 2.5<" ? 3 : 1) << label;
  }
  results.populations[0].xi_defined = false;
  std::ostringstream undefined;
  results::write_histogram_svg(undefined, two_system_input(), results);
  EXPECT_EQ(count_of_text(undefined.str(), "xi = NA"), 1);
}

TEST(ResultsSvg, LocusPairsMatrixPerPopulation) {
  std::vector<common::LocusPairResult> pairs;
  const std::vector<std::string> loci = {"L1", "L<2>", "L3"};
  for (const std::string name : {"East", "West"}) {
    for (int a = 0; a < 3; ++a) {
      for (int b = a + 1; b < 3; ++b) {
        pairs.push_back({a, b, population(name, 5), a != 1, 0.5, 0.25 * (a + b)});
      }
    }
  }
  std::ostringstream out;
  results::write_locus_pairs_svg(out, loci, pairs);
  const std::string svg = out.str();
  EXPECT_EQ(svg_fault(svg), "");
  EXPECT_EQ(count_of_text(svg, "<g id=\"population-"), 2);
  EXPECT_EQ(count_of_text(svg, ">0.25</text>"), 6);  // each cell's p-value
  EXPECT_EQ(count_of_text(svg, ">L&lt;2&gt;</text>"), 4);
  EXPECT_EQ(count_of_text(svg, ">Wn</text>"), 2);
}

// The pictures name what was tested, write p by the rules, and show a test
// without information as such, never as p = 0.
TEST(ResultsSvg, RulesAndTestsWithoutInformation) {
  common::PopulationResult tested = population("North", 10);
  tested.p_value = 0.45;
  common::PopulationResult empty = population("Empty", 1);
  empty.informative = false;
  empty.p_value = 0.0;
  empty.permuted_statistic.clear();
  empty.notes = {"no information: 1 individual"};
  const struct {
    bool judged_with_ties;
    const char* p;
  } cases[] = {{false, "0.45"}, {true, "0.450"}};
  for (const auto& c : cases) {
    common::RunResults results;
    results.permutations = 4;
    results.judged_with_ties = c.judged_with_ties;
    results.populations = {tested, empty};
    std::ostringstream histogram;
    results::write_histogram_svg(histogram, two_system_input(), results);
    const std::string svg = histogram.str();
    EXPECT_EQ(svg_fault(svg), "");
    EXPECT_EQ(count_of_text(svg, c.judged_with_ties ? ">null: A, B; alternative: A+B</text>"
                                                    : ">null: A, B   alternative: A+B</text>"),
              1);
    EXPECT_EQ(count_of_text(svg, "p = "), 1);
    EXPECT_EQ(count_of_text(svg, std::string("p = ") + c.p + ","), 1);
    EXPECT_EQ(count_of_text(svg, ">no information<"), 1);
    EXPECT_EQ(count_of_text(svg, "no information: 1 individual<"), 1);

    const std::vector<common::LocusPairResult> pairs = {{0, 1, tested, true, 0.5, 0.25},
                                                        {0, 1, empty, false, 0.0, 0.0}};
    std::ostringstream matrix;
    results::write_locus_pairs_svg(matrix, {"L1", "L2"}, pairs, c.judged_with_ties);
    const std::string pairs_svg = matrix.str();
    EXPECT_EQ(svg_fault(pairs_svg), "");
    EXPECT_EQ(count_of_text(pairs_svg, std::string(">") + c.p + "</text>"), 1);
    // The empty pair's p is not shown: classic panels say why in the cell
    // and have a Wn legend each (the only 0); the grid marks the cell.
    EXPECT_EQ(count_of_text(pairs_svg, ">information</text>"), c.judged_with_ties ? 0 : 1);
    EXPECT_EQ(count_of_text(pairs_svg, ">0</text>"), c.judged_with_ties ? 0 : 2);
    EXPECT_EQ(count_of_text(pairs_svg, ">x</text>"), c.judged_with_ties ? 1 : 0);
    EXPECT_EQ(count_of_text(pairs_svg, ">pairs of loci L1, L2; "), c.judged_with_ties ? 1 : 2);
  }
}

}  // namespace
