// The alternative-model EM of a run's permuted data sets, replayed: the data
// sets are built once, then every population of every one is estimated again
// and again; the best pass is reported with a checksum of the log-likelihoods
// and iteration counts, which must not change when the EM is made faster.
// Usage: em_replay TABLE.csv [DATA SETS] [PASSES] [one-by-one]
// (one-by-one: without packed arithmetic; the checksum must be the same)

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "common/run.h"
#include "driver/driver.h"
#include "estimate/estimate.h"
#include "layout/layout.h"
#include "support.h"
#include "table/table.h"

namespace {

using Clock = std::chrono::steady_clock;

// The work of one pass over the data sets.
struct Work {
  std::int64_t iterations = 0;
  std::int64_t pair_iterations = 0;
  std::int64_t phenotype_iterations = 0;
};

// Estimates every population of data sets 1 to the last once; returns the
// checksum of the results and adds their work to work.
std::uint64_t replay(const common::RunInput& input, const std::vector<driver::BuiltDataSet>& built,
                     estimate::EmWorkspace& workspace, Work& work) {
  std::uint64_t sum = 0;
  for (std::size_t n = 1; n < built.size(); ++n) {
    for (int p = 0; p < input.populations.population_count(); ++p) {
      const auto pi = static_cast<std::size_t>(p);
      const estimate::EmResult result =
          estimate::estimate_alt_model({input.alt_grouping, built[n].pair_labels,
                                        built[n].phenotype_count[pi], built[n].population_size[pi]},
                                       workspace);
      std::uint64_t bits = 0;
      std::memcpy(&bits, &result.log_likelihood, sizeof bits);
      sum = sum * 1000003 + bits + static_cast<std::uint64_t>(result.last_iteration);
      const bench_support::EstimationSize size = bench_support::estimation_size(built[n], pi);
      work.iterations += result.last_iteration - 1;
      work.pair_iterations += size.pairs * (result.last_iteration - 1);
      work.phenotype_iterations += size.phenotypes * (result.last_iteration - 1);
    }
  }
  return sum;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: em_replay TABLE.csv [DATA SETS] [PASSES]\n";
    return 2;
  }
  const std::string path = argv[1];
  const int data_sets = argc > 2 ? std::atoi(argv[2]) : 200;
  const int passes = argc > 3 ? std::atoi(argv[3]) : 5;
  const std::optional<genotypes::TestInput> made = bench_support::read_table_input(path);
  if (!made || data_sets < 1 || passes < 1) {
    std::cerr << "em_replay: cannot read " << path << " or bad counts\n";
    return 2;
  }
  const common::RunInput& input = made->input;

  layout::DiscardSink discard;
  const layout::Sinks sinks{discard, discard, discard, nullptr};
  driver::DataSetBuilder builder(input, data_sets, 1);
  std::vector<driver::BuiltDataSet> built(static_cast<std::size_t>(data_sets) + 1);
  for (int n = 0; n <= data_sets; ++n) {
    if (!builder.build(n, sinks, built[static_cast<std::size_t>(n)])) {
      std::cerr << "em_replay: data set " << n << " needed too many attempts\n";
      return 1;
    }
  }
  estimate::EmWorkspace workspace(argc <= 4);
  double best = 1e300;
  std::uint64_t checksum = 0;
  Work work;
  for (int pass = 0; pass < passes; ++pass) {
    Work this_pass;
    const Clock::time_point start = Clock::now();
    checksum = replay(input, built, workspace, this_pass);
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    work = this_pass;
  }
  std::printf("%s: %d data sets, best of %d passes %.4f s, checksum %016llx\n", path.c_str(),
              data_sets, passes, best, static_cast<unsigned long long>(checksum));
  std::printf(
      "  %lld EM iterations, %.2f ns per phenotype-iteration, %.2f ns per pair-iteration, "
      "%.2f pairs per phenotype\n",
      static_cast<long long>(work.iterations),
      1e9 * best / static_cast<double>(work.phenotype_iterations),
      1e9 * best / static_cast<double>(work.pair_iterations),
      static_cast<double>(work.pair_iterations) / static_cast<double>(work.phenotype_iterations));
  return 0;
}
