#pragma once

#include <cassert>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

#include "common/tables.h"
#include "common/text.h"
#include "estimate/estimate.h"

namespace estimate {

// Numbers the values of one group that the pairs of an estimation carry, in
// order of first use, without a table of all the group's values (a group may
// have far more values than could be listed). A value is the group's letters
// of a label, packed one byte per position; an open-addressing table, kept
// with its capacity from call to call and emptied by a new stamp, maps it to
// its number in one look-up.
class GroupValueIndex {
 public:
  // Starts a group of the given 0-based systems, with no value numbered.
  void start(std::span<const int> systems);
  // The 0-based number of label's group value, numbering it when it is new.
  [[nodiscard]] int number_of(const common::Label& label) {
    const Key key = key_of(label);
    for (std::size_t at = slot_of(key);; at = (at + 1) & (slots_.size() - 1)) {
      Slot& slot = slots_[at];
      if (slot.stamp != stamp_) {
        return number_new(slot, key);
      }
      if (slot.low == key.low && slot.high == key.high) {
        return slot.number;
      }
    }
  }
  [[nodiscard]] int value_count() const { return static_cast<int>(keys_.size()); }
  // The values numbered so far, by number: letter j at the group's j-th system.
  [[nodiscard]] std::vector<common::Label> values() const;

 private:
  // The letters of a value, position j in byte j (at most 10 positions).
  struct Key {
    std::uint64_t low = 0;
    std::uint16_t high = 0;
  };
  struct Slot {
    std::uint64_t low = 0;
    std::uint16_t high = 0;
    std::uint16_t stamp = 0;  // the call that filled it; any other: empty
    std::int32_t number = 0;
  };
  static constexpr std::size_t FIRST_SLOTS = 1024;

  [[nodiscard]] Key key_of(const common::Label& label) const {
    Key key;
    if (leading_systems_) {
      // The first positions of the label as they stand, the rest cut off.
      std::memcpy(&key.low, label.chars.data(), sizeof key.low);
      std::memcpy(&key.high, label.chars.data() + sizeof key.low, sizeof key.high);
      key.low &= low_mask_;
      key.high &= high_mask_;
      return key;
    }
    for (std::size_t j = 0; j < systems_.size(); ++j) {
      const auto letter =
          static_cast<std::uint64_t>(static_cast<unsigned char>(label[systems_[j]]));
      if (j < sizeof key.low) {
        key.low |= letter << (8 * j);
      } else {
        key.high = static_cast<std::uint16_t>(key.high | (letter << (8 * (j - sizeof key.low))));
      }
    }
    return key;
  }
  // Fibonacci hashing: the top bits of the product mix every letter.
  [[nodiscard]] std::size_t slot_of(const Key& key) const {
    const std::uint64_t h = (key.low ^ (key.high * 0xC2B2AE3D27D4EB4FULL)) * 0x9E3779B97F4A7C15ULL;
    return static_cast<std::size_t>(h >> shift_);
  }
  int number_new(Slot& slot, const Key& key);
  void grow();

  std::vector<int> systems_;      // [j]: 0-based system of position j
  bool leading_systems_ = false;  // the group's systems are 0, 1, ... in order
  std::uint64_t low_mask_ = 0;    // leading systems: the bytes of the group's positions
  std::uint16_t high_mask_ = 0;
  std::vector<Slot> slots_;  // a power of 2, at most half full
  int shift_ = 64;           // 64 - log2(slots_.size())
  std::uint16_t stamp_ = 0;
  std::vector<Key> keys_;  // [number]
};

// A phenotype carrying two different values is twice as likely as one
// ordered pair of them: either haplotype may come from either parent.
constexpr double HETEROZYGOTE_FACTOR = 2.0;

// The probability mass of an ordered pair of haplotypes (or values) of
// frequencies first and second: their product times the pair's factor,
// HETEROZYGOTE_FACTOR when the two differ, else 1 (a product by 1 is exact,
// so this is bit for bit the product left alone). Every E-step and
// likelihood computes a pair's mass by this formula; the packed pass does
// the same two products in each lane.
[[nodiscard]] inline double pair_mass(double first, double second, double factor) {
  return first * second * factor;
}

[[nodiscard]] inline double pair_factor(bool differ) { return differ ? HETEROZYGOTE_FACTOR : 1.0; }

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

  // The maximum-likelihood fit: the point, its two EM steps, the
  // extrapolated point and its step, and the best fit so far.
  std::vector<double> point;
  std::vector<double> step_once;
  std::vector<double> step_twice;
  std::vector<double> extrapolated;
  std::vector<double> extrapolated_step;
  std::vector<double> best;
  std::vector<double> start_log_likelihood;  // [start]: ln L at the end of its loose climb
  std::vector<double> start_points;          // [start * flat total + k]: the point there
  // The polished ends of the starts and probes other than the winner, with their ln L.
  std::vector<std::vector<double>> other_ends;
  std::vector<double> other_end_log_likelihood;
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

// Set-up shared by both fits: the value numbering and work tables of the
// active phenotypes, every frequency at the uniform start.
void select_active_phenotypes(const EmInput& input, EmTables& tables);
void prepare(const EmInput& input, EmTables& tables);
// The M-step: frequency[k] = count[k] / gene_total.
void m_step(const std::vector<double>& count, double gene_total, std::vector<double>& frequency);
// Whether a single group's likelihoods come from its E-step pass.
[[nodiscard]] bool likelihood_from_estep(int group_total, const EmTables& tables);
// The values the pairs carry with their frequencies in tables.current_frequency.
void publish_frequencies(const common::Grouping& grouping, const EmTables& tables,
                         EmResult& result);

// The maximum-likelihood fit (input.rules.maximum), after the set-up.
void maximise(const EmInput& input, EmTables& tables, EmResult& result);

// The estimation of both models: log_floor is added to every phenotype
// likelihood before its logarithm.
[[nodiscard]] EmResult run_em(const EmInput& input, double log_floor, EmTables& tables);

}  // namespace estimate
