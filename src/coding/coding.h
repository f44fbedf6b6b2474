#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/tables.h"
#include "layout/layout.h"

// The coding stage of every data set, whatever file it came from: each
// individual's typings turned into its distinct phenotype, tallied per
// population. Indexes are 0-based (populations, records, systems, distinct
// phenotypes).

namespace coding {

// A hash index over the distinct phenotypes of one DistinctPhenotypes table,
// so that coding an individual does not scan the whole list. It keys each
// phenotype by its typings with the two typings of every system in sorted
// order, which matches exactly when the typings match system by system in
// either order. Keep one index per table: it rebuilds itself whenever the
// table's distinct_count differs from the number of phenotypes it holds (as
// after DistinctPhenotypes::reset), but it cannot tell one table from another
// of the same count. The keys live in one flat array and the look-up is an
// open-addressing table of phenotype numbers, so that after the first data
// sets coding allocates nothing.
//
// A caller may give its own key instead (see code_individual): any bytes
// that are equal exactly when the typings match so. One index takes the keys
// of one kind only, and a keyed index rebuilds only an emptied table.
class PhenotypeIndex {
 public:
  // The 0-based distinct phenotype whose typings (or key, when not empty)
  // match, or -1.
  [[nodiscard]] int find(const common::RecordTypings& typings, int typing_count,
                         const common::DistinctPhenotypes& distinct, std::string_view key = {});
  // Records that distinct phenotype d has just been appended, with its key
  // when the look-up had one.
  void add(int d, const common::DistinctPhenotypes& distinct, int typing_count,
           std::string_view key = {});

 private:
  void rebuild(const common::DistinctPhenotypes& distinct, int typing_count, bool keyed);
  // The slot of key_: the one holding its phenotype, or the empty one where it would go.
  [[nodiscard]] std::size_t slot_of_key() const;
  void grow();

  std::string keys_;  // the key of phenotype d at d * key_size_
  std::size_t key_size_ = 0;
  int held_ = 0;            // phenotypes added since the last rebuild
  std::vector<int> slots_;  // a phenotype number, or -1; the size a power of 2
  std::string key_;         // reused key buffer
};

// Codes one individual of population `population` (record `record`, both
// 0-based) whose typings are record_typings[0 .. typing_count-1]: raises the
// tally of its distinct phenotype, appending a new distinct phenotype with its
// code string and first individual when none matches. Every tally row of
// distinct.phenotype_tally (sized by DistinctPhenotypes::reset) grows with
// the list, so each row always has distinct_count entries.
// Stops: 105 when a new phenotype would pass max_distinct_phenotypes (the
// data file's limit is MAX_DISTINCT_PHENOTYPES; no message); 375 for a typing
// of a new phenotype that is not in its system's allele list (message to the
// console only). A non-empty key replaces the index's own key of the
// typings (see PhenotypeIndex).

// A caller that knows the code string of the typings (a permuted individual
// carries its donors' letters) may give it as code; it is then not formed
// again from the allele lists.
void code_individual(int population, int record, const common::RecordTypings& record_typings,
                     const common::SystemTables& systems, int max_distinct_phenotypes,
                     common::DistinctPhenotypes& distinct, PhenotypeIndex& index,
                     const layout::Sinks& sinks, std::string_view key = {},
                     const common::CodeString* code = nullptr);

// The code string of some typings: the code letter of each typing (the
// missing code for a missing one), or nothing when a typing is in no allele
// list.
[[nodiscard]] std::optional<common::CodeString> known_code(const common::RecordTypings& typings,
                                                           const common::SystemTables& systems);

}  // namespace coding
