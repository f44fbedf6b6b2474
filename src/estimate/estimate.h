#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/limits.h"
#include "common/rules.h"
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
  // The grouping to fit. Only the values that some pair carries are
  // numbered; group_value_total gives the uniform start 1 / V of each group.
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
  // Whether the result lists the fitted value frequencies.
  bool publish_frequencies = false;
  // The classic fit (max_iterations above applies) or the maximum-likelihood fit.
  common::EstimationRules rules{};
  // The maximum-likelihood fit draws its starts from this key: the same key,
  // the same starts, whatever thread or order the estimation runs in.
  std::uint64_t start_key = 0;
  // The maximum-likelihood fit: extra random starts climbed after the fit
  // only to see whether other frequencies reach the same maximum (see
  // EmResult::equal_maxima). They never change the estimate, so that every
  // data set is still fitted by the same rule.
  int probe_starts = 0;
};

// A group value with its frequency: value[j] is the code letter at the
// group's j-th system.
struct GroupValueFrequency {
  common::Label value;
  double frequency = 0.0;

  friend bool operator==(const GroupValueFrequency&, const GroupValueFrequency&) = default;
};

// The outcome of one estimation.
struct EmResult {
  // The log-likelihood of the population at the frequencies of the last iteration run.
  double log_likelihood = 0.0;
  // With publish_frequencies: value_frequency[g] lists every value of group g
  // that a pair of the population carries, in order of first use, with its
  // frequency in the last iteration run (0 when no iteration ran); every
  // other value of the group has frequency 0. The null model's list is the
  // null_value_frequency of the run. Empty without publish_frequencies.
  std::vector<std::vector<GroupValueFrequency>> value_frequency;
  // The number of the last iteration run (2 .. max_iterations; 1 when none ran).
  int last_iteration = 0;
  // Iterations after the first whose log-likelihood fell below the one before.
  int not_increased_count = 0;
  // With publish_frequencies and probe_starts: the frequencies (laid out as
  // value_frequency) of every other start and probe whose climb ended at the
  // winner's likelihood. Where the likelihood is flat along a ridge (alleles
  // seen only beside missing typings), these differ and so do D' and Wn.
  std::vector<std::vector<std::vector<GroupValueFrequency>>> equal_maxima;
  // The maximum-likelihood fit: the start (0-based) whose maximum won.
  int best_start = 0;
  // False when the iteration limit was reached without convergence (the
  // maximum-likelihood fit: when any start reached it).
  bool converged = false;
};

struct EmTables;
class EmWorkspace;

// Fits the alternative grouping to one population and returns its result;
// the caller keeps log_likelihood as alt_log_likelihood. Writes nothing (see write_em_messages) and
// stops nothing. A population without individuals runs no iteration: log-likelihood 0, converged,
// every frequency 0.
[[nodiscard]] EmResult estimate_alt_model(const EmInput& input, EmWorkspace& workspace);

// Fits the null grouping to one population: the same algorithm with the
// smaller log floor. The caller keeps log_likelihood as null_log_likelihood. Writes nothing.
[[nodiscard]] EmResult estimate_null_model(const EmInput& input, EmWorkspace& workspace);

// The work tables of the estimation. Reusing one workspace across calls lets
// the tables keep their capacity: the set-up of a call allocates only while
// its data outgrows every earlier call, and the iterations never allocate.
// A workspace serves one thread at a time; calls with different workspaces
// share nothing and may run at the same time.
class EmWorkspace {
 public:
  EmWorkspace();
  // With packed = false, the phenotypes that could run as packed arithmetic
  // run one by one: the same results (tests compare the two).
  explicit EmWorkspace(bool packed);
  ~EmWorkspace();
  EmWorkspace(const EmWorkspace&) = delete;
  EmWorkspace& operator=(const EmWorkspace&) = delete;
  EmWorkspace(EmWorkspace&&) noexcept;
  EmWorkspace& operator=(EmWorkspace&&) noexcept;

  // The invariants of the work tables after the last estimation that the
  // passes rely on unchecked (indices inside their tables, ranges in order,
  // scratch cleared, each group's frequencies a distribution): each broken
  // one, in words; empty when all hold. For tests.
  [[nodiscard]] std::vector<std::string> faults() const;

 private:
  friend EmResult estimate_alt_model(const EmInput& input, EmWorkspace& workspace);
  friend EmResult estimate_null_model(const EmInput& input, EmWorkspace& workspace);
  std::unique_ptr<EmTables> tables_;
};

// Writes the console lines of one estimation (an EmResult's
// not_increased_count, converged and last_iteration): "EM--not increased in
// this iteration" once per iteration that lowered the log-likelihood, then
// the non-convergence warning if the limit was reached. No other line falls
// between an estimation's lines, so writing them after the call gives the
// console the same bytes as writing them during the iterations.
void write_em_messages(int not_increased_count, bool converged, int last_iteration,
                       layout::Sink& console);

}  // namespace estimate
