// Whole runs in memory: a run input made from a small genotype table, the
// analysis on several thread counts, the retry path, the 7070 stop and the
// permutation that keeps every individual's missing typings.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "common/locus_pair_measures.h"
#include "common/stop.h"
#include "driver/driver.h"
#include "estimate/estimate.h"
#include "support/capture.h"
#include "table/table.h"

namespace {

// Two populations of three loci; individuals missing one locus (completed)
// and, with `gappy`, enough missing typings that permuted individuals now and
// then miss two loci.
std::string table_text(bool gappy) {
  std::string text = "pop,A_1,A_2,B_1,B_2,C_1,C_2\n";
  const char* const alleles[] = {"a1", "a2", "a3"};
  for (int i = 0; i < 40; ++i) {
    const std::string pop = i % 2 == 0 ? "North" : "South";
    std::string row = pop;
    for (int locus = 0; locus < 3; ++locus) {
      const bool missing = gappy ? (i % 20 == locus) : (i == 5 && locus == 1);
      for (int k = 0; k < 2; ++k) {
        row += ",";
        row += missing ? std::string() : alleles[(i * (locus + 1) + k * i / 3) % 3];
      }
    }
    text += row + "\n";
  }
  return text;
}

common::RunInput input_of(const std::string& text) {
  std::istringstream in(text);
  table::TableOptions options;
  options.delimiter = ',';
  const table::GenotypeTable genotypes = table::read_genotype_table(in, "t.csv", options);
  return table::make_run_input(genotypes, table::parse_test(genotypes, "", "")).input;
}

// Every individual missing one of the three loci: almost every permuted
// data set of the classic shuffle has somebody missing two, far more
// attempts than MAX_TRIES allows.
common::RunInput every_individual_missing_a_locus() {
  common::RunInput input = input_of(table_text(false));
  for (auto& records : input.populations.phenotype_table) {
    for (std::size_t r = 0; r < records.size(); ++r) {
      const std::size_t locus = r % 3;
      if (std::any_of(records[r].begin(), records[r].begin() + 6,
                      [](const common::Typing& t) { return t.is_blank(); })) {
        continue;  // already missing a locus
      }
      records[r][2 * locus] = common::Typing();
      records[r][2 * locus + 1] = common::Typing();
    }
  }
  return input;
}

struct Outcome {
  common::RunResults results;
  std::vector<test_support::Written> journal;
};

Outcome run(const common::RunInput& input, int threads, common::RunOptions options) {
  test_support::CapturedSinks sinks;
  options.threads = threads;
  Outcome result;
  result.results = driver::run_analysis(input, options, sinks.sinks());
  result.journal = sinks.journal();
  return result;
}

common::RunOptions options_of(common::MessageStyle style, int permutations, bool keep = false) {
  common::RunOptions options;
  options.permutations = permutations;
  options.messages = style;
  options.rules.keep_missing_patterns = keep;
  return options;
}

// Every thread count gives the run of one thread: its messages and every
// statistic to the bit; the summary counts agree with the permuted
// statistics. Keeping the missing patterns draws no data set again, even
// on data where the classic shuffle stops with 7070.
TEST(RunInMemory, SameResultsAndMessagesOnEveryThreadCount) {
  using enum common::MessageStyle;
  const common::RunInput few_missing = input_of(table_text(false));
  const common::RunInput gappy = input_of(table_text(true));
  const common::RunInput all_missing = every_individual_missing_a_locus();
  EXPECT_TRUE(test_support::stopped_with(
      test_support::run_capturing([&] { (void)run(all_missing, 1, options_of(counted, 100)); }),
      common::StopCode::too_many_tries));
  const struct {
    const common::RunInput& input;
    common::RunOptions options;
  } cases[] = {{few_missing, options_of(classic, 200)},
               {few_missing, options_of(counted, 200)},
               {gappy, options_of(counted, 100, true)},
               {all_missing, options_of(counted, 100, true)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << &c.input << (c.options.messages == classic ? " classic" : "")
                                    << (c.options.rules.keep_missing_patterns ? " keep" : ""));
    const Outcome one = run(c.input, 1, c.options);
    ASSERT_EQ(one.results.populations.size(), 2U);
    if (c.options.rules.keep_missing_patterns) {
      EXPECT_EQ(one.results.redrawn_attempts, 0);
    }
    const int n = c.options.permutations;
    for (const common::PopulationResult& p : one.results.populations) {
      ASSERT_EQ(p.permuted_statistic.size(), static_cast<std::size_t>(n));
      int above = 0;
      int ties = 0;
      for (const double x : p.permuted_statistic) {
        above += x > p.observed_statistic ? 1 : 0;
        ties += x == p.observed_statistic ? 1 : 0;
      }
      EXPECT_EQ(std::tie(p.exceeding, p.ties), std::tie(above, ties));
      EXPECT_EQ(p.p_value, above / static_cast<double>(n));
      EXPECT_EQ(p.p_value_conservative, (above + ties + 1) / (n + 1.0));
    }
    for (const int threads : {2, 4, 7}) {
      const Outcome more = run(c.input, threads, c.options);
      EXPECT_EQ(more.journal, one.journal) << threads;
      for (std::size_t p = 0; p < 2; ++p) {
        EXPECT_EQ(more.results.populations[p].permuted_statistic,
                  one.results.populations[p].permuted_statistic);
        EXPECT_EQ(more.results.populations[p].observed_statistic,
                  one.results.populations[p].observed_statistic);
      }
    }
  }
}

TEST(DataSetBuilder, BuildsTheDataSetsOfTheRun) {
  // The benchmarks replay a run through the builder, so its data sets, those
  // drawn again included, must be the run's: their alternative models give
  // the run's permuted statistics to the bit.
  const common::RunInput input = input_of(table_text(true));
  const Outcome whole = run(input, 1, options_of(common::MessageStyle::counted, 30));
  ASSERT_GT(whole.results.redrawn_attempts, 0);
  test_support::CapturedSinks sinks;
  driver::DataSetBuilder builder(input, 30, 1);
  driver::BuiltDataSet built;
  ASSERT_TRUE(builder.build(0, sinks.sinks(), built));
  estimate::EmWorkspace workspace;
  for (int n = 1; n <= 30; ++n) {
    ASSERT_TRUE(builder.build(n, sinks.sinks(), built));
    for (std::size_t p = 0; p < 2; ++p) {
      const common::PopulationResult& result = whole.results.populations[p];
      const estimate::EmResult alt =
          estimate::estimate_alt_model({input.alt_grouping, built.pair_labels,
                                        built.phenotype_count[p], built.population_size[p]},
                                       workspace);
      EXPECT_EQ(-2.0 * (result.null_model.log_likelihood - alt.log_likelihood),
                result.permuted_statistic[static_cast<std::size_t>(n - 1)])
          << "data set " << n << ", population " << p;
    }
  }
}

// South lacks allele a3 of locus A, which North has; one individual of each
// population misses A (North's first, so a phenotype shared by the two would
// be completed as North's). South's maximum-likelihood haplotypes are known:
// a1~b1 3/7, a2~b2 2/7, a1~b3 and a2~b3 1/7 each, with A's alleles at 1/2.
constexpr const char* SOUTH_LACKS_A3 =
    "pop,A_1,A_2,B_1,B_2\n"
    "North,a1,a3,b1,b2\nNorth,,,b1,b1\nNorth,a3,a3,b2,b3\nNorth,a2,a3,b1,b3\n"
    "South,a1,a1,b1,b1\nSouth,a1,a1,b1,b1\nSouth,a2,a2,b2,b2\nSouth,a2,a2,b2,b2\n"
    "South,a1,a1,b3,b3\nSouth,a2,a2,b3,b3\nSouth,,,b1,b1\n";

// The fitted values of one group as {alleles: frequency}.
std::map<std::vector<int>, double> values_of(const common::FittedModel& model, int group) {
  std::map<std::vector<int>, double> values;
  for (const common::FittedValue& value : model.values[group]) {
    values[value.alleles] = value.frequency;
  }
  return values;
}

TEST(AllelesPerPopulation, MissingTypingsAndMeasuresKeepToThePopulationsAlleles) {
  const common::RunInput input = input_of(SOUTH_LACKS_A3);
  common::RunOptions options = options_of(common::MessageStyle::counted, 20);
  options.rules = common::maximum_likelihood_rules(common::DEFAULT_EM_STARTS);
  const common::RunResults results = run(input, 1, options).results;
  const common::PopulationResult& north = results.populations[0];
  const common::PopulationResult& south = results.populations[1];
  EXPECT_EQ(values_of(north.null_model, 0).size(), 3U);

  // Expected frequency of each South value; a value missing here is no value.
  const std::pair<std::map<std::vector<int>, double>, std::map<std::vector<int>, double>>
      south_values[] = {
          {values_of(south.null_model, 0), {{{0}, 0.5}, {{1}, 0.5}}},
          {values_of(south.null_model, 1), {{{0}, 3.0 / 7}, {{1}, 2.0 / 7}, {{2}, 2.0 / 7}}},
      };
  for (const auto& [fitted, expected] : south_values) {
    ASSERT_EQ(fitted.size(), expected.size());
    for (const auto& [alleles, frequency] : expected) {
      EXPECT_NEAR(fitted.at(alleles), frequency, 1e-9);
    }
  }
  // a2~b1 is a value (the completion of South's individual missing A) of
  // frequency 0 at the maximum; a3 is none.
  std::vector<std::vector<double>> haplotypes(3, std::vector<double>(3, 0.0));
  for (const auto& [alleles, frequency] : values_of(south.alt_model, 0)) {
    EXPECT_NE(alleles[0], 2);
    haplotypes[alleles[0]][alleles[1]] = frequency;
  }
  const double expected_haplotypes[2][3] = {{3.0 / 7, 0.0, 1.0 / 7}, {0.0, 2.0 / 7, 1.0 / 7}};
  for (int a = 0; a < 2; ++a) {
    for (int b = 0; b < 3; ++b) {
      EXPECT_NEAR(haplotypes[a][b], expected_haplotypes[a][b], 1e-9) << a << "~" << b;
    }
  }
  // k = 2 alleles of A and l = 3 of B: df (2 x 3 - 1) - (1 + 2), and Wn over
  // min(k, l) - 1 = 1.
  EXPECT_EQ(south.degrees_of_freedom, 2);
  const common::LocusPairMeasures measures = common::locus_pair_measures(haplotypes);
  ASSERT_TRUE(measures.defined);
  EXPECT_NEAR(measures.d_prime, 0.75, 1e-9);
  EXPECT_NEAR(measures.wn, std::sqrt(17.0 / 24.0), 1e-9);

  // Permuted data sets keep the populations' alleles on every thread count.
  const common::RunResults threaded = run(input, 3, options).results;
  for (std::size_t p = 0; p < 2; ++p) {
    EXPECT_EQ(threaded.populations[p].permuted_statistic,
              results.populations[p].permuted_statistic);
  }
}

}  // namespace
