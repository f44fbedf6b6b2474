#pragma once

#include <cassert>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/tables.h"
#include "common/text.h"
#include "estimate/estimate.h"

namespace estimate {

// Numbers the values of one group that the pairs of an estimation carry, in
// order of first use, without a table of all the group's values (a group may
// have far more values than could be listed). Each position j of the group
// maps a code letter to a digit in order of first appearance; the digits,
// read as a mixed-radix number, give a code. A code space of modest size is
// looked up in a dense table, a larger one in a hash table; both give the
// same numbers.
class GroupValueIndex {
 public:
  // Starts a group of the given 0-based systems.
  void start(std::span<const int> systems);
  // First pass: notes the letters of one label at the group's systems.
  void note(const common::Label& label) {
    for (std::size_t j = 0; j < systems_.size(); ++j) {
      int& d = digit_[j * LETTERS + letter_number(label[systems_[j]])];
      if (d < 0) {
        d = radix_[j]++;
      }
    }
  }
  // Ends the first pass: fixes the digits and chooses the table.
  void finish_notes();
  // Second pass: the 0-based number of label's group value, numbering it
  // when it is new. Only labels noted in the first pass may be asked.
  [[nodiscard]] int number_of(const common::Label& label) {
    if (!dense_) {
      return number_by_key(label);
    }
    std::int64_t code = 0;
    for (std::size_t j = 0; j < systems_.size(); ++j) {
      const std::int64_t part = weighted_digit_[j * LETTERS + letter_number(label[systems_[j]])];
      assert(part >= 0);  // every label asked was noted
      code += part;
    }
    return number_new(number_of_code_[static_cast<std::size_t>(code)], label);
  }
  // The values numbered so far, by number: letter j at the group's j-th system.
  [[nodiscard]] const std::vector<common::Label>& values() const { return values_; }

 private:
  static constexpr std::size_t LETTERS = 256;
  static constexpr double DENSE_CODES = 1 << 20;
  // Packed digits of a label: one byte per position (at most 10).
  struct Key {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    friend bool operator==(const Key&, const Key&) = default;
  };
  struct KeyHash {
    [[nodiscard]] std::size_t operator()(const Key& key) const;
  };
  [[nodiscard]] int digit(const common::Label& label, int j) const;
  [[nodiscard]] static std::size_t letter_number(char letter) {
    return static_cast<unsigned char>(letter);
  }
  // The number in slot, numbering label's value when the slot is new (-1).
  int number_new(int& slot, const common::Label& label) {
    if (slot < 0) {
      slot = static_cast<int>(values_.size());
      add_value(label);
    }
    return slot;
  }
  [[nodiscard]] int number_by_key(const common::Label& label);
  void add_value(const common::Label& label);

  std::vector<int> systems_;  // [j]: 0-based system of position j
  std::vector<int> radix_;    // [j]: letters met at position j
  std::vector<int> digit_;    // [j * LETTERS + letter]: digit, or -1
  bool dense_ = true;
  std::vector<std::int64_t> place_value_;                // [j], dense codes only
  std::vector<std::int64_t> weighted_digit_;             // [j * LETTERS + letter], dense only
  std::vector<int> number_of_code_;                      // [code]: number or -1, dense codes only
  std::unordered_map<Key, int, KeyHash> number_of_key_;  // look-ups only, never iterated
  std::vector<common::Label> values_;
  bool leading_systems_ = false;  // the group's systems are 0, 1, ... in order
};

// A phenotype carrying two different values is twice as likely as one
// ordered pair of them: either haplotype may come from either parent.
constexpr double HETEROZYGOTE_FACTOR = 2.0;

// The tables of the single-group pass: with one group, the likelihood at
// iteration t and the E-step of t + 1 are one pass (see em.cpp). Phenotypes
// whose values each belong to one E-step pair and that repeat no ordered
// pair (every fully typed phenotype) need one share per pair; they run in
// blocks of LANES phenotypes of the same pair count, lane by lane the same
// operations, so that a block can run as packed arithmetic. Every other
// phenotype runs alone. The shares are then added to the expected counts in
// phenotype order, as the E-step adds them.
struct SingleGroupTables {
  static constexpr int LANES = 8;
  std::vector<int> block_pair_count;  // [k]: pairs of each phenotype of block k
  std::vector<int> block_begin;       // [k]: its first entry in the per-pair arrays
  // Per pair p of lane l of block k, at block_begin[k] + p * LANES + l:
  std::vector<int> first;            // flat index of the first value
  std::vector<int> second;           // flat index of the second value
  std::vector<double> heterozygote;  // 2 if the values differ, else 1
  std::vector<double> homozygote;    // 2 if the values are equal, else 1
  std::vector<double> block_weight;  // [k * LANES + l]: w(d), 0 in an empty lane

  std::vector<int> alone;  // active phenotypes that run alone, in order

  // Results of a pass: shares (blocks first, at the per-pair places, then
  // the phenotypes alone) and likelihoods (blocks at k * LANES + l, then alone).
  std::vector<double> share;
  std::vector<double> likelihood;
  std::vector<double> previous_likelihood;  // those of the pass before
  std::vector<double> place_weight;         // [place]: w(d) of its phenotype, 0 in an empty lane
  std::vector<int> likelihood_at;           // [i]: place of active phenotype i's likelihood
  // The additions to the expected counts of the blocked phenotypes, in
  // phenotype order, in segments: segment k ends at addition segment_end[k]
  // and is followed by phenotype alone number segment_alone[k] (-1: none).
  std::vector<int> count_value;  // [j]: flat index of the count
  std::vector<int> count_share;  // [j]: place of the share added to it
  std::vector<int> segment_end;
  std::vector<int> segment_alone;
  // Set-up scratch.
  std::vector<int> pairs_of;  // [i]: pairs of a blocked phenotype, else 0
  std::vector<int> sorted;    // blocked phenotypes by pair count
};

// The work tables of one estimation. Only phenotypes of weight above 0 enter
// ("active" phenotypes, numbered i in the order of d), and only the values
// that their pairs carry ("used" values). All groups' used values share one
// numbering, the flat index: group g owns flat indices value_begin[g] up to
// value_begin[g + 1].
struct EmTables {
  std::vector<GroupValueIndex> value_index;  // [g]

  // Active phenotypes.
  std::vector<int> active_phenotype;  // [i]: the distinct phenotype d
  std::vector<double> weight;         // [i]: its weight w(d)

  // Used values.
  std::vector<int> value_begin;     // [g], plus the end
  std::vector<double> estep_floor;  // [g]: the E-step floor of the group

  // E-step: per group, the distinct ordered value pairs of each active
  // phenotype in slot order, and the values those pairs touch.
  std::vector<int> estep_first;    // [e]: flat index of the first value
  std::vector<int> estep_second;   // [e]
  std::vector<int> estep_begin;    // [g * (active + 1) + i]
  std::vector<int> touched;        // [u]: flat index
  std::vector<int> touched_begin;  // [g * (active + 1) + i]
  std::vector<int> touched_mark;   // set-up scratch: [flat] last phenotype that touched it
  std::vector<std::pair<std::int64_t, int>> pair_keys;  // set-up scratch: (value pair, slot)
  std::vector<char> repeated;  // set-up scratch: [slot] repeats an earlier pair

  // Likelihood: every pair of every active phenotype.
  std::vector<int> likelihood_first;   // [pair * group_total + g]: flat index
  std::vector<int> likelihood_second;  // [pair * group_total + g]
  std::vector<char> labels_differ;     // [pair]: the two whole labels differ
  std::vector<int> likelihood_begin;   // [i], plus the end

  SingleGroupTables single;
  bool packed = true;  // blocks may run as packed arithmetic where the processor has it

  // Iteration state, by flat index.
  std::vector<double> previous_frequency;
  std::vector<double> current_frequency;
  std::vector<double> expected_count;
  std::vector<double> phenotype_mass;
};

// The E-step of active phenotype i at group g from the given frequencies,
// added to the expected counts; returns the phenotype's total mass there.
double expect_phenotype(int g, int i, const std::vector<double>& frequency, EmTables& tables);

// The likelihood of active phenotype i at the current frequencies: every
// pair, with the groups multiplied in order and the factor 2 when the two
// whole labels differ.
[[nodiscard]] double phenotype_likelihood(int i, int group_total, const EmTables& tables);

// Builds tables.single from the E-step tables of a single group.
void prepare_single_group(EmTables& tables);

// The single-group pass at the given frequencies: leaves the expected counts
// of the E-step from them and every phenotype's likelihood at them in
// tables.single.likelihood (those of the pass before move to
// previous_likelihood).
void single_group_pass(const std::vector<double>& frequency, EmTables& tables);

// The log-likelihood of a pass's likelihoods, log_floor added to each, summed
// phenotype by phenotype in order: the value of the plain algorithm.
[[nodiscard]] double exact_log_likelihood(const std::vector<double>& likelihood, double log_floor,
                                          const EmTables& tables);

// A log-likelihood known to within bound: the exact value lies in
// [value - bound, value + bound]. A bound of 0 means exact.
struct BoundedLogLikelihood {
  double value = 0.0;
  double bound = 0.0;
};

// The log-likelihood of a pass's likelihoods from a fast logarithm of known
// error, with a bound that covers that error and the rounding of both sums;
// exact where the processor lacks the packed arithmetic it needs, or where a
// likelihood lies outside the logarithm's range. An iteration whose decision
// (converged, or lower than the one before) is certain from the bounds needs
// no exact value; the others, and the last, are computed exactly.
[[nodiscard]] BoundedLogLikelihood approximate_log_likelihood(const std::vector<double>& likelihood,
                                                              double log_floor,
                                                              const EmTables& tables);

// What iteration t (2 or later) decides from its log-likelihood and the one
// before, as the plain algorithm does from exact values: whether it is
// below the one before (counted from iteration 3 on) and whether the change
// is below the tolerance. Not certain where the bounds leave either open.
struct IterationDecision {
  bool certain = true;
  bool decreased = false;
  bool converged = false;
};
[[nodiscard]] IterationDecision decide_iteration(int t, const BoundedLogLikelihood& now,
                                                 const BoundedLogLikelihood& before);

// The fast logarithm of approximate_log_likelihood on eight values: for
// finite x >= FAST_LOG_LOWEST, within FAST_LOG_ERROR of the true logarithm.
// Returns false (and leaves out) where the processor lacks AVX-512.
constexpr double FAST_LOG_LOWEST = 1e-300;
constexpr double FAST_LOG_ERROR = 1e-11;
bool fast_log8(const double* x, double* out, const EmTables& tables);

// The estimation of both models: log_floor is added to every phenotype
// likelihood before its logarithm.
[[nodiscard]] EmResult run_em(const EmInput& input, double log_floor, EmTables& tables);

}  // namespace estimate
