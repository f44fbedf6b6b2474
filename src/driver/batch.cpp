#include <algorithm>
#include <exception>
#include <functional>
#include <utility>
#include <vector>

#include "common/stop.h"
#include "driver/batch_internal.h"
#include "driver/workers_internal.h"

namespace driver {
namespace {

// The last permuted data set the run builds: its block's, or the last.
int last_data_set(const common::RunOptions& options) {
  return options.block ? options.block->last : options.permutations;
}

// Permuted data sets built ahead of their analysis, per worker thread. Builds
// run in data set order on the calling thread (the generator's sequence
// depends on it); the estimation of a batch runs on the workers.
constexpr int BATCH_PER_THREAD = 8;

// One permuted data set of a batch: the console and log lines of its build,
// the abort listing when it needed too many attempts, and after the
// estimation one result per population. The lines are held until the
// batch is finished, because the next batch is built while this one is
// estimated: written at once, a listing would land among the lines of
// earlier data sets, at a place that depends on the thread count.
struct PendingDataSet {
  layout::MemorySink console;
  layout::MemorySink log;
  layout::MemorySink listing;
  BuiltDataSet built;
  bool analysed = false;
  PermutedAnalysis analysis;
};

// A batch of permuted data sets built one after another: the data sets that
// were built, and, when a build stopped the run, the stop and the failed data
// set's lines as the last entry.
struct Batch {
  std::vector<PendingDataSet> entries;
  int built_count = 0;
  std::exception_ptr failure;
  bool too_many_tries = false;

  [[nodiscard]] bool stops_the_run() const { return failure || too_many_tries; }
};

// Builds up to size data sets from dataset_number on, in order. A stop raised
// by a build is kept in the batch, to be raised once the earlier data sets'
// output is complete.
Batch build_batch(int& dataset_number, int size, const common::RunInput& observed,
                  const common::RunOptions& options, PermutationState& state,
                  const layout::Sinks& sinks) {
  Batch batch;
  batch.entries.reserve(static_cast<std::size_t>(size));
  while (batch.built_count < size && dataset_number <= last_data_set(options)) {
    PendingDataSet& entry = batch.entries.emplace_back();
    entry.analysis.dataset_number = dataset_number;
    const layout::Sinks build_sinks{entry.console, entry.log, sinks.report, sinks.help};
    const int tries_before = state.try_count.try_count(dataset_number);
    try {
      batch.too_many_tries =
          build_data_set(dataset_number, observed, state, build_sinks, entry.listing,
                         entry.built) == BuildStatus::too_many_tries;
    } catch (...) {
      batch.failure = std::current_exception();
    }
    if (batch.stops_the_run()) {
      break;
    }
    entry.analysed = true;
    entry.analysis.attempts = state.try_count.try_count(dataset_number) - tries_before;
    ++batch.built_count;
    ++dataset_number;
  }
  return batch;
}

// The alternative model of every population of every built data set of a
// batch, as tasks of the workers; each task writes only its own result slot.
void start_estimation(const common::RunInput& observed, const common::RunOptions& options,
                      const StartKeys& keys, Batch& batch, Workers& workers) {
  const int population_count = observed.populations.population_count();
  for (int e = 0; e < batch.built_count; ++e) {
    batch.entries[static_cast<std::size_t>(e)].analysis.alt_model.resize(
        static_cast<std::size_t>(population_count));
  }
  workers.start(
      [&observed, &options, &keys, &batch, population_count](estimate::EmWorkspace& workspace,
                                                             int task) {
        PendingDataSet& entry = batch.entries[static_cast<std::size_t>(task / population_count)];
        const auto pi = static_cast<std::size_t>(task % population_count);
        if (keys.estimated[pi] == 0) {
          return;
        }
        entry.analysis.alt_model[pi] = estimate::estimate_alt_model(
            {observed.alt_grouping, entry.built.pair_labels, entry.built.phenotype_count[pi],
             entry.built.population_size[pi], common::EM_MAX_ITERATIONS, false,
             options.rules.estimation,
             keys.of(static_cast<int>(pi), entry.analysis.dataset_number, Model::alternative)},
            workspace);
      },
      batch.built_count * population_count);
}

// Hands a batch's build lines to the observer and its analyses to sink,
// in data set order (a data set's fits follow its build), until sink wants
// no more; returns whether it still wants more.
bool finish_batch(const Batch& batch, const RunOutlet& outlet, const PermutedSink& sink) {
  for (const PendingDataSet& entry : batch.entries) {
    const int dataset_number = entry.analysis.dataset_number;
    outlet.observer.build_messages(dataset_number, entry.console, entry.log);
    entry.listing.write_to(outlet.sinks.log);
    if (entry.analysed) {
      outlet.observer.data_set_built(dataset_number);
      if (!sink(entry.analysis)) {
        return false;
      }
    }
  }
  return true;
}

// Data sets per batch: BATCH_PER_THREAD per thread, fewer where two
// batches of data sets the size of the observed one (one estimated while the
// next is built), the observed one and an estimation per thread would not
// fit the budget; at least one. Sets how many data sets may be in flight.
int batch_size_within_budget(PermutationState& state, int threads) {
  std::int64_t size = std::int64_t{BATCH_PER_THREAD} * threads;
  const DataSetNeed& need = state.observed_need;
  if (state.memory_budget > 0 && need.lists > 0) {
    const std::int64_t room = state.memory_budget - need.estimation * threads - need.lists;
    size = std::clamp<std::int64_t>(room / (2 * need.lists), 1, size);
  }
  state.in_flight = 2 * static_cast<int>(size) + 1;
  state.threads = threads;
  return static_cast<int>(size);
}

}  // namespace

void run_permuted_data_sets(const common::RunInput& observed, const common::RunOptions& options,
                            const StartKeys& keys, PermutationState& state, const RunOutlet& outlet,
                            const PermutedSink& sink) {
  const layout::Sinks& sinks = outlet.sinks;
  const int threads = std::max(options.threads, 1);
  const int batch_size = batch_size_within_budget(state, threads);
  // The first batches are smaller, so that the workers start early: one data
  // set per thread, then twice as many each time (building a data set takes
  // about a third of what estimating it does).
  int next_size = threads;
  int dataset_number = options.block ? options.block->first : 1;
  Batch current = build_batch(dataset_number, next_size, observed, options, state, sinks);
  // The batch finished last: its data sets are let go while the workers
  // estimate the next one (giving back thousands of shared pair lists takes
  // the driver's thread a while), and before the batch after is built, so
  // that the expansion can reuse their lists.
  Batch done;
  Workers workers(threads);
  while (!current.entries.empty()) {
    start_estimation(observed, options, keys, current, workers);
    done = Batch{};
    Batch next;
    if (!current.stops_the_run()) {
      next_size = std::min(2 * next_size, batch_size);
      next = build_batch(dataset_number, next_size, observed, options, state, sinks);
    }
    if (dataset_number > last_data_set(options) || next.stops_the_run()) {
      // Nothing more is built: the lists kept for later data sets are let go
      // while the workers estimate (those of the batches in hand stay).
      state.expansions = expand::ExpansionCache{};
    }
    workers.finish();
    if (!finish_batch(current, outlet, sink)) {
      // Every test has stopped: what was built ahead, and any stop its
      // builds raised, belongs to no test.
      return;
    }
    if (current.failure) {
      std::rethrow_exception(current.failure);
    }
    if (current.too_many_tries) {
      throw common::Stop{common::StopCode::too_many_tries,
                         permute::too_many_tries_explanation(dataset_number)};
    }
    done = std::move(current);
    current = std::move(next);
  }
}

}  // namespace driver
