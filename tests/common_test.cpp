#include <gtest/gtest.h>

#include "common/first_appearance.h"
#include "common/tables.h"
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

TEST(FirstAppearance, NumbersValuesInTheOrderTheyAreMet) {
  const std::vector<std::string_view> items = {"South", "North", "South", "", "North", "East"};
  const common::FirstAppearance order = common::first_appearance(items);
  EXPECT_EQ(order.values, (std::vector<std::string>{"South", "North", "", "East"}));
  EXPECT_EQ(order.number_of, (std::vector<int>{0, 1, 0, 2, 1, 3}));
  EXPECT_TRUE(common::first_appearance({}).values.empty());
}

TEST(DistinctPhenotypes, ResetGivesEveryPopulationAnEmptyTally) {
  common::DistinctPhenotypes distinct;
  distinct.distinct_typings.resize(2);
  distinct.phenotype_code.resize(2);
  distinct.phenotype_tally = {{1, 2}};
  distinct.reset(3);
  EXPECT_EQ(distinct.distinct_count(), 0);
  EXPECT_TRUE(distinct.phenotype_code.empty());
  EXPECT_EQ(distinct.phenotype_tally, (std::vector<std::vector<int>>(3)));
}

}  // namespace
