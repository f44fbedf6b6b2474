#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/tables.h"
#include "estimate/estimate.h"

// One EM call for a population of 100 individuals typed at 4 systems of 5
// alleles each (random genotypes, mostly heterozygous): the alternative
// grouping is one group of all 4 systems (625 values), the null grouping
// one group per system.

namespace {

constexpr int SYSTEMS = 4;
constexpr int ALLELES = 5;
constexpr int INDIVIDUALS = 100;

common::Grouping make_grouping(const std::vector<std::vector<int>>& groups) {
  common::Grouping grouping;
  for (const std::vector<int>& systems : groups) {
    std::vector<std::string> values{""};
    for (const int s : systems) {
      std::vector<std::string> longer;
      for (const std::string& value : values) {
        for (int a = 0; a < ALLELES; ++a) {
          longer.push_back(value + static_cast<char>('A' + s * ALLELES + a));
        }
      }
      values = longer;
    }
    grouping.group_systems.push_back(systems);
    grouping.group_value_total.push_back(static_cast<double>(values.size()));
  }
  return grouping;
}

// Every phase of a genotype: the letters of each heterozygous system but the
// first may be exchanged between the two haplotypes.
std::shared_ptr<const common::PairList> expand(const std::string& first,
                                               const std::string& second) {
  std::vector<int> exchangeable;
  for (int s = 0; s < SYSTEMS; ++s) {
    if (first[s] != second[s]) {
      exchangeable.push_back(s);
    }
  }
  if (!exchangeable.empty()) {
    exchangeable.erase(exchangeable.begin());
  }
  auto list = std::make_shared<common::PairList>();
  for (unsigned mask = 0; mask < (1U << exchangeable.size()); ++mask) {
    std::string one = first;
    std::string two = second;
    for (std::size_t bit = 0; bit < exchangeable.size(); ++bit) {
      if ((mask >> bit & 1U) != 0) {
        std::swap(one[exchangeable[bit]], two[exchangeable[bit]]);
      }
    }
    list->first.emplace_back(one);
    list->second.emplace_back(two);
  }
  return list;
}

struct Data {
  common::PairLists pair_labels;
  std::vector<int> phenotype_count;
};

Data random_population() {
  std::uint64_t state = 12345;
  auto draw = [&state]() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<int>((state >> 33) % ALLELES);
  };
  std::map<std::pair<std::string, std::string>, int> distinct;
  Data data;
  for (int n = 0; n < INDIVIDUALS; ++n) {
    std::string first;
    std::string second;
    for (int s = 0; s < SYSTEMS; ++s) {
      first += static_cast<char>('A' + s * ALLELES + draw());
      second += static_cast<char>('A' + s * ALLELES + draw());
    }
    const auto [at, is_new] = distinct.try_emplace({first, second}, data.pair_labels.size());
    if (is_new) {
      data.pair_labels.push_back(expand(first, second));
      data.phenotype_count.push_back(0);
    }
    ++data.phenotype_count[at->second];
  }
  return data;
}

template <bool Null>
void bench_estimate(benchmark::State& state) {
  const Data data = random_population();
  const common::Grouping grouping =
      Null ? make_grouping({{0}, {1}, {2}, {3}}) : make_grouping({{0, 1, 2, 3}});
  const estimate::EmInput input{grouping, data.pair_labels, data.phenotype_count, INDIVIDUALS};
  estimate::EmWorkspace workspace;
  int iterations = 0;
  for (auto _ : state) {
    const estimate::EmResult result = Null ? estimate::estimate_null_model(input, workspace)
                                           : estimate::estimate_alt_model(input, workspace);
    benchmark::DoNotOptimize(result.log_likelihood);
    iterations = result.last_iteration;
  }
  int pairs = 0;
  for (const auto& list : data.pair_labels) {
    pairs += list->pair_total();
  }
  state.counters["em_iterations"] = iterations;
  state.counters["phenotypes"] = static_cast<double>(data.pair_labels.size());
  state.counters["pairs"] = pairs;
}

BENCHMARK(bench_estimate<false>)->Name("EstimateAltModel")->Unit(benchmark::kMicrosecond);
BENCHMARK(bench_estimate<true>)->Name("EstimateNullModel")->Unit(benchmark::kMicrosecond);

}  // namespace
