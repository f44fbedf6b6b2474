#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>
#include <vector>

#include "common/stop.h"
#include "driver/batch_internal.h"

namespace driver {
namespace {

// Permuted data sets built ahead of their analysis, per worker thread. Builds
// run in data set order on the calling thread (the generator's sequence
// depends on it); the estimation of a batch runs on the workers.
constexpr int BATCH_PER_THREAD = 8;

// Takes the messages that the counted style keeps off the console and the log.
class DiscardSink final : public layout::Sink {
 public:
  void write_record(std::string_view /*record*/) override {}
};

// One permuted data set of a batch: its console lines up to the progress
// line, and after the estimation one result per population.
struct PendingDataSet {
  layout::MemorySink console;
  BuiltDataSet built;
  bool analysed = false;
  PermutedAnalysis analysis;
};

// A batch of permuted data sets built one after another: the data sets that
// were built, and, when a build stopped the run, the stop and the failed data
// set's console lines as the last entry.
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
  const bool classic = options.messages == common::MessageStyle::classic;
  DiscardSink discard;
  Batch batch;
  batch.entries.reserve(static_cast<std::size_t>(size));
  while (batch.built_count < size && dataset_number <= options.permutations) {
    PendingDataSet& entry = batch.entries.emplace_back();
    const layout::Sinks build_sinks{classic ? static_cast<layout::Sink&>(entry.console) : discard,
                                    classic ? sinks.log : discard, sinks.report, sinks.help};
    const int tries_before = state.try_count.try_count(dataset_number);
    try {
      batch.too_many_tries = build_data_set(dataset_number, observed, state, build_sinks, sinks.log,
                                            entry.built) == BuildStatus::too_many_tries;
    } catch (...) {
      batch.failure = std::current_exception();
    }
    if (batch.stops_the_run()) {
      break;
    }
    if (classic) {
      write_progress_line(dataset_number, entry.console);
    }
    entry.analysed = true;
    entry.analysis.dataset_number = dataset_number;
    entry.analysis.attempts = state.try_count.try_count(dataset_number) - tries_before;
    ++batch.built_count;
    ++dataset_number;
  }
  return batch;
}

// The alternative model of every population of every built data set of a
// batch. threads - 1 workers start at once; the driver's thread joins them in
// finish(), after it has built the next batch. Each task writes only its own
// result slot.
class BatchEstimation {
 public:
  BatchEstimation(const common::RunInput& observed, Batch& batch, int threads,
                  std::vector<estimate::EmWorkspace>& workspaces)
      : observed_(observed),
        batch_(batch),
        workspaces_(workspaces),
        population_count_(observed.populations.population_count()),
        task_count_(batch.built_count * population_count_) {
    for (int e = 0; e < batch.built_count; ++e) {
      batch.entries[static_cast<std::size_t>(e)].analysis.alt_model.resize(
          static_cast<std::size_t>(population_count_));
    }
    const int worker_count = std::max(std::min(threads, task_count_), 1);
    failures_.resize(static_cast<std::size_t>(worker_count));
    for (int w = 1; w < worker_count; ++w) {
      workers_.emplace_back([this, w] { work(w); });
    }
  }

  // Takes the remaining tasks on the calling thread, waits for the workers
  // and raises a failure of any of them here.
  void finish() {
    work(0);
    workers_.clear();  // joins
    for (const std::exception_ptr& failure : failures_) {
      if (failure) {
        std::rethrow_exception(failure);
      }
    }
  }

 private:
  // Worker w (0: the driver's thread) with its own workspace.
  void work(int w) {
    std::exception_ptr& failure = failures_[static_cast<std::size_t>(w)];
    estimate::EmWorkspace& workspace = workspaces_[static_cast<std::size_t>(w)];
    try {
      for (int task = next_task_++; task < task_count_; task = next_task_++) {
        PendingDataSet& entry = batch_.entries[static_cast<std::size_t>(task / population_count_)];
        const auto pi = static_cast<std::size_t>(task % population_count_);
        entry.analysis.alt_model[pi] = estimate::estimate_alt_model(
            {observed_.alt_grouping, entry.built.pair_labels, entry.built.phenotype_count[pi],
             entry.built.population_size[pi]},
            workspace);
      }
    } catch (...) {
      // Carried to the driver's thread and raised there after the join.
      failure = std::current_exception();
    }
  }

  const common::RunInput& observed_;
  Batch& batch_;
  std::vector<estimate::EmWorkspace>& workspaces_;  // [worker]: kept from batch to batch
  const int population_count_;
  const int task_count_;
  std::atomic<int> next_task_{0};
  std::vector<std::exception_ptr> failures_;
  std::vector<std::jthread> workers_;  // last: joined before the members they use go
};

// Writes a batch's console output in data set order and hands on its analyses.
void finish_batch(const Batch& batch, layout::Sink& console, const PermutedSink& sink) {
  for (const PendingDataSet& entry : batch.entries) {
    for (const std::string& record : entry.console.records()) {
      console.write_record(record);
    }
    if (entry.analysed) {
      sink(entry.analysis);
    }
  }
}

}  // namespace

void write_progress_line(int dataset_number, layout::Sink& console) {
  layout::write(console, "('npermu=',5X,I4)", {dataset_number + 1});
}

void run_permuted_data_sets(const common::RunInput& observed, const common::RunOptions& options,
                            PermutationState& state, const layout::Sinks& sinks,
                            const PermutedSink& sink) {
  const int threads = std::max(options.threads, 1);
  const int batch_size = BATCH_PER_THREAD * threads;
  int dataset_number = 1;
  Batch current = build_batch(dataset_number, batch_size, observed, options, state, sinks);
  // The batch finished last: its data sets are let go while the workers
  // estimate the next one (giving back thousands of shared pair lists takes
  // the driver's thread a while), and before the batch after is built, so
  // that the expansion can reuse their lists.
  Batch done;
  // One workspace per worker, kept across batches so that its tables keep
  // their capacity.
  std::vector<estimate::EmWorkspace> workspaces(static_cast<std::size_t>(threads));
  while (!current.entries.empty()) {
    BatchEstimation estimation(observed, current, threads, workspaces);
    done = Batch{};
    Batch next;
    if (!current.stops_the_run()) {
      next = build_batch(dataset_number, batch_size, observed, options, state, sinks);
    }
    estimation.finish();
    finish_batch(current, sinks.console, sink);
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
