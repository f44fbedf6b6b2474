#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common/combined.h"
#include "common/corrections.h"
#include "common/permutation_p.h"

namespace {

constexpr double NA = std::numeric_limits<double>::quiet_NaN();

void expect_values(const std::vector<double>& actual, const std::vector<double>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t k = 0; k < expected.size(); ++k) {
    if (std::isnan(expected[k])) {
      EXPECT_TRUE(std::isnan(actual[k])) << k;
    } else {
      EXPECT_DOUBLE_EQ(actual[k], expected[k]) << k;
    }
  }
}

// Holm and Benjamini-Hochberg by hand. First case, the five p-values sorted:
// 0.005, 0.01, 0.03, 0.04, 0.04. Holm's steps 5, 4, 3, 2, 1 times them give
// 0.025, 0.04, 0.09, 0.08, 0.04, running maxima 0.025, 0.04, 0.09, 0.09,
// 0.09. BH's 5/j times them give 0.025, 0.025, 0.05, 0.05, 0.04, running
// minima from the top 0.025, 0.025, 0.04, 0.04, 0.04.
TEST(Corrections, HolmAndBenjaminiHochbergByHand) {
  const struct {
    std::vector<double> p, holm, bh;
  } cases[] = {
      {{0.01, NA, 0.04, 0.03, 0.04, 0.005},
       {0.04, NA, 0.09, 0.09, 0.09, 0.025},
       {0.025, NA, 0.04, 0.04, 0.04, 0.025}},
      {{0.5, 0.6}, {1.0, 1.0}, {0.6, 0.6}},        // capped at 1
      {{0.02, 0.02}, {0.04, 0.04}, {0.02, 0.02}},  // ties
      {{0.3}, {0.3}, {0.3}},
      {{NA, NA}, {NA, NA}, {NA, NA}},
      {{}, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.p));
    expect_values(common::holm(c.p), c.holm);
    expect_values(common::benjamini_hochberg(c.p), c.bh);
  }
}

common::LocusPairResult pair_row(const std::string& population, int a, int b, double p,
                                 bool informative = true) {
  common::LocusPairResult row;
  row.locus_a = a;
  row.locus_b = b;
  row.result.name = population;
  row.result.p_value = p;
  row.result.informative = informative;
  return row;
}

// Each population's pairs are one family, the whole run another; a pair
// without information has no p-value (its p_value field is ignored).
TEST(Corrections, LocusPairFamilies) {
  std::vector<common::LocusPairResult> rows = {
      pair_row("North", 0, 1, 0.01), pair_row("South", 0, 1, 0.04), pair_row("North", 0, 2, 0.03),
      pair_row("South", 0, 2, 0.5, false)};
  common::correct_locus_pairs(rows);
  std::vector<double> holm;
  std::vector<double> bh;
  std::vector<double> bh_all;
  for (const common::LocusPairResult& row : rows) {
    holm.push_back(row.p_holm);
    bh.push_back(row.p_bh);
    bh_all.push_back(row.p_bh_all);
  }
  // North {0.01, 0.03}; South {0.04}; all {0.01, 0.04, 0.03}: 3 x 0.04 / 3,
  // min(3 x 0.03 / 2, 0.04), 3 x 0.01.
  expect_values(holm, {0.02, 0.04, 0.03, NA});
  expect_values(bh, {0.02, 0.04, 0.03, NA});
  expect_values(bh_all, {0.03, 0.04, 0.04, NA});
}

// Fisher's method: with one p-value Q is p itself; X/2 = 2 with P = 2 gives
// e^-2 (1 + 2); p = 0.1 and 0.2 give X/2 = ln 50 and Q = (1 + ln 50) / 50.
TEST(Combined, FisherByHand) {
  const struct {
    std::vector<double> p;
    double q;
  } cases[] = {
      {{0.3}, 0.3},
      {{std::exp(-1.0), std::exp(-1.0)}, 3.0 * std::exp(-2.0)},
      {{0.1, 0.2}, (1.0 + std::log(50.0)) / 50.0},
      {{1.0, 1.0, 1.0}, 1.0},
      {{0.05, 0.05}, 0.0025 * (1.0 + std::log(400.0))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.p));
    EXPECT_NEAR(common::fisher_p(c.p), c.q, 1e-14);
  }
  EXPECT_TRUE(std::isnan(common::fisher_p({})));
  // 200 p-values of 0.01: e^(-X/2) = e^-921 is below the least double, but
  // summed in log space Q = e^-420.45076 (1e-182.6).
  const std::vector<double> small(200, 0.01);
  EXPECT_NEAR(std::log(common::fisher_p(small)), -420.45076113, 1e-6);
}

// A population of the test: its observed statistic, tau, p and the
// permuted statistics of data sets 1..N (a column of PREFIX.permutations.tsv).
common::PopulationResult population(const std::string& name, double observed, double tau, double p,
                                    std::vector<double> permuted) {
  common::PopulationResult result;
  result.name = name;
  result.observed_statistic = observed;
  result.tie_tolerance = tau;
  result.p_value = p;
  result.permuted_statistic = std::move(permuted);
  return result;
}

// The permutations table below, summed by data set: 4, 7, 7.05, 5 against
// S = 7 with tau 0.1 + 0.05: none exceeds, two tie, p = 3 / 5.
TEST(Combined, SumsOfThePermutedStatistics) {
  common::PopulationResult empty = population("East", 0.0, 0.0, 1.0, {});
  empty.informative = false;
  const std::vector<common::PopulationResult> table = {
      population("North", 5.0, 0.1, 0.4, {3.0, 6.0, 5.05, 1.0}),
      empty,
      population("South", 2.0, 0.05, 0.6, {1.0, 1.0, 2.0, 4.0}),
  };
  const common::CombinedTests combined = common::combined_overall({0, true, table});
  const common::CombinedTest& test = combined.overall;
  EXPECT_EQ(test.populations, 2);
  EXPECT_EQ(test.left_out, 1);
  EXPECT_EQ(test.statistic, 7.0);
  EXPECT_EQ(test.permutations, 4);
  EXPECT_EQ(test.exceeding, 0);
  EXPECT_EQ(test.ties, 2);
  EXPECT_EQ(test.p_value, 0.6);
  const common::Interval interval = common::clopper_pearson(2, 4);
  EXPECT_EQ(test.p_ci_low, interval.low);
  EXPECT_EQ(test.p_ci_high, interval.high);
  EXPECT_NEAR(test.p_fisher, 0.24 * (1.0 - std::log(0.24)), 1e-14);
  EXPECT_EQ(test.note, "left out: 1 of 3 populations without a test");
}

// Pairs in the order they first appear, Holm and BH over their combined p;
// a pair no population tests is NA with a note.
TEST(Combined, LocusPairsAcrossPopulations) {
  std::vector<common::LocusPairResult> rows = {
      pair_row("North", 0, 2, 0.5), pair_row("North", 0, 1, 0.5), pair_row("South", 0, 2, 0.5),
      pair_row("South", 0, 1, 0.5, false), pair_row("North", 1, 2, 0.5, false)};
  rows[0].result.observed_statistic = 3.0;
  rows[0].result.permuted_statistic = {1.0, 4.0, 2.0};
  rows[1].result.observed_statistic = 2.0;
  rows[1].result.permuted_statistic = {1.0, 1.0, 1.0};
  rows[2].result.observed_statistic = 1.0;
  rows[2].result.permuted_statistic = {0.0, 0.0, 5.0};
  const common::CombinedTests combined = common::combined_locus_pairs(rows);
  ASSERT_EQ(combined.pairs.size(), 3U);
  const common::CombinedTest& a_c = combined.pairs[0].test;  // sums 1, 4, 7 against 4
  EXPECT_EQ(combined.pairs[0].locus_b, 2);
  EXPECT_EQ(a_c.populations, 2);
  EXPECT_EQ(a_c.exceeding, 1);
  EXPECT_EQ(a_c.ties, 1);
  EXPECT_EQ(a_c.p_value, 0.75);
  const common::CombinedTest& a_b = combined.pairs[1].test;  // North alone: p = 1 / 4
  EXPECT_EQ(a_b.p_value, 0.25);
  EXPECT_EQ(a_b.p_fisher, 0.5);
  // Holm over {0.75, 0.25}: 0.5, then max(0.5, 0.75); BH: min(0.75, 2 x 0.25).
  EXPECT_EQ(a_b.p_holm, 0.5);
  EXPECT_EQ(a_c.p_holm, 0.75);
  EXPECT_EQ(a_b.p_bh, 0.5);
  EXPECT_EQ(a_c.p_bh, 0.75);
  const common::CombinedTest& b_c = combined.pairs[2].test;
  EXPECT_EQ(b_c.populations, 0);
  EXPECT_TRUE(std::isnan(b_c.p_value) && std::isnan(b_c.p_holm));
  EXPECT_EQ(b_c.note, "no population with a test");
}

}  // namespace
