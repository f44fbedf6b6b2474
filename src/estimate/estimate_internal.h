#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "common/tables.h"
#include "common/text.h"
#include "estimate/estimate.h"

namespace estimate {

// Finds the position of a haplotype label's group value in the group's value
// list without searching the list. Every position j of the group maps each
// code letter to a digit, and the digits read as a mixed-radix number give a
// code that a table turns into the list position. The digits are numbered in
// the order the letters first appear in the list, so any order of a complete
// value list works, and the position found is the one a look-up of the
// blank-padded value in the list would give.
class GroupValueIndex {
 public:
  // Prepares the look-up for group g (0-based) of the grouping, whose value
  // list holds every combination of the group's code letters exactly once.
  void build(const common::Grouping& grouping, int g);

  // The 0-based position in the group's value list of the group value of
  // label (the label's letters at the group's systems, in group order).
  [[nodiscard]] int position_of(const common::Label& label) const;

 private:
  static constexpr int LETTERS = 256;
  std::vector<int> systems_;           // [j]: 0-based system of position j
  std::vector<int> radix_;             // [j]: letters of position j
  std::vector<int> place_value_;       // [j]
  std::vector<int> digit_;             // [j * LETTERS + letter]: digit, or -1
  std::vector<int> position_of_code_;  // [code]: 0-based list position
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
  std::vector<int> value_begin;       // [g], plus the end
  std::vector<int> value_position;    // [flat]: 0-based position in group_values[g]
  std::vector<int> flat_of_position;  // set-up scratch: [position] flat index or -1

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
// likelihood before its logarithm; publish_frequencies fills value_frequency.
[[nodiscard]] EmResult run_em(const EmInput& input, double log_floor, bool publish_frequencies,
                              EmTables& tables);

}  // namespace estimate
