#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/locus_pair_measures.h"

namespace {

using Table = std::vector<std::vector<double>>;

TEST(LocusPairMeasures, CompleteAssociationAndIndependence) {
  const struct {
    Table frequency;
    double d_prime, wn;
  } cases[] = {
      {{{0.5, 0.0}, {0.0, 0.5}}, 1.0, 1.0},
      {{{0.0, 0.3}, {0.7, 0.0}}, 1.0, 1.0},
      {{{1.0 / 3, 0.0, 0.0}, {0.0, 1.0 / 3, 0.0}, {0.0, 0.0, 1.0 / 3}}, 1.0, 1.0},
      {{{0.08, 0.12}, {0.32, 0.48}}, 0.0, 0.0},  // 0.2 x 0.4, 0.2 x 0.6, ...
      {{{0.25, 0.25}, {0.25, 0.25}}, 0.0, 0.0},
  };
  for (const auto& c : cases) {
    const common::LocusPairMeasures measures = common::locus_pair_measures(c.frequency);
    ASSERT_TRUE(measures.defined);
    EXPECT_NEAR(measures.d_prime, c.d_prime, 1e-12);
    EXPECT_NEAR(measures.wn, c.wn, 1e-12);
  }
}

// p = (0.4, 0.6), q = (0.3, 0.4, 0.3): the six terms of D' by hand are
// 0.0096/0.18, 0.06, 0.02, 0.08, 0.0144/0.16, 0.0036/0.12, summing to 1/3;
// those of Wn's sum 192, 81, 12, 128, 54, 8 over 3600, i.e. 19/144.
TEST(LocusPairMeasures, HandComputedTwoByThree) {
  const Table frequency = {{0.2, 0.1, 0.1}, {0.1, 0.3, 0.2}};
  const common::LocusPairMeasures measures = common::locus_pair_measures(frequency);
  ASSERT_TRUE(measures.defined);
  EXPECT_NEAR(measures.d_prime, 1.0 / 3.0, 1e-14);
  EXPECT_NEAR(measures.wn, std::sqrt(19.0) / 12.0, 1e-14);

  // Scaled below 1 (the E-step floor), with an allele of zero margin at each
  // locus: the same measures.
  const Table scaled = {
      {0.196, 0.0, 0.098, 0.098}, {0.0, 0.0, 0.0, 0.0}, {0.098, 0.0, 0.294, 0.196}};
  const common::LocusPairMeasures same = common::locus_pair_measures(scaled);
  ASSERT_TRUE(same.defined);
  EXPECT_NEAR(same.d_prime, 1.0 / 3.0, 1e-14);
  EXPECT_NEAR(same.wn, std::sqrt(19.0) / 12.0, 1e-14);
}

TEST(LocusPairMeasures, UndefinedWithOneAlleleAtALocus) {
  const Table cases[] = {
      {{0.4, 0.6}},              // one allele at a
      {{0.5, 0.0}, {0.5, 0.0}},  // one allele of positive margin at b
      {{0.0, 0.0}, {0.0, 0.0}},  // nothing
      {},
  };
  for (const Table& frequency : cases) {
    EXPECT_FALSE(common::locus_pair_measures(frequency).defined);
  }
}

}  // namespace
