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

// D' and Wn of a table of haplotype frequencies; undefined (NaN here) with
// one allele of positive margin at a locus.
TEST(LocusPairMeasures, AssociationIndependenceAndHandComputedValues) {
  const double undefined = std::nan("");
  const struct {
    std::vector<std::vector<double>> frequency;
    double d_prime, wn;
  } cases[] = {
      {{{0.5, 0.0}, {0.0, 0.5}}, 1.0, 1.0},
      {{{0.0, 0.3}, {0.7, 0.0}}, 1.0, 1.0},
      {{{1.0 / 3, 0.0, 0.0}, {0.0, 1.0 / 3, 0.0}, {0.0, 0.0, 1.0 / 3}}, 1.0, 1.0},
      {{{0.08, 0.12}, {0.32, 0.48}}, 0.0, 0.0},  // 0.2 x 0.4, 0.2 x 0.6, ...
      {{{0.25, 0.25}, {0.25, 0.25}}, 0.0, 0.0},
      // p = (0.4, 0.6), q = (0.3, 0.4, 0.3): the six terms of D' by hand are
      // 0.0096/0.18, 0.06, 0.02, 0.08, 0.0144/0.16, 0.0036/0.12, summing to
      // 1/3; those of Wn's sum 192, 81, 12, 128, 54, 8 over 3600, i.e. 19/144.
      {{{0.2, 0.1, 0.1}, {0.1, 0.3, 0.2}}, 1.0 / 3.0, std::sqrt(19.0) / 12.0},
      // Scaled below 1 (the E-step floor), with an allele of zero margin at
      // each locus: the same measures.
      {{{0.196, 0.0, 0.098, 0.098}, {0.0, 0.0, 0.0, 0.0}, {0.098, 0.0, 0.294, 0.196}},
       1.0 / 3.0,
       std::sqrt(19.0) / 12.0},
      {{{0.4, 0.6}}, undefined, undefined},              // one allele at a
      {{{0.5, 0.0}, {0.5, 0.0}}, undefined, undefined},  // one of positive margin at b
      {{{0.0, 0.0}, {0.0, 0.0}}, undefined, undefined},  // nothing
      {{}, undefined, undefined},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.frequency));
    const common::LocusPairMeasures measures = common::locus_pair_measures(c.frequency);
    ASSERT_EQ(measures.defined, !std::isnan(c.d_prime));
    if (measures.defined) {
      EXPECT_NEAR(measures.d_prime, c.d_prime, 1e-14);
      EXPECT_NEAR(measures.wn, c.wn, 1e-14);
    }
  }
}

}  // namespace
