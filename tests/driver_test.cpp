#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "driver/build_internal.h"
#include "driver/summary_internal.h"
#include "layout/layout.h"
#include "support/capture.h"
#include "support/groupings.h"

namespace {

using Result = common::PopulationResult;

// Permuted statistics with the given mean and variance (divisor 1000):
// half at mean - sd, half at mean + sd.
std::vector<double> spread(double mean, double sd) {
  std::vector<double> values;
  for (int k = 0; k < 1000; ++k) {
    values.push_back(k % 2 == 0 ? mean - sd : mean + sd);
  }
  return values;
}

std::string summary_line(const Result& line) {
  layout::MemorySink report;
  layout::MemorySink console;
  driver::write_summary(std::span<const Result>(&line, 1), report, &console);
  EXPECT_EQ(report.records(), console.records());
  return report.records().at(2);
}

Result line_for(std::string_view name, double observed, const std::vector<double>& permuted, int n,
                int df) {
  Result line;
  line.name = name;
  line.observed_statistic = observed;
  line.permuted_statistic = permuted;
  line.individuals = n;
  line.degrees_of_freedom = df;
  driver::summarise_population(line);
  return line;
}

TEST(Summary, WorkedExample) {
  // N = 100, df = 4, statistic 20, mean 4, variance 8.
  const std::vector<double> permuted = spread(4.0, std::sqrt(8.0));
  const Result line = line_for("Highland", 20.0, permuted, 100, 4);
  EXPECT_EQ(line.p_value, 0.0);
  EXPECT_DOUBLE_EQ(line.permutation_mean, 4.0);
  EXPECT_NEAR(line.permutation_variance, 8.0, 1e-12);
  EXPECT_NEAR(line.ld_xi, 0.16, 1e-12);
  EXPECT_NEAR(line.ld_xi_std, std::sqrt(72.0) / 100.0, 1e-12);
  EXPECT_EQ(summary_line(line),
            "Highland    .000   .160     .085       20.00     4.000     2.828     4");
}

TEST(Summary, HeaderLines) {
  layout::MemorySink report;
  layout::MemorySink console;
  driver::write_summary({}, report, &console);
  const std::vector<std::string> expected = {
      " .......OVERALL LD INFOTMATION ........LIKELIHOOD RATIO   DISTIOBUTION",
      "POP NAME   PVALUE   LD(xi)   STD(xi)   CHI-SQ   MEAN      STD      DFREEDOM"};
  EXPECT_EQ(report.records(), expected);
  EXPECT_EQ(console.records(), expected);
}

TEST(Summary, PValueCountsOnlyStrictlyGreater) {
  std::vector<double> permuted(1000, 5.0);
  EXPECT_EQ(line_for("A", 5.0, permuted, 10, 2).p_value, 0.0);  // ties
  EXPECT_EQ(line_for("A", 4.0, permuted, 10, 2).p_value, 1.0);
  permuted[0] = 7.0;
  permuted[999] = 9.0;
  EXPECT_EQ(line_for("A", 5.0, permuted, 10, 2).p_value, 2.0 / 1000.0);
}

TEST(Summary, PValueTexts) {
  const std::vector<double> permuted = spread(3.0, 1.0);
  EXPECT_EQ(summary_line(line_for("A", 100.0, permuted, 50, 2)).substr(11, 5), " .000");
  EXPECT_EQ(summary_line(line_for("A", -1.0, permuted, 50, 2)).substr(11, 5), "1.000");
}

TEST(Summary, NegativeXiUsesItsAbsoluteValueInTheDeviation) {
  const std::vector<double> permuted = spread(10.0, 2.0);
  const Result line = line_for("Low", 6.0, permuted, 25, 2);
  EXPECT_LT(line.ld_xi, 0.0);
  const double xi = line.ld_xi;
  EXPECT_DOUBLE_EQ(line.ld_xi_std, std::sqrt(4.0 + 4.0 * 25.0 * -xi) / 25.0);
  EXPECT_EQ(summary_line(line).substr(16, 7), "  -.160");
}

TEST(Summary, ZeroDegreesOfFreedomGivesZeroXi) {
  const Result line = line_for("Zero", 40.0, spread(3.0, 1.0), 30, 0);
  EXPECT_EQ(line.ld_xi, 0.0);
  EXPECT_EQ(line.ld_xi_std, 0.0);
  EXPECT_EQ(summary_line(line).substr(16, 16), "   .000     .000");
}

TEST(Summary, UndefinedXiIsWrittenAsAsterisks) {
  // Every permuted statistic equal: variance 0, xi undefined, STD column 0.
  const Result flat = line_for("Flat", 2.0, std::vector<double>(1000, 2.0), 40, 3);
  EXPECT_FALSE(flat.xi_defined);
  EXPECT_EQ(summary_line(flat),
            "Flat        .000  *****    *****        2.00     2.000      .000     3");
  // Negative degrees of freedom.
  const Result negative = line_for("Neg", 2.0, spread(3.0, 1.0), 40, -2);
  EXPECT_FALSE(negative.xi_defined);
  EXPECT_EQ(summary_line(negative).substr(16, 16), "  *****    *****");
}

TEST(Summary, NameIsCutOrPaddedToTenCharacters) {
  const std::vector<double> permuted = spread(3.0, 1.0);
  EXPECT_EQ(summary_line(line_for("Transylvania North", 1.0, permuted, 9, 1)).substr(0, 11),
            "Transylvan ");
  EXPECT_EQ(summary_line(line_for("Ile", 1.0, permuted, 9, 1)).substr(0, 11), "Ile        ");
}

// Null value frequencies as the estimation lists them: the values' letters
// do not matter for the degrees of freedom.
std::vector<std::vector<estimate::GroupValueFrequency>> listed(
    const std::vector<std::vector<double>>& table) {
  std::vector<std::vector<estimate::GroupValueFrequency>> groups;
  for (const std::vector<double>& frequencies : table) {
    std::vector<estimate::GroupValueFrequency>& group = groups.emplace_back();
    for (const double f : frequencies) {
      group.push_back({common::Label("A"), f});
    }
  }
  return groups;
}

// A grouping from 1-based system lists, as the control file gives them.
common::Grouping grouping(std::vector<std::vector<int>> groups,
                          const std::vector<int>& allele_count) {
  for (std::vector<int>& systems : groups) {
    for (int& s : systems) {
      --s;
    }
  }
  return test_support::grouping_of(groups, allele_count);
}

TEST(DegreesOfFreedom, OneSystemPerNullGroupOneAlternativeGroup) {
  const std::vector<int> alleles = {3, 2, 4};
  const common::Grouping null_grouping = grouping({{1}, {2}, {3}}, alleles);
  const common::Grouping alt_grouping = grouping({{1, 2, 3}}, alleles);
  // N = 10, 2N = 20: a value counts from frequency 0.025 (expected count 0.5) on.
  const std::vector<std::vector<double>> frequency = {
      {0.5, 0.45, 0.05}, {0.9, 0.1}, {0.5, 0.49, 0.01, 0.0}};
  // c = 3, 2, 2: (3*2*2 - 1) - (2 + 1 + 1) = 7.
  EXPECT_EQ(driver::degrees_of_freedom(null_grouping, alt_grouping, listed(frequency), 10), 7);
}

TEST(DegreesOfFreedom, MultiSystemNullGroups) {
  const std::vector<int> alleles = {2, 2, 3, 2};
  const common::Grouping null_grouping = grouping({{1, 2}, {3, 4}}, alleles);
  const common::Grouping alt_grouping = grouping({{1, 2, 3, 4}}, alleles);
  const std::vector<std::vector<double>> frequency = {{0.25, 0.25, 0.25, 0.25},
                                                      {0.5, 0.0, 0.2, 0.2, 0.1, 0.0}};
  // N = 5: c = 4 and 4 (0.1 x 10 = 1 counts): (16 - 1) - (3 + 3) = 9.
  EXPECT_EQ(driver::degrees_of_freedom(null_grouping, alt_grouping, listed(frequency), 5), 9);
}

TEST(DegreesOfFreedom, AlternativeGroupWithoutFirstSystemAndSplitAlternative) {
  const std::vector<int> alleles = {2, 2, 2};
  const common::Grouping null_grouping = grouping({{1}, {2}, {3}}, alleles);
  const std::vector<std::vector<double>> frequency = {{0.5, 0.5}, {0.5, 0.5}, {0.5, 0.5}};
  // {1,2} and {3}: (4 - 1) + (2 - 1) - 3 = 1.
  EXPECT_EQ(driver::degrees_of_freedom(null_grouping, grouping({{1, 2}, {3}}, alleles),
                                       listed(frequency), 4),
            1);
  // An alternative group that holds no first system contributes P = 1, i.e. 0:
  // {3} with null groups {1,2} and {3} -> only the second null group lies in it.
  const common::Grouping blocks = grouping({{1, 2}, {3}}, alleles);
  const std::vector<std::vector<double>> block_frequency = {{0.25, 0.25, 0.25, 0.25}, {0.5, 0.5}};
  EXPECT_EQ(
      driver::degrees_of_freedom(blocks, grouping({{2}, {3}}, alleles), listed(block_frequency), 4),
      (1 - 1) + (2 - 1) - (3 + 1));
}

TEST(DegreesOfFreedom, ExpectedCountOfExactlyOneHalfCounts) {
  const std::vector<int> alleles = {2, 2};
  const common::Grouping null_grouping = grouping({{1}, {2}}, alleles);
  const common::Grouping alt_grouping = grouping({{1, 2}}, alleles);
  // N = 25: 50 x 0.01 = 0.5 exactly in binary? 0.01 is not exact; use 1/64 with N = 16:
  // 32 x 0.015625 = 0.5 exactly.
  const std::vector<std::vector<double>> frequency = {{0.984375, 0.015625}, {1.0, 0.0}};
  EXPECT_EQ(driver::degrees_of_freedom(null_grouping, alt_grouping, listed(frequency), 16),
            (2 * 1 - 1) - (1 + 0));
}

TEST(DegreesOfFreedom, OverflowingProductIsReportedNotWrapped) {
  const std::vector<int> alleles(10, 800);
  std::vector<std::vector<int>> singles;
  std::vector<int> all;
  for (int s = 1; s <= 10; ++s) {
    singles.push_back({s});
    all.push_back(s);
  }
  const std::vector<std::vector<double>> frequency(10, std::vector<double>(800, 1.0 / 800.0));
  EXPECT_EQ(driver::degrees_of_freedom(grouping(singles, alleles), grouping({all}, alleles),
                                       listed(frequency), 1000),
            driver::DEGREES_OF_FREEDOM_OVERFLOW);
}

// One population "Valley" of records written as code strings, "?" for a
// missing typing; allele names are the code letters; every system is a null
// group of its own.
common::RunInput observed_data(const std::vector<std::string>& letters,
                               const std::vector<std::string>& records) {
  common::RunInput input;
  common::SystemTables& systems = input.systems;
  std::vector<std::vector<int>> singles;
  for (int s = 0; s < static_cast<int>(letters.size()); ++s) {
    const std::string& system = letters[static_cast<std::size_t>(s)];
    systems.allele_count.push_back(static_cast<int>(system.size()));
    systems.allele_name_width.push_back(1);
    systems.allele_code.emplace_back(system.begin(), system.end());
    std::vector<common::Typing>& names = systems.allele_name.emplace_back();
    for (const char c : system) {
      names.emplace_back(std::string(1, c));
    }
    singles.push_back({s});
  }
  input.null_grouping = test_support::grouping_of(singles, systems.allele_count);
  common::Populations& populations = input.populations;
  populations.population_names = {common::PopulationName("Valley")};
  std::vector<common::RecordTypings>& table = populations.phenotype_table.emplace_back();
  for (const std::string& record : records) {
    common::RecordTypings& typings = table.emplace_back();
    for (std::size_t k = 0; k < record.size(); ++k) {
      typings[k] = common::Typing(record[k] == '?' ? "" : record.substr(k, 1));
    }
  }
  return input;
}

TEST(BuildDataSet, RefusesPairListsBeyondTheMemoryBudgetBeforeBuildingThem) {
  // 18 pairs for "??DEFG", 1 each for the other two phenotypes: 20 pairs of
  // two 10-byte labels and 3 lists of 256 bytes, 1168 bytes.
  const common::RunInput input =
      observed_data({"ABC", "DE", "FG"}, {"??DEFG", "ABDDFF", "??DEFG", "BBDDFG"});
  const std::string refusal =
      "the observed data set needs 1168 bytes for its haplotype-pair lists, more than the"
      " memory budget of 1167 bytes; its longest list, 18 pairs, is that of the phenotype first"
      " met at record 1 of population \"Valley\" (number 1), heterozygous in 2 of its 2 typed"
      " systems, both typings of system 1 missing (3 alleles); type the missing system, leave"
      " out the individuals missing a highly polymorphic system, or raise --max-memory";
  const std::pair<std::int64_t, std::string> cases[] = {
      {0, "completed"}, {1168, "completed"}, {1167, "file error :0: " + refusal}};
  for (const auto& [budget, end] : cases) {
    test_support::CapturedSinks captured;
    driver::PermutationState state(1000, 1);
    state.memory_budget = budget;
    driver::BuiltDataSet built;
    const test_support::Outcome outcome = test_support::run_capturing(
        [&] { driver::build_observed_data_set(input, state, captured.sinks(), built); });
    EXPECT_TRUE(test_support::ended(outcome, end));
    EXPECT_EQ(state.expansions.size(), end == "completed" ? 1 : 0) << budget;  // the completed list
  }
}

TEST(BuildDataSet, CountsTheListsKeptFromEarlierDataSets) {
  const common::RunInput input =
      observed_data({"ABC", "DE", "FG"}, {"??DEFG", "ABDDFF", "??DEFG", "BBDDFG"});
  test_support::CapturedSinks captured;
  driver::PermutationState state(1000, 1);
  state.memory_budget = 1168;
  driver::BuiltDataSet built;
  driver::build_observed_data_set(input, state, captured.sinks(), built);
  // The first permuted data set meets new phenotypes, which no longer fit.
  const test_support::Outcome permuted = test_support::run_capturing([&] {
    (void)driver::build_data_set(1, input, state, captured.sinks(), captured.sinks().log, built);
  });
  // The cache keeps only the 18-pair completed list (616 bytes); the data set
  // adds new lists of 9, 2 and 1 pairs (436 + 296 + 276 bytes).
  EXPECT_TRUE(test_support::ended(
      permuted,
      "file error :0: permuted data set 1 needs 1624 bytes for its haplotype-pair lists, 616"
      " bytes of them kept from earlier data sets, more than the memory budget of 1168 bytes;"
      " its longest new list, 9 pairs, is that of the phenotype first met at record 1 of"
      " population \"Valley\" (number 1), heterozygous in 1 of its 2 typed systems, both"
      " typings of system 1 missing (3 alleles) (a record of the permuted data set, not of the"
      " data file); type the missing system, leave out the individuals missing a highly"
      " polymorphic system, or raise --max-memory (or run fewer --permutations)"));
  EXPECT_EQ(state.expansions.size(), 1);
}

TEST(BuildDataSet, KeepingMissingPatternsNeedsOneAttemptAndKeepsTheMissingTypings) {
  // Individuals missing typings at one system each: now and then the
  // classic shuffle hands somebody missing typings at two.
  const common::RunInput input = observed_data(
      {"ABC", "DE", "FG"}, {"??DEFG", "ABDDFF", "A?DEFG", "BBDDFG", "AB??FG", "CCEEFF", "ACDDGG",
                            "BCDEFG", "ABDEF?", "CCDDGG", "BBEEFG", "ACDEFG"});
  // Missing typings per system, summed over the individuals of a data set.
  const auto missing_per_system = [&](const common::DistinctPhenotypes& distinct) {
    std::vector<int> missing(3, 0);
    for (int d = 0; d < distinct.distinct_count(); ++d) {
      for (int s = 0; s < 3; ++s) {
        missing[s] += distinct.phenotype_tally[0][d] *
                      common::missing_typing_count(input.systems, distinct.distinct_typings[d], s);
      }
    }
    return missing;
  };
  for (const bool keep : {false, true}) {
    test_support::CapturedSinks captured;
    driver::PermutationState state(30, 1);
    state.keep_missing_patterns = keep;
    driver::BuiltDataSet built;
    driver::build_observed_data_set(input, state, captured.sinks(), built);
    const std::vector<int> observed_missing = missing_per_system(state.distinct);
    EXPECT_EQ(observed_missing, (std::vector<int>{3, 2, 1}));
    int attempts = 0;
    for (int n = 1; n <= 30; ++n) {
      ASSERT_EQ(
          driver::build_data_set(n, input, state, captured.sinks(), captured.sinks().log, built),
          driver::BuildStatus::built);
      attempts += state.try_count.try_count(n);
      if (keep) {
        EXPECT_EQ(state.try_count.try_count(n), 1);
        EXPECT_EQ(missing_per_system(state.distinct), observed_missing) << "data set " << n;
      }
    }
    EXPECT_EQ(attempts > 30, !keep);
  }
}

}  // namespace
