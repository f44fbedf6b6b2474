#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "coding/coding.h"
#include "common/run.h"
#include "common/tables.h"
#include "driver/driver.h"
#include "expand/expand.h"
#include "layout/layout.h"
#include "permute/permute.h"

// build_data_set: turns the stored observed records into data set n (the
// observed data set 0, or permuted data set n), codes its individuals into
// distinct phenotypes and expands them into haplotype pairs.

namespace driver {

// The state that carries over from data set to data set for the whole run:
// the donors, the random generator and the attempt counts, plus the reusable
// expansions of code strings.
// What a data set needs in memory: its pair lists, every one counted as its
// own (the cache may be let go at any time), and the work tables of the
// estimation of its largest population.
struct DataSetNeed {
  std::int64_t lists = 0;
  std::int64_t estimation = 0;
  [[nodiscard]] std::int64_t total() const { return lists + estimation; }
};

struct PermutationState {
  PermutationState(int permutation_count, std::int32_t seed)
      : generator(seed), try_count(permutation_count) {}

  // true: donors are exchanged only between records of the same missing
  // pattern (RuleSet::keep_missing_patterns), so no attempt is abandoned.
  bool keep_missing_patterns = false;
  permute::DonorClasses donor_classes;  // made with the observed data set
  common::DonorIndex donor_index;
  permute::UniformRandom generator;
  permute::TryCounts try_count;
  expand::ExpansionCache expansions;
  common::DistinctPhenotypes distinct;     // work table, rebuilt by every attempt
  coding::PhenotypeIndex phenotype_index;  // look-up of distinct phenotypes by typings
  // [population][record][system]: the number of the record's unordered pair
  // of typings at the system among those the observed records show there;
  // a permuted individual's numbers are its phenotype's look-up key.
  std::vector<std::vector<std::array<std::uint32_t, common::MAX_SYSTEMS>>> typing_pair_number;
  // [population][record]: the code letters of the record's typings (a
  // permuted individual's are its donors'); empty where a typing is in no
  // allele list.
  std::vector<std::vector<std::optional<common::CodeString>>> typing_code;
  // [population][record]: bit s set when the record misses a typing of system s.
  std::vector<std::vector<std::uint32_t>> missing_systems;
  // The alleles each population's missing typings are completed over; empty:
  // every allele of the system. Set before data set 0 is built.
  common::PopulationAlleles population_alleles;
  // [population][system]: expand::completing_population, NO_COMPLETION for
  // -1. Part of the look-up key of a phenotype with a missing typing, since
  // its pair list depends on it; filled with typing_pair_number.
  std::vector<std::vector<std::uint32_t>> completion;
  // The memory budget of the run (RunOptions::max_memory), 0: none. A data
  // set's own need (its pair lists and one estimation's work tables) is
  // checked against it; the cache of lists is let go whenever it would not
  // fit beside in_flight data sets of that size and threads estimations.
  std::int64_t memory_budget = 0;
  int in_flight = 1;
  int threads = 1;
  DataSetNeed observed_need;  // of data set 0
};

inline constexpr std::uint32_t NO_COMPLETION = UINT32_MAX;

enum class BuildStatus { built, too_many_tries };

// The bytes that pair lists of pair_total pairs in all take: both labels of
// every pair, and for each of the list_count lists what the list, its shared
// ownership and its place in the expansion cache take besides.
[[nodiscard]] std::int64_t pair_list_bytes(std::int64_t pair_total, std::int64_t list_count);

// Builds the observed data set 0: codes every individual, checks the
// haplotype count, checks the memory budget, then expands the phenotypes.
void build_observed_data_set(const common::RunInput& observed, PermutationState& state,
                             const layout::Sinks& sinks, BuiltDataSet& built);

// Builds permuted data set dataset_number (1 or more) from the observed records. A permuted data
// set that the expansion abandons (never one that keeps the missing
// patterns) is attempted again; when one needs
// MAX_TRIES attempts, the abort listing is written to the log and
// too_many_tries is returned (the caller stops the run with 7070 once the
// earlier data sets' output is complete). Messages of the build go to sinks,
// the abort listing to listing_log.
//
// Both builds throw common::FileError (no file, line 0) before expanding a
// data set whose new pair lists, with those the expansion cache holds, would
// take more than state.memory_budget bytes: the message names the data set,
// the bytes needed and the budget, and the longest new list with the
// individual that first shows its phenotype.
[[nodiscard]] BuildStatus build_data_set(int dataset_number, const common::RunInput& observed,
                                         PermutationState& state, const layout::Sinks& sinks,
                                         layout::Sink& listing_log, BuiltDataSet& built);

// Replays the shuffle of permuted data sets 1 .. count without building
// them: their attempts counted and their donors drawn, so that the next
// build is that of data set count + 1. Only for rules that keep the missing
// patterns, under which every data set is one attempt and one shuffle.
void skip_data_sets(PermutationState& state, int count);

}  // namespace driver
