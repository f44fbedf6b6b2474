#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/count.h"
#include "common/stop.h"
#include "driver/build_internal.h"
#include "driver/memory_internal.h"

namespace driver {
namespace {

// A pair: its two labels.
constexpr auto PAIR_BYTES = static_cast<std::int64_t>(2 * sizeof(common::Label));
// What a pair list takes besides its labels: the list and its two vectors,
// the shared ownership, and the cache's node, key and bucket.
constexpr std::int64_t LIST_OVERHEAD_BYTES = 256;
constexpr std::int64_t MEBIBYTE = std::int64_t{1} << 20;
// The estimation's work tables per pair of a population's phenotypes: the
// E-step's and the likelihood's value indices, the single-group pass's
// indices, factors and shares, and the additions to the counts.
constexpr std::int64_t ESTIMATION_BYTES_PER_PAIR = 128;
// The cache of pair lists saves rebuilding the lists that permuted data sets
// share; beyond this it is let go, so that memory does not grow with the
// number of data sets.
constexpr std::int64_t CACHE_AT_MOST = std::int64_t{64} << 20;

// "N bytes", with the mebibytes rounded up or down when there is one.
std::string bytes_text(std::int64_t bytes, bool round_up) {
  std::string text = layout::integer_text(bytes) + " bytes";
  if (bytes >= MEBIBYTE) {
    const std::int64_t mebibytes = (bytes + (round_up ? MEBIBYTE - 1 : 0)) / MEBIBYTE;
    text += " (" + layout::integer_text(mebibytes) + " MiB)";
  }
  return text;
}

// The refusal of a data set that needs `needed` bytes alone; `longest` is
// its longest list.
[[noreturn]] void refuse_data_set(int dataset_number, const common::RunInput& observed,
                                  const common::DistinctPhenotypes& distinct, int longest,
                                  const expand::PairCount& count, std::int64_t needed,
                                  std::int64_t budget) {
  const bool permuted = dataset_number > 0;
  std::string what = permuted ? "permuted data set " + layout::integer_text(dataset_number)
                              : std::string("the observed data set");
  what += " needs " + bytes_text(needed, true) +
          " for its haplotype-pair lists and their estimation, more than the memory budget of " +
          bytes_text(budget, false) + "; its longest list, " +
          layout::integer_text(count.pair_total) +
          " pairs, is that of the phenotype first met at " +
          expand::pair_count_text(observed.systems, observed.populations,
                                  distinct.first_individual[longest], count);
  if (permuted) {
    what += " (a record of the permuted data set, not of the data file)";
  }
  what += count.missing_system >= 0
              ? "; type the missing system, leave out the individuals missing a highly"
                " polymorphic system, or raise --max-memory"
              : "; raise --max-memory, or test fewer systems at once";
  throw common::MemoryRefusal{dataset_number, needed, budget, what};
}

// The need of the data set in state.distinct from the pair counts of its
// distinct phenotypes (0 where a list is that of an earlier phenotype).
DataSetNeed need_of(const PermutationState& state, const std::vector<int>& pair_totals) {
  DataSetNeed need;
  for (const int pairs : pair_totals) {
    if (pairs > 0) {
      need.lists += pair_list_bytes(pairs, 1);
    }
  }
  std::int64_t largest = 0;
  for (const std::vector<int>& tally : state.distinct.phenotype_tally) {
    std::int64_t pairs = 0;
    for (int d = 0; d < common::count_of(pair_totals) && d < common::count_of(tally); ++d) {
      pairs += tally[d] > 0 ? pair_totals[d] : 0;
    }
    largest = std::max(largest, pairs);
  }
  need.estimation = largest * ESTIMATION_BYTES_PER_PAIR;
  return need;
}

// Refuses a data set that needs more than the whole budget, before it is
// expanded, and lets the cache of lists go when it would not fit beside the
// data sets in flight. Returns the data set's need.
DataSetNeed check_memory_budget(int dataset_number, const common::RunInput& observed,
                                PermutationState& state) {
  if (state.memory_budget <= 0) {
    if (pair_list_bytes(state.expansions.pair_total(), state.expansions.size()) > CACHE_AT_MOST) {
      state.expansions = expand::ExpansionCache{};
      give_back_freed_memory();
    }
    return {};
  }
  // Counting every list over every allele of its systems overstates the
  // need; within the budget, that settles it.
  std::vector<int> totals;
  for (int d = 0; d < state.distinct.distinct_count(); ++d) {
    const int pair_total =
        expand::count_pairs(observed.systems, state.distinct.distinct_typings[d]).pair_total;
    if (pair_total == 0) {
      break;  // missing typings in two or more systems: the expansion ends here
    }
    totals.push_back(pair_total);
  }
  DataSetNeed need = need_of(state, totals);
  if (need.total() > state.memory_budget) {
    const std::vector<expand::PairCount> counts = expand::count_new_pairs(
        observed.systems, state.distinct, state.population_alleles, expand::ExpansionCache{});
    int longest = -1;
    for (int d = 0; d < common::count_of(counts); ++d) {
      totals[static_cast<std::size_t>(d)] = counts[d].pair_total;
      if (counts[d].pair_total > 0 &&
          (longest < 0 || counts[d].pair_total > counts[longest].pair_total)) {
        longest = d;
      }
    }
    need = need_of(state, totals);
    if (need.total() > state.memory_budget && longest >= 0) {
      refuse_data_set(dataset_number, observed, state.distinct, longest, counts[longest],
                      need.total(), state.memory_budget);
    }
  }
  const std::int64_t kept = pair_list_bytes(state.expansions.pair_total(), state.expansions.size());
  if (kept > 0 && (kept > CACHE_AT_MOST ||
                   kept + need.lists * state.in_flight + need.estimation * state.threads >
                       state.memory_budget)) {
    state.expansions = expand::ExpansionCache{};
    give_back_freed_memory();
  }
  return need;
}

// The systems at which some typings miss a typing, as bits.
std::uint32_t missing_systems_of(const common::SystemTables& systems,
                                 const common::RecordTypings& typings) {
  std::uint32_t bits = 0;
  for (int k = 0; k < systems.typing_count(); ++k) {
    if (expand::typing_missing(systems, typings, k)) {
      bits |= std::uint32_t{1} << common::system_of_typing(k);
    }
  }
  return bits;
}

// Numbers, system by system, the unordered pairs of typings that the
// observed records show (as text, trailing blanks included): two
// individuals have the same phenotype exactly when their numbers agree at
// every system, and a permuted individual carries its donors' pairs.
void number_typing_pairs(const common::RunInput& observed, PermutationState& state) {
  const common::Populations& populations = observed.populations;
  std::vector<std::map<std::pair<std::string_view, std::string_view>, std::uint32_t>> numbers(
      static_cast<std::size_t>(observed.systems.system_count()));
  state.typing_pair_number.assign(static_cast<std::size_t>(populations.population_count()), {});
  state.typing_code.assign(static_cast<std::size_t>(populations.population_count()), {});
  state.missing_systems.assign(static_cast<std::size_t>(populations.population_count()), {});
  state.completion.assign(static_cast<std::size_t>(populations.population_count()), {});
  for (int p = 0; p < populations.population_count(); ++p) {
    const auto pi = static_cast<std::size_t>(p);
    for (int s = 0; s < observed.systems.system_count(); ++s) {
      const int q = expand::completing_population(observed.systems, state.population_alleles, p, s);
      state.completion[pi].push_back(q < 0 ? NO_COMPLETION : static_cast<std::uint32_t>(q));
    }
    for (const common::RecordTypings& typings : populations.phenotype_table[pi]) {
      state.typing_code[pi].push_back(coding::known_code(typings, observed.systems));
      state.missing_systems[pi].push_back(missing_systems_of(observed.systems, typings));
      std::array<std::uint32_t, common::MAX_SYSTEMS>& row =
          state.typing_pair_number[pi].emplace_back();
      for (int s = 0; s < observed.systems.system_count(); ++s) {
        const auto first = 2 * static_cast<std::size_t>(s);
        std::pair<std::string_view, std::string_view> pair{typings[first].view(),
                                                           typings[first + 1].view()};
        if (pair.second < pair.first) {
          std::swap(pair.first, pair.second);
        }
        auto& of_system = numbers[static_cast<std::size_t>(s)];
        row[static_cast<std::size_t>(s)] =
            of_system.try_emplace(pair, static_cast<std::uint32_t>(of_system.size())).first->second;
      }
    }
  }
}

constexpr std::size_t NUMBER_BYTES = sizeof(std::uint32_t);

// What a permuted individual takes from its donors: the numbers of their
// typing pairs (at NUMBER_BYTES * s for system s), their code letters, and
// the systems at which they miss a typing.
struct FromDonors {
  // One more number after the systems': see code_data_set.
  std::array<char, NUMBER_BYTES*(common::MAX_SYSTEMS + 1)> key{};
  common::CodeString code;
  bool code_known = true;
  std::uint32_t missing_systems = 0;
};

void take_from_donors(const PermutationState& state, const common::Grouping& null_grouping, int p,
                      int i, FromDonors& taken) {
  const auto pi = static_cast<std::size_t>(p);
  const std::vector<int>& donors = state.donor_index[pi][static_cast<std::size_t>(i)];
  taken.code_known = true;
  taken.missing_systems = 0;
  for (int g = 0; g < null_grouping.group_total(); ++g) {
    const auto donor = static_cast<std::size_t>(donors[g]);
    const auto& numbers = state.typing_pair_number[pi][donor];
    const std::optional<common::CodeString>& letters = state.typing_code[pi][donor];
    taken.code_known = taken.code_known && letters.has_value();
    for (const int s : null_grouping.group_systems[g]) {
      const auto system = static_cast<std::size_t>(s);
      std::memcpy(taken.key.data() + NUMBER_BYTES * system, &numbers[system], NUMBER_BYTES);
      taken.missing_systems |= state.missing_systems[pi][donor] & (std::uint32_t{1} << s);
      if (letters) {
        taken.code[2 * system] = (*letters)[2 * system];
        taken.code[2 * system + 1] = (*letters)[2 * system + 1];
      }
    }
  }
}

// Assembles and codes every individual of the data set from its donors,
// each looked up by the numbers of its donors' typing pairs. When the
// populations have alleles of their own, the key ends with the completion
// of the individual's missing typings (at its first system with one):
// individuals of two populations share a phenotype only when their missing
// typings are completed over the same alleles.
void code_data_set(const common::RunInput& observed, PermutationState& state,
                   const layout::Sinks& sinks) {
  const common::Populations& populations = observed.populations;
  if (common::count_of(state.typing_pair_number) != populations.population_count()) {
    number_typing_pairs(observed, state);
  }
  state.distinct.reset(populations.population_count());
  common::RecordTypings record_typings{};
  FromDonors taken;
  const bool by_population = !state.population_alleles.empty();
  const auto system_count = static_cast<std::size_t>(observed.systems.system_count());
  const std::string_view key_view(taken.key.data(),
                                  NUMBER_BYTES * (system_count + (by_population ? 1 : 0)));
  for (int p = 0; p < populations.population_count(); ++p) {
    for (int i = 0; i < populations.population_record_count(p); ++i) {
      take_from_donors(state, observed.null_grouping, p, i, taken);
      if (by_population) {
        const std::uint32_t completion =
            taken.missing_systems == 0
                ? NO_COMPLETION
                : state.completion[static_cast<std::size_t>(p)][static_cast<std::size_t>(
                      std::countr_zero(taken.missing_systems))];
        std::memcpy(taken.key.data() + NUMBER_BYTES * system_count, &completion, NUMBER_BYTES);
      }
      permute::assemble_record(populations, observed.null_grouping, state.donor_index, p, i,
                               record_typings);
      coding::code_individual(
          p, i, record_typings, observed.systems, observed.max_distinct_phenotypes, state.distinct,
          state.phenotype_index, sinks, key_view, taken.code_known ? &taken.code : nullptr);
    }
  }
}

// The hand-over: tallies per population and their sums, and the pair lists.
void hand_over(const common::RunInput& observed, const PermutationState& state,
               common::PairLists pair_labels, BuiltDataSet& built) {
  const int population_count = observed.populations.population_count();
  const int distinct_count = state.distinct.distinct_count();
  built.phenotype_count.assign(static_cast<std::size_t>(population_count), {});
  built.population_size.assign(static_cast<std::size_t>(population_count), 0);
  for (int p = 0; p < population_count; ++p) {
    const auto pi = static_cast<std::size_t>(p);
    std::vector<int>& column = built.phenotype_count[pi];
    column = state.distinct.phenotype_tally[pi];
    column.resize(static_cast<std::size_t>(distinct_count), 0);
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
  const DataSetNeed need = check_memory_budget(dataset_number, observed, state);
  if (dataset_number == 0) {
    state.observed_need = need;
  }
  return expand::expand_phenotypes(dataset_number, observed.systems, observed.populations,
                                   state.distinct, state.population_alleles, state.expansions,
                                   sinks, pair_labels);
}

}  // namespace

std::int64_t pair_list_bytes(std::int64_t pair_total, std::int64_t list_count) {
  return pair_total * PAIR_BYTES + list_count * LIST_OVERHEAD_BYTES;
}

void build_observed_data_set(const common::RunInput& observed, PermutationState& state,
                             const layout::Sinks& sinks, BuiltDataSet& built) {
  const int group_total = observed.null_grouping.group_total();
  state.donor_index = permute::identity_donor_index(observed.populations, group_total);
  state.donor_classes = state.keep_missing_patterns
                            ? permute::missing_pattern_classes(
                                  observed.systems, observed.populations, observed.null_grouping)
                            : permute::whole_population_classes(observed.populations, group_total);
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

DataSetBuilder::DataSetBuilder(const common::RunInput& input, int permutations, std::int32_t seed)
    : input_(input), state_(std::make_unique<PermutationState>(permutations, seed)) {}

DataSetBuilder::~DataSetBuilder() = default;

bool DataSetBuilder::build(int dataset_number, const layout::Sinks& sinks, BuiltDataSet& built) {
  if (dataset_number == 0) {
    build_observed_data_set(input_, *state_, sinks, built);
    return true;
  }
  return build_data_set(dataset_number, input_, *state_, sinks, sinks.log, built) ==
         BuildStatus::built;
}

const common::DistinctPhenotypes& DataSetBuilder::distinct_phenotypes() const {
  return state_->distinct;
}

BuildStatus build_data_set(int dataset_number, const common::RunInput& observed,
                           PermutationState& state, const layout::Sinks& sinks,
                           layout::Sink& listing_log, BuiltDataSet& built) {
  assert(dataset_number >= 1);
  common::PairLists pair_labels;
  for (;;) {
    if (state.try_count.begin_attempt(dataset_number) == permute::AttemptStatus::too_many) {
      permute::write_abort_listing(dataset_number, state.try_count, listing_log);
      return BuildStatus::too_many_tries;
    }
    permute::shuffle_donors(state.donor_classes, state.generator, state.donor_index);
    code_data_set(observed, state, sinks);
    if (expand_data_set(dataset_number, observed, state, sinks, pair_labels) ==
        expand::ExpandStatus::done) {
      break;
    }
    // An individual that keeps its own missing typings misses what it misses
    // in the observed data set, which expanded; only the classic shuffle
    // abandons.
    assert(!state.keep_missing_patterns);
    // An abandoned permuted data set: a new attempt from fresh donors.
  }
  hand_over(observed, state, std::move(pair_labels), built);
  return BuildStatus::built;
}

void skip_data_sets(PermutationState& state, int count) {
  assert(count == 0 || state.keep_missing_patterns);
  for (int dataset_number = 1; dataset_number <= count; ++dataset_number) {
    (void)state.try_count.begin_attempt(dataset_number);
    permute::shuffle_donors(state.donor_classes, state.generator, state.donor_index);
  }
}

}  // namespace driver
