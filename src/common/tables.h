#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/count.h"
#include "common/limits.h"
#include "common/text.h"

// The run's tables, as plain data. Every index is 0-based: system s of the
// data file is index s - 1, its two typings stand at positions 2*(s-1) and
// 2*(s-1) + 1; populations, records, groups, alleles, distinct phenotypes and
// pairs are likewise counted from 0. Numbers shown to the user are 1-based.

namespace common {

// The systems of the data file header.
struct SystemTables {
  std::vector<int> allele_count;                 // per system as declared; 0 or less: none
  std::vector<int> allele_name_width;            // per system, 1..MAX_NAME_WIDTH
  std::vector<std::vector<Typing>> allele_name;  // [system][allele]
  std::vector<std::vector<char>> allele_code;    // [system][allele]
  std::vector<FixedText<30>> system_title;       // per system, for messages; may be empty
  FixedText<100> record_format;                  // layout of the phenotype records

  [[nodiscard]] int system_count() const { return count_of(allele_count); }
  [[nodiscard]] int typing_count() const { return 2 * system_count(); }
};

// The system of typing position k (0-based position, 0-based system).
[[nodiscard]] constexpr int system_of_typing(int k) { return k / 2; }

// A grouping of the systems (the null or the alternative grouping).
struct Grouping {
  std::vector<std::vector<int>> group_systems;  // [group][j]: 0-based system numbers
  // Per group: the number of its values, the product of its systems' allele
  // counts formed in double precision in group order (exact up to 2^53; a
  // genotype table's groups may have far more values than an int holds).
  std::vector<double> group_value_total;

  [[nodiscard]] int group_total() const { return count_of(group_systems); }
  // The number of systems in group g.
  [[nodiscard]] int group_size(int g) const { return count_of(group_systems[g]); }
};

// What makes an alternative grouping no alternative to the null grouping
// (groups of 0-based systems, each system named by name_of), or empty: the
// alternative must hold exactly the systems of the null, keep each null
// group inside one of its groups, and differ from the null.
[[nodiscard]] std::string grouping_problem(const std::vector<std::vector<int>>& null_groups,
                                           const std::vector<std::vector<int>>& alt_groups,
                                           const std::function<std::string(int)>& name_of);

// The value total of a group of the given 0-based systems.
[[nodiscard]] double value_total(const SystemTables& systems,
                                 const std::vector<int>& group_systems);

// One phenotype record's typings: positions 0 .. typing_count-1 are used.
using RecordTypings = std::array<Typing, MAX_TYPINGS>;

// The missing typings of a record at 0-based system s: 0, 1 or 2. A typing
// is missing when it is blank at the position of its system's name width.
[[nodiscard]] inline int missing_typing_count(const SystemTables& systems,
                                              const RecordTypings& typings, int s) {
  const auto last = static_cast<std::size_t>(systems.allele_name_width[s] - 1);
  const auto first = 2 * static_cast<std::size_t>(s);
  return (typings[first][last] == ' ' ? 1 : 0) + (typings[first + 1][last] == ' ' ? 1 : 0);
}

// The phenotype records of the observed data, by population.
struct Populations {
  std::vector<PopulationName> population_names;             // per population
  std::vector<std::vector<RecordTypings>> phenotype_table;  // [population][record]

  [[nodiscard]] int population_count() const { return count_of(phenotype_table); }
  // The number of records of population p.
  [[nodiscard]] int population_record_count(int p) const { return count_of(phenotype_table[p]); }
};

// The alleles each population has, where a population's alleles at a system
// are those its individuals show there in the observed data:
// [population][system] the 0-based alleles, ascending. An empty table: every
// population has every allele of every system.
using PopulationAlleles = std::vector<std::vector<std::vector<int>>>;

// donor_index[p][r][g]: the 0-based record of population p whose typings of
// null group g individual r carries in the current data set.
using DonorIndex = std::vector<std::vector<std::vector<int>>>;

// Where a distinct phenotype was first met: population and record, 0-based.
struct FirstIndividual {
  int population = 0;
  int record = 0;
};

// The distinct phenotypes of the data set under construction.
struct DistinctPhenotypes {
  std::vector<RecordTypings> distinct_typings;    // [d]: typings as first seen
  std::vector<CodeString> phenotype_code;         // [d]
  std::vector<FirstIndividual> first_individual;  // [d]
  std::vector<std::vector<int>> phenotype_tally;  // [population][d]

  [[nodiscard]] int distinct_count() const { return count_of(distinct_typings); }

  // Empties the list for a new attempt, with an empty tally row for every
  // population (the rows grow with the list).
  void reset(int population_count);
};

// The compatible haplotype pairs of one distinct phenotype, in slot order.
// pair_total is first.size() (== second.size()).
struct PairList {
  std::vector<Label> first;   // side 1 of every pair
  std::vector<Label> second;  // side 2 of every pair

  [[nodiscard]] int pair_total() const { return static_cast<int>(first.size()); }
};

// pair_labels of a data set: the pair list of every distinct phenotype d.
// A pair list depends only on the phenotype's code letters, on which of its
// systems have missing typings or are heterozygous, and on the allele tables,
// so data sets share the lists that the expansion cache keeps.
using PairLists = std::vector<std::shared_ptr<const PairList>>;

}  // namespace common
