#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/run.h"
#include "common/tables.h"
#include "layout/layout.h"

// The run driver: analyses the observed data set and the permuted data sets
// of a run input, whichever front-end filled it, and writes the summary to
// the report and the console.

namespace driver {

// Runs the whole analysis of input: data set 0, then options.permutations
// permuted data sets, then the summary (report first, then console), and
// returns every figure of the run. With MessageStyle::classic the console
// gets the progress lines and the EM messages as the records say; with
// MessageStyle::counted the console gets only the summary and each warning
// is one line in the log. Throws common::Stop for a stop code (its messages
// already written) and common::FileError for an error of the file layer.
[[nodiscard]] common::RunResults run_analysis(const common::RunInput& input,
                                              const common::RunOptions& options,
                                              const layout::Sinks& sinks);

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
