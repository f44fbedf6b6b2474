#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/locus_pair_measures.h"
#include "common/text.h"

namespace {

// The EM sums and the generator's table refill must be rounded exactly as
// written; a fused multiply-add would keep the low bits of x * x below.
TEST(FloatingPoint, NoFusedMultiplyAdd) {
  volatile double x = 1.0 + 0x1p-27;
  volatile double c = 1.0 + 0x1p-26;
  const double product = x * x;  // 1 + 2^-26 + 2^-54 rounds to 1 + 2^-26
  EXPECT_EQ(product - c, 0.0);
  EXPECT_EQ(x * x - c, 0.0);
}

TEST(FixedText, ComparesWithTrailingBlanksIgnored) {
  EXPECT_EQ(common::Typing("01"), common::Typing("01   "));
  EXPECT_NE(common::Typing(" 01"), common::Typing("01"));  // a leading blank counts
  EXPECT_EQ(common::Typing("ABCDEFG").view(), "ABCDE");    // cut to its length
  EXPECT_EQ(common::PopulationName("North  ").trimmed(), "North");
}

// D', Wn, W_A/B and W_B/A of a table of haplotype frequencies; undefined
// (NaN here) with one allele of positive margin at a locus.
TEST(LocusPairMeasures, AssociationIndependenceAndHandComputedValues) {
  const double undefined = std::nan("");
  const struct {
    std::vector<std::vector<double>> frequency;
    double d_prime, wn, w_a_given_b, w_b_given_a;
  } cases[] = {
      {{{0.5, 0.0}, {0.0, 0.5}}, 1.0, 1.0, 1.0, 1.0},
      {{{0.0, 0.3}, {0.7, 0.0}}, 1.0, 1.0, 1.0, 1.0},
      {{{1.0 / 3, 0.0, 0.0}, {0.0, 1.0 / 3, 0.0}, {0.0, 0.0, 1.0 / 3}}, 1.0, 1.0, 1.0, 1.0},
      {{{0.08, 0.12}, {0.32, 0.48}}, 0.0, 0.0, 0.0, 0.0},  // 0.2 x 0.4, 0.2 x 0.6, ...
      {{{0.25, 0.25}, {0.25, 0.25}}, 0.0, 0.0, 0.0, 0.0},
      // Two alleles each: every measure is |r| = D / sqrt(p1 p2 q1 q2) = 0.11 / 0.21.
      {{{0.2, 0.1}, {0.1, 0.6}}, 11.0 / 21.0, 11.0 / 21.0, 11.0 / 21.0, 11.0 / 21.0},
      // p = (0.4, 0.6), q = (0.3, 0.4, 0.3): the six terms of D' by hand are
      // 0.0096/0.18, 0.06, 0.02, 0.08, 0.0144/0.16, 0.0036/0.12, summing to
      // 1/3; those of Wn's sum 192, 81, 12, 128, 54, 8 over 3600, i.e. 19/144.
      // W_A/B: sum D^2 / q = 19/300 over 1 - 0.52; W_B/A: sum D^2 / p = 13/300
      // over 1 - 0.34.
      {{{0.2, 0.1, 0.1}, {0.1, 0.3, 0.2}},
       1.0 / 3.0,
       std::sqrt(19.0) / 12.0,
       std::sqrt(19.0) / 12.0,
       std::sqrt(13.0 / 198.0)},
      // Scaled below 1 (the E-step floor), with an allele of zero margin at
      // each locus: the same measures.
      {{{0.196, 0.0, 0.098, 0.098}, {0.0, 0.0, 0.0, 0.0}, {0.098, 0.0, 0.294, 0.196}},
       1.0 / 3.0,
       std::sqrt(19.0) / 12.0,
       std::sqrt(19.0) / 12.0,
       std::sqrt(13.0 / 198.0)},
      // The allele at b tells the one at a, not the other way round: W_A/B is
      // 1; W_B/A has sum D^2 / p = 0.38 over 1 - 0.38.
      {{{0.3, 0.2, 0.0}, {0.0, 0.0, 0.5}}, 1.0, 1.0, 1.0, std::sqrt(19.0 / 31.0)},
      {{{0.4, 0.6}}, undefined, undefined, undefined, undefined},  // one allele at a
      {{{0.5, 0.0}, {0.5, 0.0}}, undefined, undefined, undefined, undefined},
      {{{0.0, 0.0}, {0.0, 0.0}}, undefined, undefined, undefined, undefined},  // nothing
      {{}, undefined, undefined, undefined, undefined},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.frequency));
    const common::LocusPairMeasures measures = common::locus_pair_measures(c.frequency);
    ASSERT_EQ(measures.defined, !std::isnan(c.d_prime));
    if (measures.defined) {
      EXPECT_NEAR(measures.d_prime, c.d_prime, 1e-14);
      EXPECT_NEAR(measures.wn, c.wn, 1e-14);
      EXPECT_NEAR(measures.w_a_given_b, c.w_a_given_b, 1e-14);
      EXPECT_NEAR(measures.w_b_given_a, c.w_b_given_a, 1e-14);
    }
  }
}

// The cells of the allele-pair table: alleles of zero margin skipped, D'_ij
// with the Dmax of D'.
TEST(LocusPairMeasures, AllelePairCells) {
  const std::vector<common::AllelePairCell> cells = common::allele_pair_cells(
      {{0.196, 0.0, 0.098, 0.098}, {0.0, 0.0, 0.0, 0.0}, {0.098, 0.0, 0.294, 0.196}});
  ASSERT_EQ(cells.size(), 6U);
  EXPECT_EQ(cells[1].allele_a, 0);
  EXPECT_EQ(cells[1].allele_b, 2);
  EXPECT_EQ(cells[3].allele_a, 2);
  // p_00 = 0.2, p_0 = 0.4, q_0 = 0.3: D = 0.08 of Dmax min(0.4 x 0.7, 0.6 x 0.3).
  EXPECT_NEAR(cells[0].frequency, 0.2, 1e-15);
  EXPECT_NEAR(cells[0].product, 0.12, 1e-15);
  EXPECT_NEAR(cells[0].d, 0.08, 1e-15);
  EXPECT_NEAR(cells[0].d_prime, 4.0 / 9.0, 1e-14);
  // p_02 = 0.1, q_2 = 0.4: D = -0.06 of Dmax min(0.4 x 0.4, 0.6 x 0.6).
  EXPECT_NEAR(cells[1].d_prime, -0.375, 1e-14);
  EXPECT_TRUE(common::allele_pair_cells({{0.0}}).empty());
}

}  // namespace
