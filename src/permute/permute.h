#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/limits.h"
#include "common/tables.h"
#include "layout/layout.h"

// The permuted data sets: the uniform random generator, the shuffle of the
// donor table, the assembly of every individual's record from its donors and
// the bookkeeping of the attempts at each permuted data set.
//
// Data set 0 is the observed data: its donors are the identity and it draws
// no random number. Every permuted data set 1, 2, ... keeps each
// individual in its population but gives it the typings of each null group
// from a donor chosen for that group alone.

namespace permute {

// The shuffled congruential generator: three linear congruential generators
// in signed 32-bit arithmetic; two fill a table of 97 doubles, the third picks
// the slot to hand out. The same seed gives the same sequence on every machine.
// One object lives for the whole run; nothing resets it.
class UniformRandom {
 public:
  // A generator whose first draw initialises it from run_seed
  // (1 .. common::MAX_SEED; the classic run uses 1).
  explicit UniformRandom(std::int32_t run_seed = 1) : run_seed_(run_seed) {}

  // The seed that the run's first draw initialises the generator from.
  [[nodiscard]] std::int32_t run_seed() const { return run_seed_; }

  // Returns a deviate u with 0 <= u < 1. When seed is negative, or on the
  // first call, first (re)initialises the generator from seed and sets seed
  // to 1; otherwise seed is left as it is. The run passes a variable holding
  // run_seed(), so the generator is initialised once, on the first draw.
  // Precondition for an initialising call: 54773 - 2^31 < seed <= 54773.
  [[nodiscard]] double uniform_random(std::int32_t& seed);

  // The 0-based slot of the shuffle table that the last draw handed out
  // (-1 before the first draw).
  [[nodiscard]] int last_slot() const { return last_slot_; }

  static constexpr int SHUFFLE_SLOTS = 97;

 private:
  void initialise(std::int32_t seed);

  std::int32_t run_seed_ = 1;
  bool generator_started_ = false;
  std::int32_t first_state_ = 0;     // generator 1, 0..259199
  std::int32_t second_state_ = 0;    // generator 2, 0..134455
  std::int32_t selector_state_ = 0;  // generator 3, 0..242999
  std::array<double, SHUFFLE_SLOTS> shuffle_table_{};
  int last_slot_ = -1;
};

// The donors of data set 0: donor_index[p][r][g] = r (0-based) for every
// population p, record r of p and null group g = 0..group_total-1.
[[nodiscard]] common::DonorIndex identity_donor_index(const common::Populations& populations,
                                                      int group_total);

// The records of one population among which the shuffle exchanges donors at
// one null group: a record trades donors only with the records of its class.
struct ExchangeClasses {
  std::vector<int> class_of;              // [record]: its class
  std::vector<int> rank;                  // [record]: 0-based place among its class's records
  std::vector<std::vector<int>> members;  // [class]: its 0-based records in record order
};

// donor_classes[p][g]: the exchange classes of population p at null group g.
using DonorClasses = std::vector<std::vector<ExchangeClasses>>;

// The classic classes: every record of a population in one class at every
// group, so that any record may receive any record's typings.
[[nodiscard]] DonorClasses whole_population_classes(const common::Populations& populations,
                                                    int group_total);

// One class per missing pattern: records share a class at null group g when
// they have the same number of missing typings (0, 1 or 2) at every system of
// g. A record then only ever receives typings from a donor with its own
// pattern, and keeps its own missing typings in every permuted data set.
// With no missing typing anywhere these are the classic classes.
[[nodiscard]] DonorClasses missing_pattern_classes(const common::SystemTables& systems,
                                                   const common::Populations& populations,
                                                   const common::Grouping& null_grouping);

// Shuffles donor_index further from whatever state it is in, population by
// population and null group by null group, with one Fisher-Yates pass per
// (population, group) from the last record to the first: record j draws u and
// exchanges donors with the (1 + int(u c))-th of the c records of its class at
// positions up to j (1-based). Exactly (sum of the record counts) x
// group_total draws, in that order, whatever the classes; a one-record
// population still draws once per group. For every p and g the donors stay a
// permutation of the records of p; starting from the identity, every record's
// donor stays in the record's class.
void shuffle_donors(const DonorClasses& donor_classes, UniformRandom& random,
                    common::DonorIndex& donor_index);

// Assembles individual i of population p (both 0-based): for each null group
// g, both typings of every system of g are copied from record
// donor_index[p][i][g] of p. Typings of a system in no null group are left as
// they are (the null grouping gives every system to exactly one group).
void assemble_record(const common::Populations& populations, const common::Grouping& null_grouping,
                     const common::DonorIndex& donor_index, int p, int i,
                     common::RecordTypings& record_typings);

enum class AttemptStatus {
  ok,        // go on with the attempt
  too_many,  // the data set has used up its attempts: write the abort listing, stop 7070
};

// The number of attempts begun at each permuted data set 1..permutation_count.
// All 0 at the start of the run; counts only grow.
class TryCounts {
 public:
  explicit TryCounts(int permutation_count = common::PERMUTATION_COUNT)
      : try_count_(static_cast<std::size_t>(permutation_count), 0) {}

  // Counts one more attempt at permuted data set dataset_number
  // (1..permutation_count). Returns too_many when the count, the attempt
  // under way included, has reached MAX_TRIES: a data set gets at most
  // MAX_TRIES - 1 attempts that can be used.
  [[nodiscard]] AttemptStatus begin_attempt(int dataset_number);

  // Attempts begun at data set dataset_number (1..permutation_count).
  [[nodiscard]] int try_count(int dataset_number) const;

 private:
  [[nodiscard]] std::size_t count_slot(int dataset_number) const;

  std::vector<int> try_count_;  // [dataset_number - 1]
};

// Writes the abort listing of stop code 7070 to the log: the FATAL PROBLEM
// header with dataset_number and MAX_TRIES, then one line for every data set
// 1..dataset_number that needed two attempts or more. The caller then stops
// the run with stop code 7070.
void write_abort_listing(int dataset_number, const TryCounts& try_counts, layout::Sink& log);

// The explanation of stop code 7070 for permuted data set dataset_number.
[[nodiscard]] std::string too_many_tries_explanation(int dataset_number);

}  // namespace permute
