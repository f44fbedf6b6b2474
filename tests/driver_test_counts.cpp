// Degrees of freedom whose products or sums pass 64 bits are reported as
// overflow (written as asterisks), never wrapped.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "driver/summary_internal.h"

namespace {

// Ten null groups of one system each; null group g has counted[g] values
// that count (frequency 0.001, far above the least expected count for 10000
// individuals).
std::vector<std::vector<estimate::GroupValueFrequency>> values_counted(
    const std::vector<int>& counted) {
  std::vector<std::vector<estimate::GroupValueFrequency>> frequency;
  for (const int n : counted) {
    frequency.emplace_back(static_cast<std::size_t>(n), estimate::GroupValueFrequency{{}, 0.001});
  }
  return frequency;
}

common::Grouping groups_of(const std::vector<std::vector<int>>& systems) {
  common::Grouping grouping;
  grouping.group_systems = systems;
  return grouping;
}

TEST(DegreesOfFreedom, OverflowOfAProductOrOfTheirSum) {
  const common::Grouping null_grouping =
      groups_of({{0}, {1}, {2}, {3}, {4}, {5}, {6}, {7}, {8}, {9}});
  const common::Grouping halves = groups_of({{0, 1, 2, 3, 4}, {5, 6, 7, 8, 9}});
  const common::Grouping whole = groups_of({{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}});
  struct Case {
    const common::Grouping& alt_grouping;
    int counted;  // per null group
    std::int64_t df;
  };
  const std::int64_t c4 = std::int64_t{100} * 100 * 100 * 100;
  const Case cases[] = {// 2 x (100^5 - 1) - 10 x (100 - 1)
                        {halves, 100, 2 * (c4 * 100 - 1) - 990},
                        // 6000^5 fits in 64 bits, twice it does not.
                        {halves, 6000, driver::DEGREES_OF_FREEDOM_OVERFLOW},
                        // 100^10 does not fit.
                        {whole, 100, driver::DEGREES_OF_FREEDOM_OVERFLOW}};
  for (const Case& c : cases) {
    EXPECT_EQ(driver::degrees_of_freedom(null_grouping, c.alt_grouping,
                                         values_counted(std::vector<int>(10, c.counted)), 10000),
              c.df)
        << c.counted;
  }
}

}  // namespace
