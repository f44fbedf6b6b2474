#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "estimate/estimate.h"
#include "estimate_test.h"

// The estimation checked bit for bit against the plain algorithm: every
// phenotype and every value in every loop, group values found by searching
// the value list, repeated pairs found by comparing with every earlier slot.

namespace {

using estimate::EmResult;
using estimate_test::make_grouping;
using estimate_test::Population;

constexpr double LOG_FLOOR_ALT = 9.999999974752427E-7;
constexpr double LOG_FLOOR_NULL = 9.99999993922529E-9;

using Table = std::vector<std::vector<double>>;              // [g][k]
using Indices = std::vector<std::vector<std::vector<int>>>;  // [g][d][p]

// value_index[g][d][p] of side 1 (first) or side 2 of every pair.
Indices plain_indices(const common::Grouping& grouping, const common::PairLists& pairs,
                      bool first) {
  Indices indices(static_cast<std::size_t>(grouping.group_total));
  for (int g = 0; g < grouping.group_total; ++g) {
    for (const auto& list : pairs) {
      indices[g].emplace_back();
      for (const common::Label& label : first ? list->first : list->second) {
        common::Label value;
        for (int j = 0; j < grouping.group_size[g]; ++j) {
          value[j] = label[grouping.group_systems[g][j]];
        }
        int k = 0;
        while (grouping.group_values[g][k] != value) {
          ++k;
        }
        indices[g].back().push_back(k);
      }
    }
  }
  return indices;
}

void plain_expect(const Population& population, const Indices& first, const Indices& second, int g,
                  const Table& frequency, std::vector<double>& expected) {
  for (int d = 0; d < static_cast<int>(population.pair_labels.size()); ++d) {
    const double w = population.phenotype_count[d];
    std::vector<double> mass(expected.size(), 0.0);
    double total = 0.0;
    for (int p = 0; p < static_cast<int>(first[g][d].size()); ++p) {
      const int a = first[g][d][p];
      const int b = second[g][d][p];
      bool repeated = false;
      for (int q = 0; q < p; ++q) {
        repeated = repeated || (first[g][d][q] == a && second[g][d][q] == b);
      }
      if (!repeated) {
        double m = frequency[g][a] * frequency[g][b];
        m = a != b ? m * 2.0 : m;
        mass[a] += w * m;
        mass[b] += w * m;
        total += m;
      }
    }
    if ((total < 0.0 ? -total : total) >= 9.999999974752427E-7) {
      for (std::size_t k = 0; k < expected.size(); ++k) {
        expected[k] += mass[k] / total;
      }
    }
  }
}

double plain_log_likelihood(const Population& population, const Indices& first,
                            const Indices& second, const Table& frequency, double log_floor) {
  double sum = 0.0;
  for (int d = 0; d < static_cast<int>(population.pair_labels.size()); ++d) {
    const common::PairList& list = *population.pair_labels[d];
    double likelihood = 0.0;
    for (int p = 0; p < list.pair_total(); ++p) {
      double one = 1.0;
      double two = 1.0;
      for (int g = 0; g < static_cast<int>(frequency.size()); ++g) {
        one *= frequency[g][first[g][d][p]];
        two *= frequency[g][second[g][d][p]];
      }
      likelihood += list.first[p] != list.second[p] ? one * two * 2.0 : one * two;
    }
    sum += population.phenotype_count[d] * std::log(likelihood + log_floor);
  }
  return sum;
}

EmResult plain_em(const Population& population, const common::Grouping& grouping, double log_floor,
                  int max_iterations) {
  const Indices first = plain_indices(grouping, population.pair_labels, true);
  const Indices second = plain_indices(grouping, population.pair_labels, false);
  const double gene_total = 2 * population.size();
  Table frequency;
  for (int g = 0; g < grouping.group_total; ++g) {
    frequency.emplace_back(grouping.group_value_total[g], 1.0 / grouping.group_value_total[g]);
  }
  EmResult result;
  double previous = 0.0;
  for (int t = 2; t <= max_iterations; ++t) {
    result.last_iteration = t;
    Table next = frequency;
    for (int g = 0; g < grouping.group_total; ++g) {
      std::vector<double> expected(next[g].size(), 0.0);
      plain_expect(population, first, second, g, frequency, expected);
      for (std::size_t k = 0; k < expected.size(); ++k) {
        next[g][k] = expected[k] / gene_total;
      }
    }
    frequency = next;
    result.log_likelihood = plain_log_likelihood(population, first, second, frequency, log_floor);
    const double change = result.log_likelihood - previous;
    result.not_increased_count += t > 2 && result.log_likelihood < previous ? 1 : 0;
    if ((change < 0.0 ? -change : change) < 0.0010000000474974513) {
      result.converged = true;
      break;
    }
    previous = result.log_likelihood;
  }
  result.value_frequency = frequency;
  return result;
}

void expect_same_run(const EmResult& fast, const EmResult& plain) {
  EXPECT_EQ(fast.log_likelihood, plain.log_likelihood);
  EXPECT_EQ(fast.last_iteration, plain.last_iteration);
  EXPECT_EQ(fast.not_increased_count, plain.not_increased_count);
  EXPECT_EQ(fast.converged, plain.converged);
}

void expect_same_fit(const EmResult& fast, const EmResult& plain) {
  expect_same_run(fast, plain);
  EXPECT_EQ(fast.value_frequency, plain.value_frequency);
}

// Both models on one population, compared with the plain algorithm.
void expect_plain_results(const Population& population, const common::Grouping& grouping,
                          int max_iterations, estimate::EmWorkspace& workspace) {
  const estimate::EmInput input = population.input(grouping, max_iterations);
  const EmResult alt = estimate::estimate_alt_model(input, workspace);
  expect_same_run(alt, plain_em(population, grouping, LOG_FLOOR_ALT, max_iterations));
  expect_same_fit(estimate::estimate_null_model(input, workspace),
                  plain_em(population, grouping, LOG_FLOOR_NULL, max_iterations));
}

// A small fixed-sequence generator, so every run tests the same cases.
class Draw {
 public:
  explicit Draw(std::uint64_t seed) : state_(seed) {}
  int below(int n) {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<int>((state_ >> 33) % static_cast<std::uint64_t>(n));
  }

 private:
  std::uint64_t state_;
};

struct Case {
  common::Grouping grouping;
  Population population;
  std::vector<std::string> letters;
};

std::string random_label(const std::vector<std::string>& letters, Draw& draw) {
  std::string label;
  for (const std::string& system : letters) {
    label += system[draw.below(static_cast<int>(system.size()))];
  }
  return label;
}

// Up to 4 systems of 1 to 3 alleles; groups that may leave systems out and
// list theirs in any order; value lists in a shuffled order; pair lists with
// repeated and reversed pairs; some phenotypes of weight 0.
Case random_case(Draw& draw) {
  Case c;
  const int systems = 1 + draw.below(4);
  for (int s = 0; s < systems; ++s) {
    const std::string alphabet = "ABCDEFGHIJKL";
    c.letters.push_back(alphabet.substr(static_cast<std::size_t>(s) * 3, 1 + draw.below(3)));
  }
  // A system drawn past the last group is left out of the grouping.
  std::vector<std::vector<int>> groups(static_cast<std::size_t>(1 + draw.below(systems)));
  for (int s = 0; s < systems; ++s) {
    const int g = draw.below(static_cast<int>(groups.size()) + 1);
    if (g < static_cast<int>(groups.size())) {
      groups[g].push_back(s);
    }
  }
  std::erase_if(groups, [](const std::vector<int>& group) { return group.empty(); });
  if (groups.empty()) {
    groups.push_back({systems - 1});
  }
  for (auto& group : groups) {
    std::swap(group[draw.below(static_cast<int>(group.size()))], group.back());
  }
  c.grouping = make_grouping(c.letters, groups);
  for (auto& values : c.grouping.group_values) {
    for (int k = static_cast<int>(values.size()) - 1; k > 0; --k) {
      std::swap(values[k], values[draw.below(k + 1)]);
    }
  }
  const int phenotypes = 1 + draw.below(6);
  for (int d = 0; d < phenotypes; ++d) {
    std::vector<std::pair<std::string, std::string>> pairs;
    const int pair_total = 1 + draw.below(5);
    for (int p = 0; p < pair_total; ++p) {
      const int kind = p > 0 ? draw.below(4) : 3;
      std::pair<std::string, std::string> pair{random_label(c.letters, draw),
                                               random_label(c.letters, draw)};
      if (kind < 2) {
        pair = pairs[draw.below(p)];
        if (kind == 1) {
          std::swap(pair.first, pair.second);
        }
      }
      pairs.push_back(pair);
    }
    // Large weights let rare values fall under the pair mass floor.
    c.population.add(pairs, draw.below(8) == 0 ? 1000 * draw.below(4) : draw.below(4));
  }
  if (c.population.size() == 0) {
    c.population.phenotype_count[0] = 1;
  }
  return c;
}

TEST(EstimateReference, RandomSmallCasesMatchPlainAlgorithm) {
  Draw draw(20240611);
  // One workspace for all cases: tables left by a larger case must not leak.
  estimate::EmWorkspace workspace;
  for (int n = 0; n < 400; ++n) {
    const Case c = random_case(draw);
    SCOPED_TRACE("case " + std::to_string(n));
    expect_plain_results(c.population, c.grouping, n % 5 == 0 ? 2 + draw.below(5) : 200, workspace);
  }
}

TEST(EstimateReference, SlowFallingAndFlooredCasesMatchPlainAlgorithm) {
  const common::Grouping grouping = make_grouping({"AB"}, {{0}});
  estimate::EmWorkspace workspace;
  Population slow;
  slow.add({{"A", "A"}, {"A", "B"}}, 100000);
  expect_plain_results(slow, grouping, 200, workspace);
  Population falling;
  falling.add({{"A", "A"}, {"A", "B"}, {"A", "B"}}, 1);
  expect_plain_results(falling, grouping, 200, workspace);
  // From iteration 3 on, the pair mass of the single AC/BD individual is
  // 2 x (1/4002)^2, under the floor: it no longer counts and AC, BD drop to 0.
  Population rare;
  rare.add({{"AC", "BD"}}, 1);
  rare.add({{"AD", "AD"}}, 2000);
  expect_plain_results(rare, make_grouping({"AB", "CD"}, {{0, 1}}), 200, workspace);
}

// The case's phenotypes, each after a phenotype of weight 0 (with values
// the population may not carry otherwise).
Population with_zero_weights(const Case& c, Draw& draw) {
  Population padded;
  for (std::size_t d = 0; d < c.population.pair_labels.size(); ++d) {
    padded.add({{random_label(c.letters, draw), random_label(c.letters, draw)}}, 0);
    padded.pair_labels.push_back(c.population.pair_labels[d]);
    padded.phenotype_count.push_back(c.population.phenotype_count[d]);
  }
  return padded;
}

TEST(EstimateWeights, ZeroWeightPhenotypesChangeNothing) {
  Draw draw(77);
  estimate::EmWorkspace workspace;
  for (int n = 0; n < 100; ++n) {
    const Case c = random_case(draw);
    const Population padded = with_zero_weights(c, draw);
    // The plain algorithm itself, and the estimation that leaves them out.
    for (const double floor : {LOG_FLOOR_ALT, LOG_FLOOR_NULL}) {
      expect_same_fit(plain_em(c.population, c.grouping, floor, 200),
                      plain_em(padded, c.grouping, floor, 200));
    }
    const EmResult fast = estimate::estimate_null_model(c.population.input(c.grouping), workspace);
    expect_same_fit(fast, estimate::estimate_null_model(padded.input(c.grouping), workspace));
  }
}

}  // namespace
