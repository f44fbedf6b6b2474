#pragma once

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
  void note(const common::Label& label);
  // Ends the first pass: fixes the digits and chooses the table.
  void finish_notes();
  // Second pass: the 0-based number of label's group value, numbering it
  // when it is new. Only labels noted in the first pass may be asked.
  [[nodiscard]] int number_of(const common::Label& label);
  // The values numbered so far, by number: letter j at the group's j-th system.
  [[nodiscard]] const std::vector<common::Label>& values() const { return values_; }

 private:
  static constexpr int LETTERS = 256;
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

  std::vector<int> systems_;  // [j]: 0-based system of position j
  std::vector<int> radix_;    // [j]: letters met at position j
  std::vector<int> digit_;    // [j * LETTERS + letter]: digit, or -1
  bool dense_ = true;
  std::vector<std::int64_t> place_value_;                // [j], dense codes only
  std::vector<std::int64_t> weighted_digit_;             // [j * LETTERS + letter], dense only
  std::vector<int> number_of_code_;                      // [code]: number or -1, dense codes only
  std::unordered_map<Key, int, KeyHash> number_of_key_;  // look-ups only, never iterated
  std::vector<common::Label> values_;
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

  // Iteration state, by flat index.
  std::vector<double> previous_frequency;
  std::vector<double> current_frequency;
  std::vector<double> expected_count;
  std::vector<double> phenotype_mass;
};

// The estimation of both models: log_floor is added to every phenotype
// likelihood before its logarithm.
[[nodiscard]] EmResult run_em(const EmInput& input, double log_floor, EmTables& tables);

}  // namespace estimate
