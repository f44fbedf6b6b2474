#pragma once

#include <memory>
#include <span>
#include <vector>

#include "common/limits.h"
#include "common/tables.h"

namespace layout {
class Sink;
}

// EM estimation of group value frequencies (gene counting over phase-unknown
// phenotypes) and the log-likelihood of one sample population, under the
// alternative grouping and under the null grouping.

namespace estimate {

// What one estimation reads. Distinct phenotypes, groups and values are 0-based.
struct EmInput {
  // The grouping to fit, with the complete value list of every group
  // (group_values holds every combination of the group's code letters once,
  // in any order).
  const common::Grouping& grouping;
  // pair_labels[d]: the compatible haplotype pairs of distinct phenotype d, in slot order.
  const common::PairLists& pair_labels;
  // phenotype_count[d]: individuals of this population with distinct phenotype d
  // (0 for phenotypes met only in other populations); one entry per pair list.
  std::span<const int> phenotype_count;
  // Individuals of the population: the sum of phenotype_count.
  int population_size = 0;
  // The iteration limit; iterations are numbered 2 to max_iterations (at least 2).
  int max_iterations = common::EM_MAX_ITERATIONS;
};

// The outcome of one estimation.
struct EmResult {
  // The log-likelihood of the population at the frequencies of the last iteration run.
  double log_likelihood = 0.0;
  // estimate_null_model only: value_frequency[g][k] is the frequency of value k
  // (0-based position in group_values[g]) in the last iteration run, the
  // null_value_frequency of the run. Empty after estimate_alt_model.
  std::vector<std::vector<double>> value_frequency;
  // The number of the last iteration run (2 .. max_iterations; 1 when none ran).
  int last_iteration = 0;
  // Iterations after the first whose log-likelihood fell below the one before.
  int not_increased_count = 0;
  // False when the iteration limit was reached without convergence.
  bool converged = false;
};

struct EmTables;
class EmWorkspace;

// Fits the alternative grouping to one population and returns its result;
// the caller keeps log_likelihood as alt_log_likelihood. value_frequency is
// left empty. Writes nothing (see write_em_messages) and stops nothing. A
// population without individuals runs no iteration: log-likelihood 0,
// converged, every frequency 0.
[[nodiscard]] EmResult estimate_alt_model(const EmInput& input, EmWorkspace& workspace);

// Fits the null grouping to one population: the same algorithm with the
// smaller log floor, and the value frequencies published in value_frequency.
// The caller keeps log_likelihood as null_log_likelihood. Writes nothing.
[[nodiscard]] EmResult estimate_null_model(const EmInput& input, EmWorkspace& workspace);

// The work tables of the estimation. Reusing one workspace across calls lets
// the tables keep their capacity: the set-up of a call allocates only while
// its data outgrows every earlier call, and the iterations never allocate.
// A workspace serves one thread at a time; calls with different workspaces
// share nothing and may run at the same time.
class EmWorkspace {
 public:
  EmWorkspace();
  ~EmWorkspace();
  EmWorkspace(const EmWorkspace&) = delete;
  EmWorkspace& operator=(const EmWorkspace&) = delete;
  EmWorkspace(EmWorkspace&&) noexcept;
  EmWorkspace& operator=(EmWorkspace&&) noexcept;

 private:
  friend EmResult estimate_alt_model(const EmInput& input, EmWorkspace& workspace);
  friend EmResult estimate_null_model(const EmInput& input, EmWorkspace& workspace);
  std::unique_ptr<EmTables> tables_;
};

// Writes the console lines of one estimation: "EM--not increased in this
// iteration" once per iteration that lowered the log-likelihood, then the
// non-convergence warning if the limit was reached. No other line falls
// between an estimation's lines, so writing them after the call gives the
// console the same bytes as writing them during the iterations.
void write_em_messages(const EmResult& result, layout::Sink& console);

}  // namespace estimate
