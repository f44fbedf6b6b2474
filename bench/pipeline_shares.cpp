// Where a run's time goes: the permuted data sets of a genotype table built,
// expanded and estimated one after another on one thread, each stage timed
// on its own. Usage: pipeline_shares TABLE.csv [PERMUTATIONS]
//
// The expansion is timed by expanding every data set a second time, with a
// cache of its own that meets the same phenotypes as the run's; the build's
// time (donors, coding, expansion) less that gives donors and coding.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "common/run.h"
#include "driver/driver.h"
#include "estimate/estimate.h"
#include "expand/expand.h"
#include "layout/layout.h"
#include "support.h"
#include "table/table.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_between(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

struct StageTimes {
  double build = 0.0;  // donors, coding and expansion
  double expansion = 0.0;
  double em = 0.0;
};

void print_shares(int permutations, const std::string& path, const StageTimes& t,
                  std::int64_t pair_iterations) {
  const double total = t.build + t.em;
  const double coding_time = t.build - t.expansion;
  std::printf("%d permuted data sets of %s, one thread, stage by stage\n", permutations,
              path.c_str());
  std::printf("  donors and coding  %8.3f s  %5.1f %%\n", coding_time, 100.0 * coding_time / total);
  std::printf("  expansion          %8.3f s  %5.1f %%\n", t.expansion, 100.0 * t.expansion / total);
  std::printf("  EM (alternative)   %8.3f s  %5.1f %%\n", t.em, 100.0 * t.em / total);
  std::printf("  pair-iterations    %lld, %.2f ns each\n", static_cast<long long>(pair_iterations),
              1e9 * t.em / static_cast<double>(pair_iterations));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: pipeline_shares TABLE.csv [PERMUTATIONS]\n";
    return 2;
  }
  const std::string path = argv[1];
  const int permutations = argc > 2 ? std::atoi(argv[2]) : 1000;
  const std::optional<genotypes::TestInput> made = bench_support::read_table_input(path);
  if (!made || permutations < 1) {
    std::cerr << "pipeline_shares: cannot read " << path << " or bad permutation count\n";
    return 2;
  }
  const common::RunInput& input = made->input;

  layout::DiscardSink discard;
  const layout::Sinks sinks{discard, discard, discard, nullptr};
  driver::DataSetBuilder builder(input, permutations, 1);
  driver::BuiltDataSet built;
  (void)builder.build(0, sinks, built);

  expand::ExpansionCache shadow;
  common::PairLists again;
  estimate::EmWorkspace workspace;
  double build_time = 0.0;
  double expansion_time = 0.0;
  double em_time = 0.0;
  std::int64_t pair_iterations = 0;
  for (int n = 1; n <= permutations; ++n) {
    const Clock::time_point start = Clock::now();
    if (!builder.build(n, sinks, built)) {
      std::cerr << "pipeline_shares: data set " << n << " needed too many attempts\n";
      return 1;
    }
    const Clock::time_point built_at = Clock::now();
    // The classic rules: every population completes over the whole table's alleles.
    (void)expand::expand_phenotypes(n, input.systems, input.populations,
                                    builder.distinct_phenotypes(), common::PopulationAlleles{},
                                    shadow, sinks, again);
    const Clock::time_point expanded_at = Clock::now();
    for (int p = 0; p < input.populations.population_count(); ++p) {
      const auto pi = static_cast<std::size_t>(p);
      const estimate::EmResult result =
          estimate::estimate_alt_model({input.alt_grouping, built.pair_labels,
                                        built.phenotype_count[pi], built.population_size[pi]},
                                       workspace);
      pair_iterations +=
          bench_support::estimation_size(built, pi).pairs * (result.last_iteration - 1);
    }
    const Clock::time_point estimated_at = Clock::now();
    build_time += seconds_between(start, built_at);
    expansion_time += seconds_between(built_at, expanded_at);
    em_time += seconds_between(expanded_at, estimated_at);
  }
  print_shares(permutations, path, {build_time, expansion_time, em_time}, pair_iterations);
  return 0;
}
