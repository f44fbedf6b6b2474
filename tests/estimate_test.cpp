#include "estimate/estimate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "estimate_test.h"
#include "layout/layout.h"

namespace {

using estimate::EmResult;
using estimate::EmWorkspace;
using estimate_test::make_grouping;
using estimate_test::Population;

constexpr double LOG_FLOOR_ALT = 9.999999974752427E-7;
constexpr double LOG_FLOOR_NULL = 9.99999993922529E-9;
const char* const NOT_INCREASED = "EM--not increased in this iteration";

std::vector<std::string> messages(const EmResult& result) {
  layout::MemorySink console;
  estimate::write_em_messages(result, console);
  return console.records();
}

// Every individual carries the same pair of two identical haplotypes.
TEST(EstimateWorkedExamples, OneHomozygousPairForEveryone) {
  const common::Grouping one_group = make_grouping({"AB", "CD"}, {{0, 1}});
  const common::Grouping two_groups = make_grouping({"AB", "CD"}, {{0}, {1}});
  EmWorkspace workspace;
  Population thousand;
  thousand.add({{"AC", "AC"}}, 1000);
  const EmResult below = estimate::estimate_alt_model(thousand.input(one_group), workspace);
  EXPECT_EQ(below.log_likelihood, 1000.0 * std::log(1.0 + LOG_FLOOR_ALT));
  EXPECT_EQ(below.last_iteration, 2);
  EXPECT_TRUE(below.converged);

  // The first iteration is compared with 0: 1001 individuals pass the tolerance.
  Population more;
  more.add({{"AC", "AC"}}, 1001);
  const EmResult above = estimate::estimate_alt_model(more.input(one_group), workspace);
  EXPECT_EQ(above.log_likelihood, 0.0010009994969730543);
  EXPECT_EQ(above.last_iteration, 3);

  const EmResult null = estimate::estimate_null_model(more.input(two_groups), workspace);
  EXPECT_EQ(null.last_iteration, 2);
  EXPECT_EQ(null.value_frequency, (std::vector<std::vector<double>>{{1.0, 0.0}, {1.0, 0.0}}));
}

TEST(EstimateWorkedExamples, OneSystemTwoAlleles) {
  const common::Grouping grouping = make_grouping({"AB"}, {{0}});
  Population population;
  population.add({{"A", "A"}}, 1);
  population.add({{"A", "B"}}, 1);
  EmWorkspace workspace;
  const EmResult alt = estimate::estimate_alt_model(population.input(grouping), workspace);
  EXPECT_EQ(alt.log_likelihood, -1.5561889534759907);
  EXPECT_EQ(alt.last_iteration, 3);
  EXPECT_TRUE(alt.converged);
  EXPECT_TRUE(alt.value_frequency.empty());
  // Iteration 2 falls below the starting 0, but only later iterations are reported.
  EXPECT_EQ(alt.not_increased_count, 0);
  EXPECT_TRUE(messages(alt).empty());

  const EmResult null = estimate::estimate_null_model(population.input(grouping), workspace);
  EXPECT_EQ(null.value_frequency, (std::vector<std::vector<double>>{{0.75, 0.25}}));
}

TEST(EstimateWorkedExamples, TwoSystemsNullAndAlternative) {
  Population population;
  population.add({{"AC", "AC"}}, 1);
  population.add({{"BD", "BD"}}, 1);
  const common::Grouping null_grouping = make_grouping({"AB", "CD"}, {{0}, {1}});
  const common::Grouping alt_grouping = make_grouping({"AB", "CD"}, {{0, 1}});
  EmWorkspace workspace;
  const EmResult null = estimate::estimate_null_model(population.input(null_grouping), workspace);
  EXPECT_EQ(null.log_likelihood, -5.54517712447959);
  EXPECT_EQ(null.last_iteration, 3);
  EXPECT_EQ(null.value_frequency, (std::vector<std::vector<double>>{{0.5, 0.5}, {0.5, 0.5}}));
  const EmResult alt = estimate::estimate_alt_model(population.input(alt_grouping), workspace);
  EXPECT_EQ(alt.log_likelihood, -2.7725807222558014);
  EXPECT_EQ(alt.last_iteration, 3);
  EXPECT_EQ(-2.0 * (null.log_likelihood - alt.log_likelihood), 5.545192804447577);

  // The same grouping for both models still differs by the two log floors.
  const EmResult same = estimate::estimate_alt_model(population.input(null_grouping), workspace);
  EXPECT_EQ(-2.0 * (null.log_likelihood - same.log_likelihood), 6.335948789804036E-5);
}

// Iteration 2 alone, from the uniform start A = B = 0.5.
TEST(EstimateRepeatedPairs, SameOrderedPairOnceInEStepTwiceInLikelihood) {
  const common::Grouping grouping = make_grouping({"AB"}, {{0}});
  Population population;
  population.add({{"A", "A"}, {"A", "B"}, {"A", "B"}}, 1);
  EmWorkspace workspace;
  const EmResult null = estimate::estimate_null_model(population.input(grouping, 2), workspace);
  // Masses: (A,A) 0.25 to A twice; (A,B) 0.5 to A and to B; the repeat adds nothing.
  const double a = (1.0 / 0.75) / 2.0;
  const double b = (0.5 / 0.75) / 2.0;
  EXPECT_EQ(null.value_frequency, (std::vector<std::vector<double>>{{a, b}}));
  EXPECT_EQ(null.log_likelihood, std::log(a * a + a * b * 2.0 + a * b * 2.0 + LOG_FLOOR_NULL));
}

TEST(EstimateRepeatedPairs, ReversedPairCountsInEStep) {
  const common::Grouping grouping = make_grouping({"AB"}, {{0}});
  Population population;
  population.add({{"A", "A"}, {"A", "B"}, {"B", "A"}}, 1);
  EmWorkspace workspace;
  const EmResult null = estimate::estimate_null_model(population.input(grouping, 2), workspace);
  EXPECT_EQ(null.value_frequency,
            (std::vector<std::vector<double>>{{(1.5 / 1.25) / 2.0, (1.0 / 1.25) / 2.0}}));
}

TEST(EstimateMessages, LowerLikelihoodWritesOneLinePerIteration) {
  // The E-step counts (A,B) once and the likelihood twice, so after iteration 2
  // the estimates move away from the likelihood's maximum.
  const common::Grouping grouping = make_grouping({"AB"}, {{0}});
  Population population;
  population.add({{"A", "A"}, {"A", "B"}, {"A", "B"}}, 1);
  EmWorkspace workspace;
  const EmResult alt = estimate::estimate_alt_model(population.input(grouping), workspace);
  EXPECT_TRUE(alt.converged);
  ASSERT_GT(alt.not_increased_count, 0);
  EXPECT_EQ(messages(alt), std::vector<std::string>(
                               static_cast<std::size_t>(alt.not_increased_count), NOT_INCREASED));
}

TEST(EstimateMessages, NoConvergenceWarnsAndKeepsIteration200) {
  // Frequency of B falls as 1/(t + 1): the log-likelihood still moves by
  // about 2N/t^3 at t = 200.
  const common::Grouping grouping = make_grouping({"AB"}, {{0}});
  Population population;
  population.add({{"A", "A"}, {"A", "B"}}, 100000);
  EmWorkspace workspace;
  const EmResult null = estimate::estimate_null_model(population.input(grouping), workspace);
  EXPECT_FALSE(null.converged);
  EXPECT_EQ(null.last_iteration, 200);
  EXPECT_EQ(null.not_increased_count, 0);
  EXPECT_NEAR(null.value_frequency[0][1], 1.0 / 201.0, 1e-9);
  EXPECT_EQ(messages(null),
            std::vector<std::string>{"WARNING***:  EM not convergence after 200 iteration"});
}

TEST(EstimateEmptyPopulation, NoIndividualsGiveZeroLikelihood) {
  const common::Grouping grouping = make_grouping({"AB", "CD"}, {{0}, {1}});
  Population population;
  population.add({{"AC", "BD"}}, 0);
  EmWorkspace workspace;
  const EmResult null = estimate::estimate_null_model(population.input(grouping), workspace);
  EXPECT_EQ(null.log_likelihood, 0.0);
  EXPECT_TRUE(null.converged);
  EXPECT_EQ(null.value_frequency, (std::vector<std::vector<double>>{{0.0, 0.0}, {0.0, 0.0}}));
  EXPECT_TRUE(messages(null).empty());
}

}  // namespace
