#include <cassert>

#include "driver/build_internal.h"

namespace driver {
namespace {

// Assembles and codes every individual of the data set from its donors.
void code_data_set(const common::RunInput& observed, PermutationState& state,
                   const layout::Sinks& sinks) {
  const common::Populations& populations = observed.populations;
  state.distinct.reset(populations.population_count);
  common::RecordTypings record_typings{};
  for (int p = 0; p < populations.population_count; ++p) {
    for (int i = 0; i < populations.population_record_count[static_cast<std::size_t>(p)]; ++i) {
      permute::assemble_record(populations, observed.null_grouping, state.donor_index, p, i,
                               record_typings);
      input::code_individual(p, i, record_typings, observed.systems,
                             observed.max_distinct_phenotypes, state.distinct,
                             state.phenotype_index, sinks);
    }
  }
}

// The hand-over: tallies per population and their sums, and the pair lists.
void hand_over(const common::RunInput& observed, const PermutationState& state,
               common::PairLists pair_labels, BuiltDataSet& built) {
  const int population_count = observed.populations.population_count;
  built.distinct_count = state.distinct.distinct_count;
  built.phenotype_count.assign(static_cast<std::size_t>(population_count), {});
  built.population_size.assign(static_cast<std::size_t>(population_count), 0);
  for (int p = 0; p < population_count; ++p) {
    const auto pi = static_cast<std::size_t>(p);
    std::vector<int>& column = built.phenotype_count[pi];
    column = state.distinct.phenotype_tally[pi];
    column.resize(static_cast<std::size_t>(built.distinct_count), 0);
    for (const int count : column) {
      built.population_size[pi] += count;
    }
  }
  built.pair_labels = std::move(pair_labels);
}

[[nodiscard]] expand::ExpandStatus expand_data_set(int dataset_number,
                                                  const common::RunInput& observed,
                                                  PermutationState& state,
                                                  const layout::Sinks& sinks,
                                                  common::PairLists& pair_labels) {
  return expand::expand_phenotypes(dataset_number, observed.systems, observed.populations,
                                   state.distinct, state.expansions, sinks, pair_labels);
}

}  // namespace

void build_observed_data_set(const common::RunInput& observed, PermutationState& state,
                             const layout::Sinks& sinks, BuiltDataSet& built) {
  built.dataset_number = 0;
  state.donor_index = permute::identity_donor_index(observed.populations,
                                                    observed.null_grouping.group_total);
  code_data_set(observed, state, sinks);
  expand::check_haplotype_count(observed.systems);
  common::PairLists pair_labels;
  // The observed data set is never abandoned: the expansion stops the run
  // instead, since attempting it again would rebuild the same data.
  const expand::ExpandStatus status = expand_data_set(0, observed, state, sinks, pair_labels);
  assert(status == expand::ExpandStatus::done);
  (void)status;
  hand_over(observed, state, std::move(pair_labels), built);
}

BuildStatus build_data_set(int dataset_number, const common::RunInput& observed,
                           PermutationState& state, const layout::Sinks& sinks,
                           layout::Sink& listing_log, BuiltDataSet& built) {
  assert(dataset_number >= 1);
  built.dataset_number = dataset_number;
  common::PairLists pair_labels;
  for (;;) {
    if (state.try_count.begin_attempt(dataset_number) == permute::AttemptStatus::too_many) {
      permute::write_abort_listing(dataset_number, state.try_count, listing_log);
      return BuildStatus::too_many_tries;
    }
    permute::shuffle_donors(observed.populations, observed.null_grouping.group_total,
                            state.generator, state.donor_index);
    code_data_set(observed, state, sinks);
    if (expand_data_set(dataset_number, observed, state, sinks, pair_labels) ==
        expand::ExpandStatus::done) {
      break;
    }
    // An abandoned permuted data set: a new attempt from fresh donors.
  }
  hand_over(observed, state, std::move(pair_labels), built);
  return BuildStatus::built;
}

}  // namespace driver
