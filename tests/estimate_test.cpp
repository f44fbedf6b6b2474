#include "estimate/estimate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "estimate/estimate_internal.h"
#include "layout/layout.h"
#include "support/groupings.h"

namespace {

using estimate::EmResult;
using estimate::EmWorkspace;
using Listed = std::vector<std::vector<estimate::GroupValueFrequency>>;  // [group][value]
using Pairs = std::vector<std::pair<std::string, std::string>>;

constexpr double LOG_FLOOR_ALT = 9.999999974752427E-7;
constexpr double LOG_FLOOR_NULL = 9.99999993922529E-9;
constexpr double PAIR_MASS_FLOOR = 9.999999974752427E-7;
constexpr double EM_TOLERANCE = 0.0010000000474974513;
const char* const NOT_INCREASED = "EM--not increased in this iteration";

// A grouping whose groups hold the given 0-based systems; letters[s] holds the
// code letters of system s, one per allele.
common::Grouping make_grouping(const std::vector<std::string>& letters,
                               const std::vector<std::vector<int>>& groups) {
  std::vector<int> allele_count;
  for (const std::string& system : letters) {
    allele_count.push_back(static_cast<int>(system.size()));
  }
  return test_support::grouping_of(groups, allele_count);
}

// The distinct phenotypes of a data set, with one population's counts.
struct Population {
  common::PairLists pair_labels;
  std::vector<int> phenotype_count;

  Population() = default;
  Population(std::initializer_list<std::pair<Pairs, int>> phenotypes) {
    for (const auto& [pairs, count] : phenotypes) {
      add(pairs, count);
    }
  }

  void add(const Pairs& pairs, int count) {
    auto list = std::make_shared<common::PairList>();
    for (const auto& [first, second] : pairs) {
      list->first.emplace_back(first);
      list->second.emplace_back(second);
    }
    pair_labels.push_back(list);
    phenotype_count.push_back(count);
  }
  [[nodiscard]] estimate::EmInput input(const common::Grouping& grouping,
                                        int max_iterations = common::EM_MAX_ITERATIONS,
                                        bool publish = true) const {
    return {grouping,        pair_labels,
            phenotype_count, std::accumulate(phenotype_count.begin(), phenotype_count.end(), 0),
            max_iterations,  publish};
  }
};

std::vector<std::string> messages(const EmResult& result) {
  layout::MemorySink console;
  estimate::write_em_messages(result.not_increased_count, result.converged, result.last_iteration,
                              console);
  return console.records();
}

// Frequencies of one group by value; a value missing from the map has the
// group's start frequency before the first iteration and 0 after it.
using Frequencies = std::map<common::Label, double>;

common::Label value_of(const common::Grouping& grouping, const common::Label& label, int g) {
  common::Label value;
  for (int j = 0; j < grouping.group_size(g); ++j) {
    value[j] = label[grouping.group_systems[g][j]];
  }
  return value;
}

double frequency_of(const std::vector<Frequencies>& frequency, const common::Grouping& grouping,
                    const common::Label& label, int g, bool started) {
  const auto found = frequency[g].find(value_of(grouping, label, g));
  if (found != frequency[g].end()) {
    return found->second;
  }
  return started ? 0.0 : 1.0 / grouping.group_value_total[g];
}

double plain_floor(double value_total) {
  const double r = 800.0 / value_total;
  return value_total <= 800.0 ? PAIR_MASS_FLOOR : (PAIR_MASS_FLOOR * r) * r;
}

// The expected count of every value of group g, summed phenotype by phenotype;
// a repeat of an ordered value pair met at an earlier slot adds nothing.
Frequencies plain_expected_counts(const Population& population, const common::Grouping& grouping,
                                  const std::vector<Frequencies>& frequency, bool started, int g) {
  Frequencies expected;
  for (std::size_t d = 0; d < population.pair_labels.size(); ++d) {
    const common::PairList& list = *population.pair_labels[d];
    Frequencies mass;
    double total = 0.0;
    std::set<std::pair<common::Label, common::Label>> seen;
    for (int p = 0; p < list.pair_total(); ++p) {
      const common::Label a = value_of(grouping, list.first[p], g);
      const common::Label b = value_of(grouping, list.second[p], g);
      if (seen.insert({a, b}).second) {
        const double m = frequency_of(frequency, grouping, list.first[p], g, started) *
                         frequency_of(frequency, grouping, list.second[p], g, started) *
                         (a != b ? 2.0 : 1.0);
        mass[a] += population.phenotype_count[d] * m;
        mass[b] += population.phenotype_count[d] * m;
        total += m;
      }
    }
    // A phenotype whose pair mass falls under the floor adds nothing.
    for (const auto& [value, m] : mass) {
      expected[value] +=
          std::abs(total) >= plain_floor(grouping.group_value_total[g]) ? m / total : 0.0;
    }
  }
  return expected;
}

double plain_log_likelihood(const Population& population, const common::Grouping& grouping,
                            const std::vector<Frequencies>& frequency, double log_floor) {
  double sum = 0.0;
  for (std::size_t d = 0; d < population.pair_labels.size(); ++d) {
    const common::PairList& list = *population.pair_labels[d];
    double likelihood = 0.0;
    for (int p = 0; p < list.pair_total(); ++p) {
      double one = 1.0;
      double two = 1.0;
      for (int g = 0; g < grouping.group_total(); ++g) {
        one *= frequency_of(frequency, grouping, list.first[p], g, true);
        two *= frequency_of(frequency, grouping, list.second[p], g, true);
      }
      likelihood += list.first[p] != list.second[p] ? one * two * 2.0 : one * two;
    }
    sum += population.phenotype_count[d] * std::log(likelihood + log_floor);
  }
  return sum;
}

struct PlainResult {
  EmResult result;
  std::vector<Frequencies> frequency;
};

// The estimation as plainly written: every phenotype in every loop, each
// value's frequency looked up by its letters.
PlainResult plain_em(const Population& population, const common::Grouping& grouping,
                     double log_floor, int max_iterations) {
  const double gene_total = 2.0 * population.input(grouping).population_size;
  PlainResult plain;
  plain.frequency.resize(static_cast<std::size_t>(grouping.group_total()));
  EmResult& result = plain.result;
  double previous = 0.0;
  for (int t = 2; t <= max_iterations; ++t) {
    result.last_iteration = t;
    std::vector<Frequencies> next;
    for (int g = 0; g < grouping.group_total(); ++g) {
      next.push_back(plain_expected_counts(population, grouping, plain.frequency, t > 2, g));
      for (auto& [value, count] : next.back()) {
        count /= gene_total;
      }
    }
    plain.frequency = next;
    result.log_likelihood = plain_log_likelihood(population, grouping, plain.frequency, log_floor);
    result.not_increased_count += t > 2 && result.log_likelihood < previous ? 1 : 0;
    result.converged = std::abs(result.log_likelihood - previous) < EM_TOLERANCE;
    if (result.converged) {
      break;
    }
    previous = result.log_likelihood;
  }
  return plain;
}

// Published frequencies agree with the plain ones value by value; a value the
// estimation does not list has frequency 0 in the plain algorithm.
void expect_same_frequencies(const EmResult& fast, const std::vector<Frequencies>& plain) {
  ASSERT_EQ(fast.value_frequency.size(), plain.size());
  for (std::size_t g = 0; g < plain.size(); ++g) {
    Frequencies listed;
    for (const estimate::GroupValueFrequency& value : fast.value_frequency[g]) {
      EXPECT_TRUE(listed.emplace(value.value, value.frequency).second) << "listed twice";
      const auto found = plain[g].find(value.value);
      EXPECT_EQ(value.frequency, found == plain[g].end() ? 0.0 : found->second);
    }
    for (const auto& [value, frequency] : plain[g]) {
      if (!listed.contains(value)) {
        EXPECT_EQ(frequency, 0.0);
      }
    }
  }
}

void expect_same(const EmResult& fast, const EmResult& plain) {
  EXPECT_EQ(fast.log_likelihood, plain.log_likelihood);
  EXPECT_EQ(fast.last_iteration, plain.last_iteration);
  EXPECT_EQ(fast.not_increased_count, plain.not_increased_count);
  EXPECT_EQ(fast.converged, plain.converged);
}

// Both models on one population, compared bit for bit with the plain algorithm.
void expect_plain_results(const Population& population, const common::Grouping& grouping,
                          int max_iterations, EmWorkspace& workspace) {
  const PlainResult alt = plain_em(population, grouping, LOG_FLOOR_ALT, max_iterations);
  const EmResult fast_alt =
      estimate::estimate_alt_model(population.input(grouping, max_iterations), workspace);
  expect_same(fast_alt, alt.result);
  expect_same_frequencies(fast_alt, alt.frequency);
  const PlainResult null = plain_em(population, grouping, LOG_FLOOR_NULL, max_iterations);
  const EmResult fast_null =
      estimate::estimate_null_model(population.input(grouping, max_iterations), workspace);
  expect_same(fast_null, null.result);
  expect_same_frequencies(fast_null, null.frequency);
  EXPECT_EQ(workspace.faults(), std::vector<std::string>());
}

// Up to 4 systems of 1 to 3 alleles; groups that may leave systems out and
// list theirs in any order; shuffled value lists; pair lists with repeated
// and reversed pairs; phenotypes of weight 0, and of large weight, which let
// rare values fall under the pair mass floor. Returns the grouping, the
// population and the population without its phenotypes of weight 0. With
// one_whole_group, a single group holds every system in order.
std::tuple<common::Grouping, Population, Population> random_case(std::mt19937& engine,
                                                                 bool one_whole_group = false) {
  const auto below = [&engine](auto n) {
    return static_cast<int>(engine() % static_cast<unsigned>(n));
  };
  std::vector<std::string> letters;
  for (int s = below(4); s >= 0; --s) {
    letters.push_back(std::string("ABCDEFGHIJKL").substr(3 * letters.size(), 1 + below(3)));
  }
  std::vector<std::vector<int>> groups(1 + below(letters.size()));
  for (int s = 0; s < std::ssize(letters); ++s) {
    const int g = below(groups.size() + 1);  // past the last group: left out
    if (g < std::ssize(groups)) {
      groups[g].insert(groups[g].begin() + below(groups[g].size() + 1), s);
    }
  }
  std::erase_if(groups, [](const std::vector<int>& group) { return group.empty(); });
  if (one_whole_group) {
    groups = {std::vector<int>(letters.size())};
    std::iota(groups[0].begin(), groups[0].end(), 0);
  }
  common::Grouping grouping =
      make_grouping(letters, groups.empty() ? std::vector<std::vector<int>>{{0}} : groups);
  const auto label = [&] {
    std::string text;
    for (const std::string& system : letters) {
      text += system[below(system.size())];
    }
    return text;
  };
  Population population;
  Population weighed;
  for (int d = below(6); d >= 0; --d) {
    Pairs pairs{{label(), label()}};
    for (int p = below(5); p > 0; --p) {
      const int kind = below(4);  // 0: a repeat, 1: a reversed repeat, else a new pair
      auto pair = kind < 2 ? pairs[below(pairs.size())] : std::pair{label(), label()};
      if (kind == 1) {
        std::swap(pair.first, pair.second);
      }
      pairs.push_back(pair);
    }
    const int count = d == 0 ? 1 : below(8) == 0 ? 1000 * below(4) : below(4);
    population.add(pairs, count);
    if (count > 0) {
      weighed.add(pairs, count);
    }
  }
  return {grouping, population, weighed};
}

TEST(EstimateReference, RandomSmallCasesMatchPlainAlgorithm) {
  // One workspace for all cases: tables left by a larger case must not leak.
  EmWorkspace workspace;
  EmWorkspace one_by_one(false);
  std::mt19937 engine(20240611);  // NOLINT(cert-msc51-cpp): the same cases in every run
  for (int n = 0; n < 800; ++n) {
    SCOPED_TRACE("case " + std::to_string(n));
    // The second half: one group of every system, where the likelihood of an
    // iteration comes from the next E-step.
    const auto [grouping, population, weighed] = random_case(engine, n >= 400);
    const int limit = n % 5 == 0 ? 2 + static_cast<int>(engine() % 5) : 200;
    expect_plain_results(population, grouping, limit, workspace);
    expect_plain_results(population, grouping, limit, one_by_one);
    // Leaving out the phenotypes of weight 0 changes nothing.
    const EmResult all =
        estimate::estimate_null_model(population.input(grouping, limit), workspace);
    const EmResult fewer = estimate::estimate_null_model(weighed.input(grouping, limit), workspace);
    expect_same(fewer, all);
    EXPECT_EQ(fewer.value_frequency, all.value_frequency);
  }
}

// Estimations worked by hand, to the bit; none reports anything.
TEST(EstimateWorkedExamples, LogLikelihoodsAndLastIterations) {
  const common::Grouping one_system = make_grouping({"AB"}, {{0}});
  const common::Grouping together = make_grouping({"AB", "CD"}, {{0, 1}});
  const common::Grouping apart = make_grouping({"AB", "CD"}, {{0}, {1}});
  const Population two_homozygotes{{{{"AC", "AC"}}, 1}, {{{"BD", "BD"}}, 1}};
  struct Case {
    Population population;
    const common::Grouping& grouping;
    bool alt = false;
    double log_likelihood = 0.0;
    int last_iteration = 0;  // 0: not checked
  } const cases[] = {
      // Everyone the same homozygous pair; the first iteration is compared
      // with 0: 1000 individuals stop there, 1001 pass the tolerance.
      {{{{{"AC", "AC"}}, 1000}}, together, true, 1000.0 * std::log(1.0 + LOG_FLOOR_ALT), 2},
      {{{{{"AC", "AC"}}, 1001}}, together, true, 0.0010009994969730543, 3},
      // Iteration 2 falls below the starting 0, but only later iterations are reported.
      {{{{{"A", "A"}}, 1}, {{{"A", "B"}}, 1}}, one_system, true, -1.5561889534759907, 3},
      {two_homozygotes, apart, false, -5.54517712447959, 0},
      {two_homozygotes, together, true, -2.7725807222558014, 0},
      // The alternative model on the null grouping differs from the null
      // model by the two log floors alone.
      {two_homozygotes, apart, true, -5.54517712447959 + 6.335948789804036E-5 / 2.0, 0},
  };
  EmWorkspace workspace;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.log_likelihood);
    const estimate::EmInput input = c.population.input(c.grouping);
    const EmResult result = c.alt ? estimate::estimate_alt_model(input, workspace)
                                  : estimate::estimate_null_model(input, workspace);
    EXPECT_EQ(result.log_likelihood, c.log_likelihood);
    if (c.last_iteration > 0) {
      EXPECT_EQ(result.last_iteration, c.last_iteration);
    }
    EXPECT_TRUE(messages(result).empty());
  }
}

// Iteration 2 alone, from the uniform start A = B = 0.5: an ordered value pair
// met twice counts once in the E-step and twice in the likelihood; a reversed
// pair is another ordered pair and counts in both.
TEST(EstimateRepeatedPairs, RepeatCountsOnceInEStepReversedPairTwice) {
  const common::Grouping grouping = make_grouping({"AB"}, {{0}});
  EmWorkspace workspace;
  const Population repeat{{{{"A", "A"}, {"A", "B"}, {"A", "B"}}, 1}};
  const EmResult once = estimate::estimate_null_model(repeat.input(grouping, 2), workspace);
  const double a = (1.0 / 0.75) / 2.0;
  const double b = (0.5 / 0.75) / 2.0;
  EXPECT_EQ(once.value_frequency, (Listed{{{common::Label("A"), a}, {common::Label("B"), b}}}));
  EXPECT_EQ(once.log_likelihood, std::log(a * a + a * b * 2.0 + a * b * 2.0 + LOG_FLOOR_NULL));
  const Population reversed{{{{"A", "A"}, {"A", "B"}, {"B", "A"}}, 1}};
  const EmResult both = estimate::estimate_null_model(reversed.input(grouping, 2), workspace);
  EXPECT_EQ(both.value_frequency, (Listed{{{common::Label("A"), (1.5 / 1.25) / 2.0},
                                           {common::Label("B"), (1.0 / 1.25) / 2.0}}}));
}

TEST(EstimateMessages, EveryDecreaseAndNoConvergenceAreReported) {
  const common::Grouping grouping = make_grouping({"AB"}, {{0}});
  EmWorkspace workspace;
  // After iteration 2 repeated pairs move the estimates away from the
  // likelihood's maximum: one line for every iteration that lowered it.
  const Population repeat{{{{"A", "A"}, {"A", "B"}, {"A", "B"}}, 1}};
  const EmResult alt = estimate::estimate_alt_model(repeat.input(grouping), workspace);
  ASSERT_GT(alt.not_increased_count, 0);
  EXPECT_EQ(messages(alt), std::vector<std::string>(
                               static_cast<std::size_t>(alt.not_increased_count), NOT_INCREASED));
  // Frequency of B falls as 1/(t + 1): the log-likelihood still moves by
  // about 2N/t^3 at t = 200.
  const Population population{{{{"A", "A"}, {"A", "B"}}, 100000}};
  expect_plain_results(population, grouping, 200, workspace);
  const EmResult null = estimate::estimate_null_model(population.input(grouping), workspace);
  EXPECT_FALSE(null.converged);
  EXPECT_EQ(null.last_iteration, 200);
  EXPECT_EQ(messages(null),
            std::vector<std::string>{"WARNING***:  EM not convergence after 200 iteration"});
}

// Groups of more values than the classic tables held: the E-step floor is
// scaled (3 systems of 11, 9 and 12 letters: 1188 values) and a code space
// of 40^4 letters met is indexed by hash instead of a dense table; both
// agree bit for bit with the plain algorithm.
TEST(EstimateLargeGroups, ScaledFloorAndSparseIndexMatchPlainAlgorithm) {
  const auto letters_of = [](int n, char first) {
    std::string text(static_cast<std::size_t>(n), first);
    std::iota(text.begin(), text.end(), first);
    return text;
  };
  EmWorkspace workspace;
  std::mt19937 engine(7);  // NOLINT(cert-msc51-cpp): the same cases in every run
  const std::vector<std::string> three = {letters_of(11, 'A'), letters_of(9, 'a'),
                                          letters_of(12, '0')};
  Population population;
  for (int d = 0; d < 30; ++d) {
    const auto label = [&] {
      std::string text;
      for (const std::string& system : three) {
        text += system[engine() % system.size()];
      }
      return text;
    };
    population.add({{label(), label()}, {label(), label()}}, 1 + static_cast<int>(engine() % 3));
  }
  population.add({{"AaO", "AaO"}}, 1);  // one homozygous pair: start mass 1 / 1188^2
  expect_plain_results(population, make_grouping(three, {{0, 1, 2}}), 200, workspace);
  expect_plain_results(population, make_grouping(three, {{0}, {1}, {2}}), 200, workspace);

  const std::vector<std::string> wide(4, letters_of(40, '!'));
  Population spread;
  for (int i = 0; i < 40; ++i) {
    const std::string one(4, wide[0][i]);
    const std::string two(4, wide[0][(i + 7) % 40]);
    spread.add({{one, two}, {one, one}}, 1 + i % 2);
  }
  expect_plain_results(spread, make_grouping(wide, {{0, 1, 2, 3}}), 200, workspace);
}

}  // namespace

// A group's values are numbered in order of first use, through the table's
// growth and after more estimations than the index has stamps; a value is
// the label's letters at the group's systems only.
TEST(GroupValueIndex, NumbersInOrderOfFirstUse) {
  estimate::GroupValueIndex index;
  const auto label = [](int v) {
    common::Label l;
    l[0] = static_cast<char>('A' + v % 20);
    l[1] = static_cast<char>('a' + v / 20 % 20);
    l[2] = static_cast<char>('0' + v / 400 % 20);
    l[3] = v % 2 == 0 ? 'y' : 'z';  // outside both groups
    return l;
  };
  const std::vector<std::vector<int>> groups = {{0, 1, 2}, {2, 0}};
  for (int call = 0; call < 70000; ++call) {
    const std::vector<int>& systems = groups[call % 2];
    const int total = call < 4 || call >= 69996 ? 6000 : 3;
    index.start(systems);
    std::map<std::string, int> first_use;
    std::vector<common::Label> expected;
    for (int k = 0; k < total; ++k) {
      const common::Label l = label(k * 7919 % 8000 + call % 5);
      common::Label value;
      std::string letters;
      for (std::size_t j = 0; j < systems.size(); ++j) {
        value[j] = l[systems[j]];
        letters += value[j];
      }
      const auto [at, added] = first_use.try_emplace(letters, static_cast<int>(first_use.size()));
      if (added) {
        expected.push_back(value);
      }
      ASSERT_EQ(index.number_of(l), at->second) << "call " << call << ", label " << k;
    }
    ASSERT_EQ(index.value_count(), static_cast<int>(expected.size()));
    if (total > 3) {
      EXPECT_EQ(index.values(), expected) << "call " << call;
    }
  }
}

TEST(BoundedLogLikelihood, FastLogarithmStaysWellInsideItsError) {
  estimate::EmTables tables;
  std::vector<double> x;
  for (double v = estimate::FAST_LOG_LOWEST; v < 1e300;) {  // every binade, some twice
    x.push_back(v);
    v *= 1.37;
  }
  for (int k = 0; k < 200000; ++k) {  // the likelihoods' own range, finely
    x.push_back(1e-8 + 4.0 * k / 200000.0);
  }
  x.resize((x.size() + 7) / 8 * 8, 1.0);
  std::vector<double> out(8);
  double worst = 0.0;
  for (std::size_t from = 0; from < x.size(); from += 8) {
    if (!estimate::fast_log8(&x[from], out.data(), tables)) {
      GTEST_SKIP() << "this processor has no AVX-512F (or this is no x86-64 build), which the "
                      "packed logarithm needs";
    }
    for (std::size_t l = 0; l < 8; ++l) {
      worst = std::max(worst, std::abs(out[l] - std::log(x[from + l])));
    }
  }
  EXPECT_LT(worst, estimate::FAST_LOG_ERROR / 10.0);
}

TEST(BoundedLogLikelihood, DecisionsAreCertainOnlyBeyondTheBounds) {
  struct Case {
    int t = 2;
    estimate::BoundedLogLikelihood now, before;
    bool certain = false;
    bool decreased = false;
    bool converged = false;
  };
  const double tolerance = EM_TOLERANCE;
  const Case cases[] = {
      {3, {-100.0, 0.0}, {-100.0005, 0.0}, true, false, true},        // exact: as the plain test
      {3, {-100.0, 1e-9}, {-100.5, 1e-9}, true, false, false},        // far from both edges
      {3, {-100.0, 1e-9}, {-100.0 + 1e-4, 1e-9}, true, true, true},   // a sure small decrease
      {3, {-100.0, 1e-9}, {-100.0 + 2e-9, 1e-9}, false, true, true},  // the sign is open
      {3, {-100.0, 1e-9}, {-100.0 - tolerance, 1e-9}, false, false, false},  // at the tolerance
      {2, {-100.0, 1e-9}, {0.0, 0.0}, true, false, false},  // iteration 2 has no sign to decide
  };
  for (const Case& c : cases) {
    const estimate::IterationDecision d = estimate::decide_iteration(c.t, c.now, c.before);
    EXPECT_EQ(d.certain, c.certain) << c.now.value - c.before.value;
    if (d.certain) {
      EXPECT_EQ(d.decreased, c.decreased) << c.now.value - c.before.value;
      EXPECT_EQ(d.converged, c.converged) << c.now.value - c.before.value;
    }
  }
}

namespace {

// Double heterozygotes only: ln L = n ln(2 f(AC) f(BD) + 2 f(AD) f(BC)).
// The uniform start is a symmetric saddle (every haplotype at 1/4, ln
// L = n ln 1/4) that the classic fit cannot leave; the maximum puts the
// individuals in one phase (ln L = n ln 1/2).
Population double_heterozygotes(int n) { return {{{{"AC", "BD"}, {"AD", "BC"}}, n}}; }

estimate::EmInput maximum_likelihood(const Population& population, const common::Grouping& grouping,
                                     int starts, std::uint64_t key) {
  estimate::EmInput input = population.input(grouping);
  input.rules = common::maximum_likelihood_rules(starts).estimation;
  input.start_key = key;
  return input;
}

}  // namespace

TEST(EstimateMaximumLikelihood, LeavesTheSymmetricSaddle) {
  const common::Grouping alt = make_grouping({"AB", "CD"}, {{0, 1}});
  const Population population = double_heterozygotes(10);
  EmWorkspace workspace;
  const EmResult classic = estimate::estimate_alt_model(population.input(alt), workspace);
  EXPECT_NEAR(classic.log_likelihood, 10.0 * std::log(0.25), 1e-4);
  for (const std::uint64_t key : {1ULL, 2ULL, 77ULL}) {
    const EmResult fit =
        estimate::estimate_alt_model(maximum_likelihood(population, alt, 1, key), workspace);
    EXPECT_NEAR(fit.log_likelihood, 10.0 * std::log(0.5), 1e-9) << "key " << key;
    EXPECT_TRUE(fit.converged);
  }
}

// A larger number of starts never ends lower, start i being the same for
// every number of starts; the same key gives the same bits.
TEST(EstimateMaximumLikelihood, MoreStartsNeverEndLower) {
  const common::Grouping alt = make_grouping({"ABC", "DEF"}, {{0, 1}});
  const Population population{{{{"AD", "BE"}, {"AE", "BD"}}, 3},
                              {{{"AE", "CF"}, {"AF", "CE"}}, 2},
                              {{{"BD", "CF"}, {"BF", "CD"}}, 2},
                              {{{"AD", "AD"}}, 1},
                              {{{"CF", "CF"}}, 1}};
  EmWorkspace workspace;
  for (const std::uint64_t key : {3ULL, 4ULL, 5ULL}) {
    double before = -1e300;
    for (int starts = 1; starts <= 6; ++starts) {
      const estimate::EmInput input = maximum_likelihood(population, alt, starts, key);
      const EmResult fit = estimate::estimate_alt_model(input, workspace);
      EXPECT_GE(fit.log_likelihood, before) << "key " << key << ", " << starts << " starts";
      EXPECT_EQ(fit.log_likelihood, estimate::estimate_alt_model(input, workspace).log_likelihood);
      EXPECT_EQ(workspace.faults(), std::vector<std::string>());
      before = fit.log_likelihood;
    }
  }
}
