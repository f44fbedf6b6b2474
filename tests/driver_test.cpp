#include "driver/driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "common/locus_pair_measures.h"
#include "common/stop.h"
#include "driver/build_internal.h"
#include "driver/summary_internal.h"
#include "estimate/estimate.h"
#include "layout/layout.h"
#include "support/capture.h"
#include "support/groupings.h"
#include "table/table.h"

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

// One population's line of the classic summary: p counts only permuted
// statistics strictly greater than the observed one; xi needs a positive
// variance and df >= 0, else it is written as asterisks; the name is cut or
// padded to ten columns. The report and the console get the same records.
TEST(Summary, ValuesAndLinesOfTheClassicTable) {
  const std::vector<double> tied(1000, 5.0);
  std::vector<double> two_above = tied;
  two_above[0] = 7.0;
  two_above[999] = 9.0;
  const double undefined = std::nan("");
  struct Case {
    std::string name;
    double observed;
    std::vector<double> permuted;
    int n, df;
    double p_value, xi, xi_std;  // xi NaN: undefined
    std::string line;
  };
  const Case cases[] = {
      // N = 100, df = 4, statistic 20, mean 4, variance 8.
      {"Highland", 20.0, spread(4.0, std::sqrt(8.0)), 100, 4, 0.0, 0.16, std::sqrt(72.0) / 100.0,
       "Highland    .000   .160     .085       20.00     4.000     2.828     4"},
      {"Below", 4.0, tied, 10, 2, 1.0, undefined, 0.0,
       "Below      1.000  *****    *****        4.00     5.000      .000     2"},
      // Mean 5.006, variance 25.08 - 5.006^2.
      {"Two", 5.0, two_above, 10, 2, 2.0 / 1000.0, -0.006 * 2.0 / std::sqrt(0.019964) / 10.0,
       std::sqrt(4.0 + 40.0 * 0.012 / std::sqrt(0.019964) / 10.0) / 10.0,
       "Two         .002  -.008     .208        5.00     5.006      .141     2"},
      {"Far", 100.0, spread(3.0, 1.0), 50, 2, 0.0, 3.88, std::sqrt(4.0 + 200.0 * 3.88) / 50.0,
       "Far         .000  3.880     .559      100.00     3.000     1.000     2"},
      // A negative xi enters the deviation by its absolute value.
      {"Low", 6.0, spread(10.0, 2.0), 25, 2, 1.0, -0.16, std::sqrt(20.0) / 25.0,
       "Low        1.000  -.160     .179        6.00    10.000     2.000     2"},
      {"Zero", 40.0, spread(3.0, 1.0), 30, 0, 0.0, 0.0, 0.0,
       "Zero        .000   .000     .000       40.00     3.000     1.000     0"},
      {"Flat", 2.0, std::vector<double>(1000, 2.0), 40, 3, 0.0, undefined, 0.0,
       "Flat        .000  *****    *****        2.00     2.000      .000     3"},
      {"Neg", 2.0, spread(3.0, 1.0), 40, -2, 0.5, undefined, 0.0,
       "Neg         .500  *****    *****        2.00     3.000     1.000    -2"},
      {"Transylvania North", 1.0, spread(3.0, 1.0), 9, 1, 1.0, -2.0 * std::sqrt(2.0) / 9.0,
       std::sqrt(2.0 + 8.0 * std::sqrt(2.0)) / 9.0,
       "Transylvan 1.000  -.314     .405        1.00     3.000     1.000     1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result line;
    line.name = c.name;
    line.observed_statistic = c.observed;
    line.permuted_statistic = c.permuted;
    line.individuals = c.n;
    line.degrees_of_freedom = c.df;
    driver::summarise_population(line);
    EXPECT_EQ(line.p_value, c.p_value);
    EXPECT_EQ(line.xi_defined, !std::isnan(c.xi));
    if (line.xi_defined) {
      EXPECT_NEAR(line.ld_xi, c.xi, 1e-12);
      EXPECT_NEAR(line.ld_xi_std, c.xi_std, 1e-12);
    }
    layout::MemorySink report;
    layout::MemorySink console;
    driver::write_summary(std::span<const Result>(&line, 1), report, &console);
    EXPECT_EQ(report.records(), console.records());
    EXPECT_EQ(report.records(),
              (std::vector<std::string>{
                  " .......OVERALL LD INFOTMATION ........LIKELIHOOD RATIO   DISTIOBUTION",
                  "POP NAME   PVALUE   LD(xi)   STD(xi)   CHI-SQ   MEAN      STD      DFREEDOM",
                  c.line}));
  }
}

// The degrees of freedom count, in each group, the values whose expected
// count 2N f is at least 1/2; the frequencies' letters do not matter.
TEST(DegreesOfFreedom, CountValuesOfExpectedCountFromOneHalf) {
  using Groups = std::vector<std::vector<int>>;
  // Systems 0 to n - 1 each a group of its own.
  const auto singles_of = [](int n) {
    Groups groups;
    for (int s = 0; s < n; ++s) {
      groups.push_back({s});
    }
    return groups;
  };
  const std::vector<int> ten = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  const std::vector<int> eight_hundred(10, 800);
  const std::vector<std::vector<double>> uniform(10, std::vector<double>(800, 1.0 / 800.0));
  struct Case {
    Groups null_groups, alt_groups;  // of 0-based systems
    std::vector<int> alleles;
    std::vector<std::vector<double>> frequency;
    int n;
    std::int64_t df;
  };
  const Case cases[] = {
      // 2N = 20, counts from 0.025: c = 3, 2, 2: (3*2*2 - 1) - (2 + 1 + 1).
      {singles_of(3),
       {{0, 1, 2}},
       {3, 2, 4},
       {{0.5, 0.45, 0.05}, {0.9, 0.1}, {0.5, 0.49, 0.01, 0.0}},
       10,
       7},
      // Null groups of two systems; 0.1 x 10 = 1 counts: (16 - 1) - (3 + 3).
      {{{0, 1}, {2, 3}},
       {{0, 1, 2, 3}},
       {2, 2, 3, 2},
       {{0.25, 0.25, 0.25, 0.25}, {0.5, 0.0, 0.2, 0.2, 0.1, 0.0}},
       5,
       9},
      // A split alternative: (4 - 1) + (2 - 1) - 3.
      {singles_of(3), {{0, 1}, {2}}, {2, 2, 2}, {{0.5, 0.5}, {0.5, 0.5}, {0.5, 0.5}}, 4, 1},
      // An alternative group that holds no null group's first system adds
      // P = 1: only the second null group lies in {2}: (1 - 1) + (2 - 1) - (3 + 1).
      {{{0, 1}, {2}}, {{1}, {2}}, {2, 2, 2}, {{0.25, 0.25, 0.25, 0.25}, {0.5, 0.5}}, 4, -3},
      // 32 x 1/64 = 1/2 exactly: it counts, (2 - 1) - (1 + 0).
      {singles_of(2), {{0, 1}}, {2, 2}, {{0.984375, 0.015625}, {1.0, 0.0}}, 16, 0},
      // 800^10 values: reported, not wrapped.
      {singles_of(10), {ten}, eight_hundred, uniform, 1000, driver::DEGREES_OF_FREEDOM_OVERFLOW},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.alt_groups));
    std::vector<std::vector<estimate::GroupValueFrequency>> listed;
    for (const std::vector<double>& frequencies : c.frequency) {
      std::vector<estimate::GroupValueFrequency>& group = listed.emplace_back();
      for (const double f : frequencies) {
        group.push_back({common::Label("A"), f});
      }
    }
    EXPECT_EQ(
        driver::degrees_of_freedom(test_support::grouping_of(c.null_groups, c.alleles),
                                   test_support::grouping_of(c.alt_groups, c.alleles), listed, c.n),
        c.df);
  }
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
  // two 10-byte labels and 3 lists of 256 bytes, 1168 bytes, and the
  // estimation of the population's 20 pairs at 128 bytes each, 3728 in all.
  const common::RunInput input =
      observed_data({"ABC", "DE", "FG"}, {"??DEFG", "ABDDFF", "??DEFG", "BBDDFG"});
  const std::string refusal =
      "the observed data set needs 3728 bytes for its haplotype-pair lists and their"
      " estimation, more than the memory budget of 3727 bytes; its longest list, 18 pairs, is that "
      "of the phenotype first"
      " met at record 1 of population \"Valley\" (number 1), heterozygous in 2 of its 2 typed"
      " systems, both typings of system 1 missing (3 alleles); type the missing system, leave"
      " out the individuals missing a highly polymorphic system, or raise --max-memory";
  const std::pair<std::int64_t, std::string> cases[] = {
      {0, "completed"}, {3728, "completed"}, {3727, "file error :0: " + refusal}};
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

// ---------------------------------------------------------------- whole runs in memory: a run
// input made from a small genotype table, the analysis on several thread
// counts, the retry path, the 7070 stop and the permutation that keeps every
// individual's missing typings.

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
  const genotypes::GenotypeData genotypes = table::read_genotype_table(in, "t.csv", options);
  return genotypes::make_run_input(genotypes, genotypes::parse_test(genotypes, "", "")).input;
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

// An observer that writes every event to the log, one line each, and
// counts them by kind: what a front-end's observer is told, in its order.
class EventLog final : public driver::RunObserver {
 public:
  explicit EventLog(layout::Sink& log) : log_(log) {}
  void build_messages(int dataset_number, const layout::MemorySink& console,
                      const layout::MemorySink& log) override {
    const auto lines = console.records().size() + log.records().size();
    if (lines > 0) {
      line("build " + std::to_string(dataset_number) + ": " + std::to_string(lines));
    }
  }
  void data_set_built(int dataset_number) override {
    ++built;
    line("built " + std::to_string(dataset_number));
  }
  void attempts_redrawn(int dataset_number, int count) override {
    redrawn += count;
    line("redrawn " + std::to_string(dataset_number) + ": " + std::to_string(count));
  }
  void em_fit(const driver::EmFit& fit) override {
    ++fits;
    not_converged += fit.converged ? 0 : 1;
    decreased += fit.decreased_iterations;
    line("fit " + std::to_string(fit.dataset_number) + " " + std::string(fit.population_name) +
         " " + std::string(fit.model) + (fit.converged ? "" : " capped"));
  }

  int built = 0;
  int redrawn = 0;
  int fits = 0;
  int not_converged = 0;
  int decreased = 0;

 private:
  void line(const std::string& text) { log_.write_record(text); }
  layout::Sink& log_;
};

struct Outcome {
  common::RunResults results;
  std::vector<test_support::Written> journal;
};

enum class Messages { classic, events };

struct RunSettings {
  Messages messages = Messages::events;
  common::RunOptions options;
};

Outcome run(const common::RunInput& input, int threads, RunSettings settings) {
  test_support::CapturedSinks sinks;
  settings.options.threads = threads;
  Outcome result;
  const layout::Sinks to = sinks.sinks();
  driver::ClassicObserver classic(to.console, to.log);
  EventLog events(to.log);
  driver::RunObserver& observer =
      settings.messages == Messages::classic ? static_cast<driver::RunObserver&>(classic) : events;
  result.results = driver::run_analysis(input, settings.options, to, observer);
  result.journal = sinks.journal();
  if (settings.messages == Messages::events) {
    // The observer hears of every data set, fit and redrawn attempt that
    // the results count.
    const common::RunResults& counted = result.results;
    EXPECT_EQ(events.built, settings.options.permutations + 1);
    EXPECT_EQ(events.fits, counted.estimations);
    EXPECT_EQ(events.not_converged, counted.not_converged);
    EXPECT_EQ(events.decreased, counted.decreased_iterations);
    EXPECT_EQ(events.redrawn, counted.redrawn_attempts);
    int informative = 0;
    for (const common::PopulationResult& p : counted.populations) {
      informative += p.informative ? 1 : 0;
    }
    EXPECT_EQ(counted.estimations, informative * (settings.options.permutations + 2));
  }
  return result;
}

RunSettings options_of(Messages messages, int permutations, bool keep = false) {
  RunSettings settings;
  settings.messages = messages;
  settings.options.permutations = permutations;
  settings.options.rules.keep_missing_patterns = keep;
  return settings;
}

// Every thread count gives the run of one thread: its messages and every
// statistic to the bit; the summary counts agree with the permuted
// statistics. Keeping the missing patterns draws no data set again, even
// on data where the classic shuffle stops with 7070.
TEST(RunInMemory, SameResultsAndMessagesOnEveryThreadCount) {
  using enum Messages;
  const common::RunInput few_missing = input_of(table_text(false));
  const common::RunInput gappy = input_of(table_text(true));
  const common::RunInput all_missing = every_individual_missing_a_locus();
  EXPECT_TRUE(test_support::stopped_with(
      test_support::run_capturing([&] { (void)run(all_missing, 1, options_of(events, 100)); }),
      common::StopCode::too_many_tries));
  const struct {
    const common::RunInput& input;
    RunSettings settings;
  } cases[] = {{few_missing, options_of(classic, 200)},
               {few_missing, options_of(events, 200)},
               {gappy, options_of(events, 100, true)},
               {all_missing, options_of(events, 100, true)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << &c.input << (c.settings.messages == classic ? " classic" : "")
                 << (c.settings.options.rules.keep_missing_patterns ? " keep" : ""));
    const Outcome one = run(c.input, 1, c.settings);
    ASSERT_EQ(one.results.populations.size(), 2U);
    if (c.settings.options.rules.keep_missing_patterns) {
      EXPECT_EQ(one.results.redrawn_attempts, 0);
    }
    const int n = c.settings.options.permutations;
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
      const Outcome more = run(c.input, threads, c.settings);
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
  const Outcome whole = run(input, 1, options_of(Messages::events, 30));
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
  RunSettings options = options_of(Messages::events, 20);
  options.options.rules = common::maximum_likelihood_rules(common::DEFAULT_EM_STARTS);
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
