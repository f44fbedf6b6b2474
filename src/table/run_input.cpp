#include <algorithm>
#include <climits>
#include <map>
#include <string>
#include <vector>

#include "common/stop.h"
#include "layout/layout.h"
#include "table/table.h"
#include "table/table_internal.h"

namespace table {
namespace {

// The code letter of the a-th allele (0-based): never blank, the missing
// mark "?" or the empty-part mark "^", so 251 letters are available.
char code_letter(int a) {
  constexpr int PRINTABLE = 126 - 33 + 1 - 2;  // 33..126 without '?' and '^'
  int byte = 0;
  if (a < PRINTABLE) {
    byte = 33 + a;
    if (byte >= '?') {
      ++byte;
    }
    if (byte >= '^') {
      ++byte;
    }
  } else if (a < PRINTABLE + 128) {
    byte = 128 + (a - PRINTABLE);
  } else {
    byte = 1 + (a - PRINTABLE - 128);
  }
  return static_cast<char>(static_cast<unsigned char>(byte));
}

// The typing text of the a-th allele: its number in five digits, never blank
// at the name width.
common::Typing typing_of(int a) {
  std::string digits = std::to_string(a + 1);
  digits.insert(0, 5 - digits.size(), '0');
  return common::Typing(digits);
}

bool kept(const Row& row, const std::vector<int>& loci) {
  int missing = 0;
  for (const int l : loci) {
    if (row.typings[l][0].empty() || row.typings[l][1].empty()) {
      ++missing;
    }
  }
  return missing < 2;
}

// The alleles of every test locus among the kept rows, in byte order.
std::vector<std::vector<std::string>> allele_lists(const GenotypeTable& table,
                                                   const std::vector<int>& loci,
                                                   const std::vector<char>& keep) {
  std::vector<std::vector<std::string>> alleles(loci.size());
  for (std::size_t s = 0; s < loci.size(); ++s) {
    std::vector<std::string>& names = alleles[s];
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
      for (const std::string& cell : table.rows[r].typings[loci[s]]) {
        if (keep[r] != 0 && !cell.empty()) {
          names.push_back(cell);
        }
      }
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    if (static_cast<int>(names.size()) > MAX_TABLE_ALLELES) {
      throw common::FileError{table.name, 0,
                              "locus \"" + layout::printable(table.loci[loci[s]].name) + "\" has " +
                                  std::to_string(names.size()) + " alleles; at most " +
                                  std::to_string(MAX_TABLE_ALLELES) + " are allowed"};
    }
  }
  return alleles;
}

void fill_systems(const std::vector<std::vector<std::string>>& alleles, common::RunInput& input) {
  common::SystemTables& systems = input.systems;
  systems.system_count = static_cast<int>(alleles.size());
  for (const std::vector<std::string>& names : alleles) {
    const int count = static_cast<int>(names.size());
    systems.allele_count.push_back(count);
    systems.allele_name_width.push_back(5);
    std::vector<common::Typing>& typings = systems.allele_name.emplace_back();
    std::vector<char>& codes = systems.allele_code.emplace_back();
    for (int a = 0; a < count; ++a) {
      typings.push_back(typing_of(a));
      codes.push_back(code_letter(a));
    }
    input.allele_names.push_back(names);
  }
}

common::Grouping make_grouping(const std::vector<std::vector<int>>& groups,
                               const std::vector<int>& loci, const common::SystemTables& systems) {
  common::Grouping grouping;
  grouping.group_total = static_cast<int>(groups.size());
  for (const std::vector<int>& group : groups) {
    std::vector<int>& members = grouping.group_systems.emplace_back();
    for (const int l : group) {
      members.push_back(static_cast<int>(std::find(loci.begin(), loci.end(), l) - loci.begin()));
    }
    grouping.group_size.push_back(static_cast<int>(members.size()));
    grouping.group_value_total.push_back(common::value_total(systems, members));
  }
  return grouping;
}

// The records of one kept row: the typing text of each allele, blank when missing.
common::RecordTypings record_of(const Row& row, const std::vector<int>& loci,
                                const std::vector<std::vector<std::string>>& alleles) {
  common::RecordTypings record{};
  for (std::size_t s = 0; s < loci.size(); ++s) {
    for (int k = 0; k < 2; ++k) {
      const std::string& cell = row.typings[loci[s]][k];
      if (!cell.empty()) {
        const auto a = std::lower_bound(alleles[s].begin(), alleles[s].end(), cell);
        record[2 * s + k] = typing_of(static_cast<int>(a - alleles[s].begin()));
      }
    }
  }
  return record;
}

}  // namespace

TableInput make_run_input(const GenotypeTable& table, const TestSpec& test) {
  TableInput made;
  std::vector<char> keep;
  for (const Row& row : table.rows) {
    keep.push_back(kept(row, test.loci) ? 1 : 0);
  }
  const std::vector<std::vector<std::string>> alleles = allele_lists(table, test.loci, keep);
  common::RunInput& input = made.input;
  fill_systems(alleles, input);
  for (const int l : test.loci) {
    input.locus_names.push_back(table.loci[l].name);
  }
  input.null_grouping = make_grouping(test.null_groups, test.loci, input.systems);
  input.alt_grouping = make_grouping(test.alt_groups, test.loci, input.systems);
  input.max_distinct_phenotypes = INT_MAX;

  // Populations by first appearance, kept or not; their kept records in table order.
  std::vector<std::string> names;
  std::map<std::string, int> number;
  std::vector<std::vector<common::RecordTypings>> records;
  std::vector<int> excluded;
  for (std::size_t r = 0; r < table.rows.size(); ++r) {
    const Row& row = table.rows[r];
    const auto [at, is_new] = number.try_emplace(row.population, static_cast<int>(names.size()));
    if (is_new) {
      names.push_back(row.population);
      records.emplace_back();
      excluded.push_back(0);
    }
    if (keep[r] != 0) {
      records[at->second].push_back(record_of(row, test.loci, alleles));
    } else {
      ++excluded[at->second];
      made.excluded.push_back({row.population, row.line, row.id});
    }
  }
  common::Populations& populations = input.populations;
  for (std::size_t p = 0; p < names.size(); ++p) {
    if (records[p].empty()) {
      made.dropped_populations.push_back(names[p]);
      continue;
    }
    populations.population_names.emplace_back(names[p]);
    populations.population_record_count.push_back(static_cast<int>(records[p].size()));
    populations.phenotype_table.push_back(std::move(records[p]));
    input.population_names.push_back(names[p]);
    input.excluded_count.push_back(excluded[p]);
  }
  populations.population_count = static_cast<int>(populations.phenotype_table.size());
  if (populations.population_count == 0) {
    throw common::FileError{table.name, 0,
                            "no individual is left to analyse: every row misses typings at two "
                            "or more loci of the test"};
  }
  return made;
}

}  // namespace table
