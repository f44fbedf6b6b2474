#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/tables.h"
#include "common/text.h"
#include "layout/layout.h"

// Phenotype expansion: the haplotype count check and the expansion of every
// distinct phenotype, missing typings included, into the complete list of
// compatible haplotype pairs.

namespace expand {

// The haplotype count check, made once before the observed data set is
// expanded: haplotype_total (the product of the allele counts of all systems) must
// equal the number of combinations of one allele from each of systems 1 and 2
// and from every later system that has alleles. Throws common::Stop with stop
// code 304, no message, when they differ (a later system without alleles).
void check_haplotype_count(const common::SystemTables& tables);

enum class ExpandStatus {
  done,       // every distinct phenotype has its pair list
  abandoned,  // a permuted data set is unusable; the caller starts a new attempt
};

// What the pair list of a distinct phenotype depends on, besides the allele
// tables: its code letters, for every system whether its typings are
// missing (which is read from the typings' text, not from the code letters)
// and whether it is heterozygous, and, when its missing typings are
// completed over the alleles of its population only, that population.
struct ExpansionKey {
  common::CodeString code;
  common::FixedText<common::MAX_SYSTEMS> system_class;
  int population = -1;  // 0-based; -1: completed over every allele, or nothing missing

  friend bool operator==(const ExpansionKey&, const ExpansionKey&) = default;
};

struct ExpansionKeyHash {
  [[nodiscard]] std::size_t operator()(const ExpansionKey& key) const;
};

// Pair lists already built, shared between data sets: a permuted data set
// mostly meets the phenotypes of earlier data sets again. expand_phenotypes
// keeps only the lists that cost more to build than to look up: those
// completed over a system with missing typings, and long ones. One cache
// serves one set of system tables (those of the run) and one thread.
class ExpansionCache {
 public:
  // The list kept for key, or null.
  [[nodiscard]] std::shared_ptr<const common::PairList> find(const ExpansionKey& key) const;
  void insert(const ExpansionKey& key, std::shared_ptr<const common::PairList> pairs);
  [[nodiscard]] int size() const;
  // The pairs of all the lists kept.
  [[nodiscard]] std::int64_t pair_total() const { return pair_total_; }

  // An empty list for a phenotype whose list is not kept: one that no data
  // set holds any more, emptied with its capacity kept, or a new one. Saves
  // an allocation per list per data set; the lists handed out may be held
  // by other threads only while their data set is, and are handed out again
  // only by the thread that builds the data sets.
  [[nodiscard]] std::shared_ptr<common::PairList> reusable_list();

 private:
  // At most this many lists wait for reuse; beyond, lists are not recycled.
  static constexpr std::size_t RECYCLED_AT_MOST = 1 << 16;
  std::vector<std::shared_ptr<common::PairList>> recycled_;
  std::size_t next_recycled_ = 0;

  // Used for look-up only; nothing is produced by walking it, so its order
  // never reaches the output.
  std::unordered_map<ExpansionKey, std::shared_ptr<const common::PairList>, ExpansionKeyHash>
      lists_;
  std::int64_t pair_total_ = 0;
};

// The size of a phenotype's pair list, counted from its typings without
// building it: 2^(h-1) phases for h heterozygous typed systems (1 when h is
// 0); with one missing system of n alleles, the phases of each completion
// (n of one missing typing, n(n+1)/2 of two), n - 1 or n(n-1)/2 of them
// heterozygous at that system.
struct PairCount {
  int pair_total = 0;          // 0: never expanded (missing typings in two or more systems)
  int heterozygous_total = 0;  // of the fully typed systems
  int missing_system = -1;     // the system with missing typings, 0-based; -1: none
  int missing_typings = 0;     // of missing_system: 1 or 2
  int completion_alleles = 0;  // the alleles of missing_system completed over
};

// The count with every allele of the missing system completed over: never
// below the count of a completion over a population's alleles.
[[nodiscard]] PairCount count_pairs(const common::SystemTables& tables,
                                    const common::RecordTypings& typings);

// Whether typing position k (0-based) of some typings is missing: blank at
// the name width of its system, whatever allele name it may equal.
[[nodiscard]] bool typing_missing(const common::SystemTables& tables,
                                  const common::RecordTypings& typings, int k);

// The alleles each population shows at each system (typings that are
// missing or in no allele list aside), for the rule that a population's
// alleles are those typed in it. A system at which nobody of a population is
// typed keeps every allele there: nothing in the population tells its
// alleles apart, and its completions still sum to the other systems' margin.
[[nodiscard]] common::PopulationAlleles typed_alleles(const common::SystemTables& tables,
                                                      const common::Populations& populations);

// Which completion of the missing typings at system s a phenotype of
// `population` (0-based) has: -1 when it is completed over every allele of s
// (always, when population_alleles is empty), else the first population with
// the same alleles at s as `population`. Phenotypes of populations with the
// same answer have the same pair lists.
[[nodiscard]] int completing_population(const common::SystemTables& tables,
                                        const common::PopulationAlleles& population_alleles,
                                        int population, int s);

// The pair lists that expand_phenotypes would build for these distinct
// phenotypes (completed as population_alleles says), kept in cache or not, in order: entry d counts
// distinct phenotype d, with pair_total 0 when its list is in cache or is that of an earlier entry.
// The entries end before the first phenotype with missing typings in two or more systems, where the
// expansion stops the run or abandons the data set.
[[nodiscard]] std::vector<PairCount> count_new_pairs(
    const common::SystemTables& tables, const common::DistinctPhenotypes& distinct,
    const common::PopulationAlleles& population_alleles, const ExpansionCache& cache);

// For messages: "record 3 of population "North" (number 2), heterozygous in 8
// of its 9 typed systems, both typings of system 10 missing (14 alleles)", where
// first is the phenotype's first individual (0-based, as stored) and count
// its PairCount.
[[nodiscard]] std::string pair_count_text(const common::SystemTables& tables,
                                          const common::Populations& populations,
                                          const common::FirstIndividual& first,
                                          const PairCount& count);

// Expands the distinct phenotypes of data set dataset_number (0: the observed
// data) in order into pair_labels (resized to distinct_count; entry d is the
// pair list of distinct phenotype d, 0-based). A phenotype may have missing
// typings in one system only; it is then completed over every allele of that
// system, or, when population_alleles is not empty, over the alleles there of
// the population of its first individual (the caller keeps such phenotypes
// apart by population). A list worth keeping is taken from cache, or built and added to it;
// any other list is built for its phenotype alone.
//
// A phenotype with more missing than typed systems first writes the ABORTING
// message to the log, then to the console (each time such a phenotype is
// met). A phenotype with missing typings in two or more systems makes the
// data set unusable:
// - in a permuted data set the result is ExpandStatus::abandoned and
//   pair_labels is left incomplete;
// - in data set 0, common::Stop with stop code 410 when there are at most two
//   missing systems and more missing than typed ones; otherwise a message to
//   the console, then the log, naming the population and the 1-based record
//   of the first individual with the phenotype, and stop code 411.
// Consistency guards throw common::Stop with stop codes 1, 10, 15, 407, 409
// or 412 and no message.
[[nodiscard]] ExpandStatus expand_phenotypes(int dataset_number, const common::SystemTables& tables,
                                             const common::Populations& populations,
                                             const common::DistinctPhenotypes& distinct,
                                             const common::PopulationAlleles& population_alleles,
                                             ExpansionCache& cache, const layout::Sinks& sinks,
                                             common::PairLists& pair_labels);

}  // namespace expand
