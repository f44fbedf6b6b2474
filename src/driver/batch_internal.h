#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "common/run.h"
#include "driver/build_internal.h"
#include "estimate/estimate.h"
#include "layout/layout.h"

// The permuted data sets of a run, in batches: while the workers estimate
// one batch, the driver's thread builds the next.

namespace driver {

// Which model an estimation fits: part of its start key.
enum class Model { null = 0, alternative = 1 };

// The start keys of a run's maximum-likelihood estimations: one per
// (population, data set, model), derived from the seed, the test (its
// groupings by locus name) and the population's name, so that a start does
// not depend on the thread, the order of the work or the other tests of the
// run.
class StartKeys {
 public:
  StartKeys(const common::RunInput& input, std::int32_t seed);
  [[nodiscard]] std::uint64_t of(int population, int dataset_number, Model model) const;

  // [population]: 0 where nothing (more) is estimated: the test has no
  // information, or the sequential rule has stopped it. The driver's thread
  // sets an entry to 0 between batches, while no estimation runs.
  std::vector<char> estimated;

 private:
  std::vector<std::uint64_t> population_key_;  // [population]
};

// What the analysis of one permuted data set leaves: its statistic per
// population and its EM results for the warnings.
struct PermutedAnalysis {
  int dataset_number = 0;
  int attempts = 1;                           // attempts its build needed
  std::vector<estimate::EmResult> alt_model;  // [population]
};

// Called for every permuted data set in data set order, once its console
// output (progress line, build messages) has been written; returns whether
// the run wants more data sets (false: every test has stopped under the
// sequential rule).
using PermutedSink = std::function<bool(const PermutedAnalysis&)>;

// Builds and analyses permuted data sets 1 to permutation_count in data set
// order on `threads` threads. A stop raised while a data set is built is
// raised only after every earlier data set has been handed to `sink`, so
// the console and the log read as if the data sets ran one by one, on any
// number of threads; a data set that needs too many attempts writes the
// abort listing after the log lines of the data sets before it and stops
// with 7070. Once `sink` wants no more data sets, nothing after that data
// set reaches the observer or `sink` and no later stop is raised, though
// data sets built ahead (their number depends on the threads) were built.
// The lines of each data set's build go to the observer, which is told of
// the data set before `sink` gets it; the abort listing goes to sinks.log.
struct RunOutlet {
  const layout::Sinks& sinks;
  RunObserver& observer;
};
void run_permuted_data_sets(const common::RunInput& observed, const common::RunOptions& options,
                            const StartKeys& keys, PermutationState& state, const RunOutlet& outlet,
                            const PermutedSink& sink);

}  // namespace driver
