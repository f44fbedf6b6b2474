#include <algorithm>
#include <climits>
#include <string>
#include <string_view>

#include "common/count.h"
#include "common/stop.h"
#include "common/text.h"
#include "genotypes/genotypes.h"
#include "genotypes/genotypes_internal.h"
#include "genotypes/lines.h"

namespace genotypes {

using detail::join;

bool individual_kept(const Individual& row, std::span<const int> loci) {
  int missing = 0;
  for (const int locus : loci) {
    const std::array<std::string, 2>& cells = row.typings[locus];
    if (cells[0].empty() || cells[1].empty()) {
      ++missing;
    }
  }
  return missing < 2;
}

common::FirstAppearance population_order(const GenotypeData& table) {
  std::vector<std::string_view> populations;
  populations.reserve(table.individuals.size());
  for (const Individual& row : table.individuals) {
    populations.emplace_back(row.population);
  }
  return common::first_appearance(populations);
}

namespace {

// The allele names of each locus of the test among the kept rows, in byte order.
[[nodiscard]] std::vector<std::vector<std::string>> allele_lists(
    const GenotypeData& table, const TestSpec& test, const std::vector<bool>& kept_rows) {
  std::vector<std::vector<std::string>> lists;
  for (const int locus : test.loci) {
    std::vector<std::string> names;
    for (std::size_t r = 0; r < table.individuals.size(); ++r) {
      if (!kept_rows[r]) {
        continue;
      }
      for (const std::string& cell : table.individuals[r].typings[locus]) {
        if (!cell.empty()) {
          names.push_back(cell);
        }
      }
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    const std::string locus_text = join({"locus ", quoted(table.loci[locus].name)});
    if (names.empty()) {
      throw common::FileError{table.name, 0,
                              join({locus_text,
                                    " has no typed allele among the individuals"
                                    " kept for the test"})};
    }
    if (names.size() > static_cast<std::size_t>(MAX_LOCUS_ALLELES)) {
      throw common::FileError{
          table.name, 0,
          join({locus_text, " has ", std::to_string(names.size()),
                " alleles among the individuals kept for the test; a locus may have at most ",
                std::to_string(MAX_LOCUS_ALLELES)})};
    }
    lists.push_back(std::move(names));
  }
  return lists;
}

[[nodiscard]] common::SystemTables system_tables(
    const GenotypeData& table, const TestSpec& test,
    const std::vector<std::vector<std::string>>& alleles) {
  common::SystemTables systems;
  for (int s = 0; s < common::count_of(test.loci); ++s) {
    const int count = common::count_of(alleles[s]);
    systems.allele_count.push_back(count);
    systems.allele_name_width.push_back(common::MAX_NAME_WIDTH);
    std::vector<common::Typing>& names = systems.allele_name.emplace_back();
    std::vector<char>& codes = systems.allele_code.emplace_back();
    for (int a = 0; a < count; ++a) {
      names.emplace_back(detail::synthetic_typing(a));
      codes.push_back(detail::allele_code_of(a));
    }
    systems.system_title.emplace_back(table.loci[test.loci[s]].name);
  }
  return systems;
}

[[nodiscard]] common::Grouping grouping_of(const std::vector<std::vector<int>>& groups,
                                           const TestSpec& test,
                                           const common::SystemTables& systems) {
  common::Grouping grouping;
  for (const std::vector<int>& group : groups) {
    std::vector<int>& group_systems = grouping.group_systems.emplace_back();
    for (const int locus : group) {
      const auto at = std::lower_bound(test.loci.begin(), test.loci.end(), locus);
      group_systems.push_back(static_cast<int>(at - test.loci.begin()));
    }
    grouping.group_value_total.push_back(common::value_total(systems, group_systems));
  }
  return grouping;
}

// [table population][system]: whether nobody of the population has an allele
// typed at the test's locus.
[[nodiscard]] std::vector<std::vector<bool>> untyped_loci(const GenotypeData& table,
                                                          const TestSpec& test,
                                                          const common::FirstAppearance& order) {
  std::vector<std::vector<bool>> untyped(order.values.size(),
                                         std::vector<bool>(test.loci.size(), true));
  for (std::size_t r = 0; r < table.individuals.size(); ++r) {
    for (std::size_t s = 0; s < test.loci.size(); ++s) {
      const std::array<std::string, 2>& cells = table.individuals[r].typings[test.loci[s]];
      if (!cells[0].empty() || !cells[1].empty()) {
        untyped[order.number_of[r]][s] = false;
      }
    }
  }
  return untyped;
}

// Whether each row takes part: a locus untyped in the row's population (when
// untyped is given) is no missing typing of the row. Throws when nobody does.
[[nodiscard]] std::vector<bool> rows_kept(const GenotypeData& table, const TestSpec& test,
                                          const common::FirstAppearance& order,
                                          const std::vector<std::vector<bool>>& untyped) {
  std::vector<bool> kept;
  for (std::size_t r = 0; r < table.individuals.size(); ++r) {
    std::vector<int> counted;
    for (std::size_t s = 0; s < test.loci.size(); ++s) {
      if (untyped.empty() || !untyped[order.number_of[r]][s]) {
        counted.push_back(test.loci[s]);
      }
    }
    kept.push_back(individual_kept(table.individuals[r], counted));
  }
  if (std::find(kept.begin(), kept.end(), true) == kept.end()) {
    throw common::FileError{table.name, 0,
                            table.individuals.empty()
                                ? std::string("the table has no individual")
                                : std::string("no individual is left: every one has missing"
                                              " typings at two or more loci of the test")};
  }
  return kept;
}

[[nodiscard]] std::vector<int> systems_where(const std::vector<bool>& flags) {
  std::vector<int> systems;
  for (int s = 0; s < common::count_of(flags); ++s) {
    if (flags[s]) {
      systems.push_back(s);
    }
  }
  return systems;
}

// The record of a kept row: typings at 2s, 2s + 1 as the synthetic names of
// their alleles, blank where missing. A locus untyped in the row's
// population (untyped[s]) is given the locus's first allele twice: one value
// with frequency 1 adds the same to every likelihood and nothing to df.
[[nodiscard]] common::RecordTypings record_of(const Individual& row, const TestSpec& test,
                                              const std::vector<std::vector<std::string>>& alleles,
                                              const common::SystemTables& systems,
                                              const std::vector<bool>& untyped) {
  common::RecordTypings typings{};
  for (int s = 0; s < common::count_of(test.loci); ++s) {
    const std::array<std::string, 2>& cells = row.typings[test.loci[s]];
    if (!untyped.empty() && untyped[s]) {
      for (int k = 0; k < 2; ++k) {
        typings[2 * s + k] = systems.allele_name[s][0];
      }
      continue;
    }
    for (int k = 0; k < 2; ++k) {
      if (cells[k].empty()) {
        continue;
      }
      const auto at = std::lower_bound(alleles[s].begin(), alleles[s].end(), cells[k]);
      typings[2 * s + k] = systems.allele_name[s][at - alleles[s].begin()];
    }
  }
  return typings;
}

}  // namespace

TestInput make_run_input(const GenotypeData& table, const TestSpec& test, bool untyped_left_out) {
  const common::FirstAppearance order = population_order(table);
  std::vector<std::vector<bool>> untyped;
  if (untyped_left_out) {
    untyped = untyped_loci(table, test, order);
  }
  const std::vector<bool> kept_rows = rows_kept(table, test, order, untyped);
  const std::vector<std::vector<std::string>> alleles = allele_lists(table, test, kept_rows);

  TestInput result;
  common::RunInput& input = result.input;
  input.systems = system_tables(table, test, alleles);
  input.null_grouping = grouping_of(test.null_groups, test, input.systems);
  input.alt_grouping = grouping_of(test.alt_groups, test, input.systems);
  for (const int locus : test.loci) {
    input.locus_names.push_back(table.loci[locus].name);
  }
  input.allele_names = alleles;
  input.max_distinct_phenotypes = INT_MAX;

  // Counted in order of first appearance in the table, kept rows or not.
  const int table_populations = common::count_of(order.values);
  std::vector<int> kept_of(order.values.size(), 0);
  std::vector<int> excluded_of(order.values.size(), 0);
  for (std::size_t r = 0; r < table.individuals.size(); ++r) {
    ++(kept_rows[r] ? kept_of : excluded_of)[order.number_of[r]];
    if (!kept_rows[r]) {
      const Individual& row = table.individuals[r];
      result.excluded.push_back(ExcludedIndividual{row.population, row.line, row.id});
    }
  }
  // [table population]: its 0-based population of the run, -1 when dropped.
  std::vector<int> run_population(order.values.size(), -1);
  common::Populations& populations = input.populations;
  for (int p = 0; p < table_populations; ++p) {
    if (kept_of[p] == 0) {
      result.dropped_populations.push_back(order.values[p]);
      continue;
    }
    run_population[p] = populations.population_count();
    populations.population_names.emplace_back(order.values[p]);
    populations.phenotype_table.emplace_back().reserve(static_cast<std::size_t>(kept_of[p]));
    input.population_names.push_back(order.values[p]);
    input.excluded_count.push_back(excluded_of[p]);
    if (!untyped.empty()) {
      input.untyped_systems.push_back(systems_where(untyped[p]));
    }
  }
  for (std::size_t r = 0; r < table.individuals.size(); ++r) {
    if (kept_rows[r]) {
      populations.phenotype_table[run_population[order.number_of[r]]].push_back(
          record_of(table.individuals[r], test, alleles, input.systems,
                    untyped.empty() ? std::vector<bool>() : untyped[order.number_of[r]]));
    }
  }
  return result;
}

}  // namespace genotypes
