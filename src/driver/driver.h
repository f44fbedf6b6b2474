#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/locus_pair_result.h"
#include "common/run.h"
#include "common/tables.h"
#include "layout/layout.h"

// The run driver: analyses the observed data set and the permuted data sets
// of a run input, whichever front-end filled it, and writes the summary to
// the report and the console.

namespace driver {

// One EM fit as the driver reports it: every fit, converged or not.
struct EmFit {
  int dataset_number = 0;  // 0: the observed data set
  int population = 0;      // 0-based, in input order
  std::string_view population_name;
  std::string_view model;  // "null" or "alternative"
  int last_iteration = 0;
  // Iterations after the first that lowered the log-likelihood.
  int decreased_iterations = 0;
  bool converged = true;
};

// What a run tells its front-end while it goes on. The front-end supplies
// the observer; the driver calls it on the driver's thread in data set
// order, so that whatever an observer writes reads the same on any number
// of threads. The driver counts the events in RunResults whatever the
// observer does with them.
class RunObserver {
 public:
  RunObserver() = default;
  virtual ~RunObserver() = default;
  RunObserver(const RunObserver&) = delete;
  RunObserver& operator=(const RunObserver&) = delete;

  // The console and log lines that the build of permuted data set
  // dataset_number wrote (the blocks of its abandoned attempts), before
  // its data_set_built; also for the build that stops the run.
  virtual void build_messages(int dataset_number, const layout::MemorySink& console,
                              const layout::MemorySink& log) = 0;
  // Data set dataset_number (0: the observed one) is built; its fits follow.
  virtual void data_set_built(int dataset_number) = 0;
  // Attempts at permuted data set dataset_number that were abandoned and
  // drawn again (redrawn > 0), before its fits.
  virtual void attempts_redrawn(int dataset_number, int redrawn) = 0;
  virtual void em_fit(const EmFit& fit) = 0;
};

// The classic console as the records say: the build's messages, an
// "npermu=" line for every data set and the EM messages of every fit.
class ClassicObserver final : public RunObserver {
 public:
  ClassicObserver(layout::Sink& console, layout::Sink& log) : console_(console), log_(log) {}
  void build_messages(int dataset_number, const layout::MemorySink& console,
                      const layout::MemorySink& log) override;
  void data_set_built(int dataset_number) override;
  void attempts_redrawn(int /*dataset_number*/, int /*redrawn*/) override {}
  void em_fit(const EmFit& fit) override;

 private:
  layout::Sink& console_;
  layout::Sink& log_;
};

// Runs the whole analysis of input: data set 0, then options.permutations
// permuted data sets, then the summary (report, and the console when
// options.console_summary), and returns every figure of the run; what
// happens on the way goes to observer. Throws common::Stop for a stop code
// (its messages already written) and common::FileError for an error of the
// file layer.
[[nodiscard]] common::RunResults run_analysis(const common::RunInput& input,
                                              const common::RunOptions& options,
                                              const layout::Sinks& sinks, RunObserver& observer);

// The sparse note of each population's test (empty where there is none), as
// run_analysis adds it: what a merge of shards needs of the input for the notes.
[[nodiscard]] std::vector<std::string> sparse_notes(const common::RunInput& input,
                                                    const common::RunResults& results);

// The notes on the fits of each informative test, after its other notes:
// "estimation cap: K of M fits reached the iteration limit" (from
// capped_fits), then its sparse note (sparse: [population], as sparse_notes
// gives them).
void add_fit_notes(const std::vector<std::string>& sparse, common::RunResults& results);

// The close of a run: each population's summary from its observed and
// permuted statistics (judged as results.judged_with_ties and
// results.stop_after say: a stopped test keeps its statistics 1..l), the fit
// notes and the sequential rule's under those rules, and the summary table
// in the report (and on
// console unless nullptr). run_analysis ends with it; a merge of shards ends
// with it too, on the statistics of every block in data set order and
// capped_fits counted over them all.
void close_run(common::RunResults& results, const std::vector<std::string>& sparse,
               layout::Sink* console, layout::Sink& report);

// A run of locus pair tests as its front-end prepares it: each pair is the
// overall test of its two loci alone. The callbacks run on the driver's
// worker threads, several pairs at once, each call for its own pair k
// (0-based, in the order of pairs); they may only read what the pairs share.
struct LocusPairTests {
  struct Pair {
    int locus_a = 0;  // 0-based positions in the loci paired, locus_a < locus_b
    int locus_b = 0;
    std::string name;  // "A ~ B", as the log and standard error name the pair
  };
  std::vector<Pair> pairs;
  // The options of every pair's test: threads are the run's, max_memory the
  // whole budget; the driver shares both out and reports progress below.
  common::RunOptions options;
  // The pair's input, its log lines (individuals left out, ...) written to
  // log; nullopt when there is nothing to test (a log line says why).
  std::function<std::optional<common::RunInput>(const Pair& pair, layout::Sink& log)> input;
  // The observer of pair k's test, writing to log.
  std::function<std::unique_ptr<RunObserver>(int k, const Pair& pair, layout::Sink& log)> observer;
  // The pair's rows, one per population of its results, appended to rows.
  std::function<void(const Pair& pair, const common::RunInput& input,
                     const common::RunResults& results, std::vector<common::LocusPairResult>& rows)>
      rows;
  // Told of every data set finished: (k, data sets of pair k done); may be
  // empty. Called from several threads at once.
  std::function<void(int k, int done)> progress;
};

// The tests of tests.pairs on tests.options.threads threads: one pair after
// another, each on every thread, or several side by side, each on its share
// of the threads and of the memory budget. A pair refused within its share
// runs again alone with the whole budget, so that a refusal depends only on
// the pair's own test; a pair refused even then gets rows of NA (one per
// population, the note saying what it needs) and one line on help. Log and
// help lines and rows come in the order of the pairs, and a stop is raised
// after the lines of the pairs before it, as if the pairs ran one by one.
[[nodiscard]] std::vector<common::LocusPairResult> run_locus_pairs(const LocusPairTests& tests,
                                                                   layout::Sink& log,
                                                                   layout::Sink& help);

// One data set as its estimation receives it. Distinct phenotypes d are
// 0-based, in the order the data set met them.
struct BuiltDataSet {
  std::vector<std::vector<int>> phenotype_count;  // [population][d]: its individuals with d
  std::vector<int> population_size;               // [population]: the sum of its counts
  common::PairLists pair_labels;                  // [d]: the haplotype pairs of d
};

struct PermutationState;

// The data sets of a run built one after another on the calling thread,
// exactly as run_analysis builds them (the same donors, the same random
// sequence, the same retries), but not estimated: a hook for the benchmarks,
// which time the stages or replay the estimation. input must outlive the
// builder; it has no memory budget.
class DataSetBuilder {
 public:
  // Ready to build data set 0 of a run of `permutations` permuted data sets
  // (1 .. common::MAX_PERMUTATIONS) from generator seed `seed` (1 ..
  // common::MAX_SEED).
  DataSetBuilder(const common::RunInput& input, int permutations, std::int32_t seed);
  ~DataSetBuilder();
  DataSetBuilder(const DataSetBuilder&) = delete;
  DataSetBuilder& operator=(const DataSetBuilder&) = delete;

  // Builds data set dataset_number into built: 0 (the observed data) first,
  // then 1, 2, ... up to permutations, each once and in order. Messages go to
  // sinks as in a classic run. Returns false when a permuted data set needed
  // too many attempts (the abort listing is then in sinks.log; a run would
  // stop with 7070). Throws common::Stop and common::FileError as
  // run_analysis does.
  [[nodiscard]] bool build(int dataset_number, const layout::Sinks& sinks, BuiltDataSet& built);

  // The distinct phenotypes of the data set built last (empty before the first).
  [[nodiscard]] const common::DistinctPhenotypes& distinct_phenotypes() const;

 private:
  const common::RunInput& input_;
  std::unique_ptr<PermutationState> state_;
};

// Limits the allocator's arenas, which would otherwise keep the freed
// memory of every thread: once per process, before any thread starts.
void limit_allocator_arenas();

}  // namespace driver
