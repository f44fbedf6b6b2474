#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/combined.h"
#include "common/permutation_p.h"

namespace {

// The sequential rule on hand sequences against observed 5 with tau 0.1:
// 5.05 ties, 6 exceeds, 4.8 is below.
TEST(SequentialP, StopsAtTheHthStatisticAtOrAboveTheObserved) {
  struct Case {
    const char* what;
    int stop_after;
    std::vector<double> permuted;
    int drawn;
    int exceeding;
    int ties;
    bool stopped;
    double p;
  };
  const std::vector<Case> cases = {
      {"off: all drawn, the usual p", 0, {6.0, 5.05, 1.0, 6.0}, 4, 2, 1, false, 4.0 / 5.0},
      {"H reached at 3: what follows decides nothing",
       2,
       {1.0, 5.05, 7.0, 9.0, 9.0},
       3,
       1,
       1,
       true,
       2.0 / 3.0},
      {"a tie counts toward H", 1, {4.8, 4.95, 6.0}, 2, 0, 1, true, 1.0 / 2.0},
      {"never reached: all N, the usual p", 3, {1.0, 6.0, 2.0, 5.0}, 4, 1, 1, false, 3.0 / 5.0},
      {"reached at the last: stopped, H / N", 2, {6.0, 1.0, 6.0}, 3, 2, 0, true, 2.0 / 3.0},
      {"below by more than tau", 1, {4.89, 3.0}, 2, 0, 0, false, 1.0 / 3.0},
      {"nothing permuted", 1, {}, 0, 0, 0, false, 1.0},
  };
  for (const Case& c : cases) {
    const common::SequentialP judged = common::sequential_p(5.0, 0.1, c.stop_after, c.permuted);
    EXPECT_EQ(judged.drawn, c.drawn) << c.what;
    EXPECT_EQ(judged.exceeding, c.exceeding) << c.what;
    EXPECT_EQ(judged.ties, c.ties) << c.what;
    EXPECT_EQ(judged.stopped, c.stopped) << c.what;
    EXPECT_EQ(judged.p.p_value, c.p) << c.what;
    const common::Interval interval = c.stopped
                                          ? common::clopper_pearson(c.stop_after, c.drawn)
                                          : common::clopper_pearson(c.exceeding + c.ties, c.drawn);
    EXPECT_EQ(judged.p.interval.low, interval.low) << c.what;
    EXPECT_EQ(judged.p.interval.high, interval.high) << c.what;
  }
}

// A merge of shards judges the whole sequence; a run that stopped holds only
// 1..l: both must give the same result.
TEST(SequentialP, TheSequenceCutAtItsStopGivesTheSameResult) {
  const std::vector<double> all = {0.5, 7.0, 0.1, 8.0, 5.0, 3.0, 9.0};
  const common::SequentialP whole = common::sequential_p(5.0, 0.0, 3, all);
  ASSERT_TRUE(whole.stopped);
  ASSERT_EQ(whole.drawn, 5);
  const std::vector<double> cut(all.begin(), all.begin() + whole.drawn);
  const common::SequentialP stopped = common::sequential_p(5.0, 0.0, 3, cut);
  EXPECT_EQ(stopped.drawn, whole.drawn);
  EXPECT_EQ(stopped.p.p_value, whole.p.p_value);
  EXPECT_EQ(stopped.p.interval.low, whole.p.interval.low);
  EXPECT_EQ(common::sequential_note(3, 5),
            "sequential: stopped after 3 of 5 permuted data sets at or above the observed "
            "statistic; p = 3 / 5 is approximate");
}

TEST(SequentialP, CombinedTestsAreNotFormed) {
  common::CombinedTests tests;
  tests.overall.statistic = 4.0;
  tests.overall.populations = 2;
  tests.overall.p_value = 0.5;
  tests.overall.permutations = 10;
  tests.pairs.push_back({0, 1, tests.overall});
  tests.pairs[0].test.p_holm = 0.5;
  common::mark_not_combined(tests);
  for (const common::CombinedTest* test : {&tests.overall, &tests.pairs[0].test}) {
    EXPECT_EQ(test->statistic, 4.0);
    EXPECT_EQ(test->populations, 2);
    EXPECT_EQ(test->permutations, 0);
    EXPECT_TRUE(std::isnan(test->p_value) && std::isnan(test->p_fisher) &&
                std::isnan(test->p_holm) && std::isnan(test->p_ci_low));
    EXPECT_EQ(test->note, "sequential: not combined");
  }
}

}  // namespace
