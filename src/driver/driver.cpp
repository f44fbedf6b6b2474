#include "driver/driver.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>
#include <vector>

#include "common/limits.h"
#include "common/stop.h"
#include "driver/build_internal.h"
#include "driver/summary_internal.h"
#include "estimate/estimate.h"
#include "input/input.h"

namespace driver {
namespace {

// Permuted data sets built ahead of their analysis, per worker thread. Builds
// run in data set order on the calling thread (the generator's sequence
// depends on it); the estimation of a batch runs on the workers.
constexpr int BATCH_PER_THREAD = 8;

// The driver's tables of the whole run.
struct RunTables {
  std::vector<double> population_null_log_likelihood;   // [population]
  std::vector<std::int64_t> degrees_of_freedom;         // [population]
  std::vector<double> observed_statistic;               // [population]
  std::vector<std::vector<double>> permuted_statistic;  // [population][data set - 1]
};

void write_progress_line(int dataset_number, layout::Sink& console) {
  layout::write(console, "('npermu=',5X,I4)", {dataset_number + 1});
}

double likelihood_ratio_statistic(double null_log_likelihood, double alt_log_likelihood) {
  return -2.0 * (null_log_likelihood - alt_log_likelihood);
}

// Data set 0: the null model and the degrees of freedom of every population,
// then the alternative model and the observed statistic.
void analyse_observed(const ObservedData& observed, const BuiltDataSet& built,
                      layout::Sink& console, RunTables& tables) {
  const int population_count = observed.populations.population_count;
  tables.population_null_log_likelihood.assign(static_cast<std::size_t>(population_count), 0.0);
  tables.degrees_of_freedom.assign(static_cast<std::size_t>(population_count), 0);
  tables.observed_statistic.assign(static_cast<std::size_t>(population_count), 0.0);
  tables.permuted_statistic.assign(static_cast<std::size_t>(population_count), {});
  estimate::EmWorkspace workspace;
  for (int p = 0; p < population_count; ++p) {
    const auto pi = static_cast<std::size_t>(p);
    const int population_size = built.population_size[pi];
    const estimate::EmResult null_model = estimate::estimate_null_model(
        {observed.null_grouping, built.pair_labels, built.phenotype_count[pi], population_size},
        workspace);
    estimate::write_em_messages(null_model, console);
    tables.population_null_log_likelihood[pi] = null_model.log_likelihood;
    tables.degrees_of_freedom[pi] =
        degrees_of_freedom(observed.null_grouping, observed.alt_grouping,
                           null_model.value_frequency, population_size);
    const estimate::EmResult alt_model = estimate::estimate_alt_model(
        {observed.alt_grouping, built.pair_labels, built.phenotype_count[pi], population_size},
        workspace);
    estimate::write_em_messages(alt_model, console);
    tables.observed_statistic[pi] =
        likelihood_ratio_statistic(null_model.log_likelihood, alt_model.log_likelihood);
  }
}

// One permuted data set of a batch: its console lines up to the progress
// line, and after the estimation one result per population.
struct PendingDataSet {
  layout::MemorySink console;
  BuiltDataSet built;
  bool analysed = false;
  std::vector<estimate::EmResult> alt_model;  // [population]
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
Batch build_batch(int& dataset_number, int size, const ObservedData& observed,
                  PermutationState& state, const layout::Sinks& sinks) {
  Batch batch;
  batch.entries.reserve(static_cast<std::size_t>(size));
  while (batch.built_count < size && dataset_number <= common::PERMUTATION_COUNT) {
    PendingDataSet& entry = batch.entries.emplace_back();
    const layout::Sinks build_sinks{entry.console, sinks.log, sinks.report, sinks.help};
    try {
      batch.too_many_tries = build_data_set(dataset_number, observed, state, build_sinks,
                                            entry.built) == BuildStatus::too_many_tries;
    } catch (...) {
      batch.failure = std::current_exception();
    }
    if (batch.stops_the_run()) {
      break;
    }
    write_progress_line(dataset_number, entry.console);
    entry.analysed = true;
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
  BatchEstimation(const ObservedData& observed, Batch& batch, int threads)
      : observed_(observed),
        batch_(batch),
        population_count_(observed.populations.population_count),
        task_count_(batch.built_count * population_count_) {
    for (int e = 0; e < batch.built_count; ++e) {
      batch.entries[static_cast<std::size_t>(e)].alt_model.resize(
          static_cast<std::size_t>(population_count_));
    }
    const int worker_count = std::max(std::min(threads, task_count_), 1);
    failures_.resize(static_cast<std::size_t>(worker_count));
    for (int w = 1; w < worker_count; ++w) {
      workers_.emplace_back([this, w] { work(failures_[static_cast<std::size_t>(w)]); });
    }
  }

  // Takes the remaining tasks on the calling thread, waits for the workers
  // and raises a failure of any of them here.
  void finish() {
    work(failures_[0]);
    workers_.clear();  // joins
    for (const std::exception_ptr& failure : failures_) {
      if (failure) {
        std::rethrow_exception(failure);
      }
    }
  }

 private:
  void work(std::exception_ptr& failure) {
    try {
      estimate::EmWorkspace workspace;
      for (int task = next_task_++; task < task_count_; task = next_task_++) {
        PendingDataSet& entry = batch_.entries[static_cast<std::size_t>(task / population_count_)];
        const auto pi = static_cast<std::size_t>(task % population_count_);
        entry.alt_model[pi] = estimate::estimate_alt_model(
            {observed_.alt_grouping, entry.built.pair_labels, entry.built.phenotype_count[pi],
             entry.built.population_size[pi]},
            workspace);
      }
    } catch (...) {
      // Carried to the driver's thread and raised there after the join.
      failure = std::current_exception();
    }
  }

  const ObservedData& observed_;
  Batch& batch_;
  const int population_count_;
  const int task_count_;
  std::atomic<int> next_task_{0};
  std::vector<std::exception_ptr> failures_;
  std::vector<std::jthread> workers_;  // last: joined before the members they use go
};

// Writes a batch's console output in data set order and keeps its statistics.
void finish_batch(const Batch& batch, layout::Sink& console, RunTables& tables) {
  for (const PendingDataSet& entry : batch.entries) {
    for (const std::string& record : entry.console.records()) {
      console.write_record(record);
    }
    if (!entry.analysed) {
      continue;
    }
    for (std::size_t p = 0; p < entry.alt_model.size(); ++p) {
      estimate::write_em_messages(entry.alt_model[p], console);
      tables.permuted_statistic[p].push_back(likelihood_ratio_statistic(
          tables.population_null_log_likelihood[p], entry.alt_model[p].log_likelihood));
    }
  }
}

// Data sets 1 to PERMUTATION_COUNT, in batches: while the workers estimate
// one batch, the driver's thread builds the next (builds stay in data set
// order, as the random sequence requires). A stop raised while a data set is
// built is raised only after every earlier data set's output has been
// written, so the console reads as if the data sets ran one by one.
void run_permuted_data_sets(const ObservedData& observed, PermutationState& state,
                            const layout::Sinks& sinks, int threads, RunTables& tables) {
  const int batch_size = BATCH_PER_THREAD * std::max(threads, 1);
  int dataset_number = 1;
  Batch current = build_batch(dataset_number, batch_size, observed, state, sinks);
  while (!current.entries.empty()) {
    BatchEstimation estimation(observed, current, threads);
    Batch next;
    if (!current.stops_the_run()) {
      next = build_batch(dataset_number, batch_size, observed, state, sinks);
    }
    estimation.finish();
    finish_batch(current, sinks.console, tables);
    if (current.failure) {
      std::rethrow_exception(current.failure);
    }
    if (current.too_many_tries) {
      throw common::Stop{common::StopCode::too_many_tries,
                         permute::too_many_tries_explanation(dataset_number)};
    }
    current = std::move(next);
  }
}

void write_run_summary(const ObservedData& observed, const BuiltDataSet& observed_built,
                       const RunTables& tables, const layout::Sinks& sinks) {
  std::vector<SummaryLine> lines;
  for (int p = 0; p < observed.populations.population_count; ++p) {
    const auto pi = static_cast<std::size_t>(p);
    SummaryLine line;
    line.name = observed.populations.population_names[pi];
    line.observed_statistic = tables.observed_statistic[pi];
    line.degrees_of_freedom = tables.degrees_of_freedom[pi];
    line.summary = summarise_population(tables.observed_statistic[pi],
                                        tables.permuted_statistic[pi],
                                        observed_built.population_size[pi],
                                        tables.degrees_of_freedom[pi]);
    lines.push_back(line);
  }
  write_summary(lines, sinks.report, sinks.console);
}

}  // namespace

void run(const RunOptions& options, layout::Sink& console) {
  input::RunFiles files = input::open_run_files("group.dat");
  layout::LogSink log(files.report_file_name + ".log");
  const layout::Sinks sinks{console, log, *files.report, options.help};

  ObservedData observed;
  const layout::LayoutList record_layout =
      input::read_data_header(*files.data, observed.systems, sinks);
  input::read_phenotype_records(*files.data, observed.systems, record_layout,
                                observed.populations, sinks);
  input::read_groupings(*files.control, observed.systems, observed.null_grouping,
                        observed.alt_grouping, sinks);
  files.control.reset();  // the control file is read once; close it
  files.control_stream.reset();

  PermutationState state;
  BuiltDataSet observed_built;
  build_observed_data_set(observed, state, sinks, observed_built);
  write_progress_line(0, console);
  RunTables tables;
  analyse_observed(observed, observed_built, console, tables);

  run_permuted_data_sets(observed, state, sinks, options.threads, tables);
  write_run_summary(observed, observed_built, tables, sinks);
}

}  // namespace driver
