#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "common/limits.h"
#include "common/tables.h"
#include "common/text.h"
#include "expand/expand.h"
#include "layout/layout.h"

// The steps of the expansion of one distinct phenotype. System numbers and
// code positions are 0-based: system s has its typings at positions 2s and
// 2s + 1 of the code string and its letter at position s of a label.

namespace expand {

// The code positions of the two typings of system s.
[[nodiscard]] constexpr int first_typing(int s) { return 2 * s; }
[[nodiscard]] constexpr int second_typing(int s) { return 2 * s + 1; }

// Which fully typed systems are heterozygous. heterozygous_total is kept
// beside the flags, not derived from them, so that the phase enumeration can
// guard against the two disagreeing.
struct Heterozygosity {
  std::array<bool, common::MAX_SYSTEMS> system_heterozygous{};
  int heterozygous_total = 0;
};

// The classification of a phenotype's systems from its typings' text.
struct Classification {
  Heterozygosity heterozygosity;                          // fully typed systems only
  std::array<int, common::MAX_SYSTEMS> system_missing{};  // missing typings: 0, 1 or 2
  int half_missing_total = 0;                             // systems with one typing missing
  int full_missing_total = 0;                             // systems with both typings missing

  [[nodiscard]] int missing_total() const { return half_missing_total + full_missing_total; }
};

// A typing is missing when it is blank at the position of its system's name
// width; two present typings are heterozygous when they differ as text.
[[nodiscard]] Classification classify(const common::SystemTables& tables,
                                      const common::RecordTypings& typings);

// Whether the pair list of a classified phenotype goes into the expansion
// cache. A list completed over the alleles of a system with missing typings,
// or a long list, costs more to build than to look up. A short fully typed
// list (at most 2^(KEEP_FROM_HETEROZYGOUS - 2) phases) is built again faster
// than a look-up in a cache of hundreds of thousands of lists, each of which
// misses the processor's caches; keeping those lists would also grow the
// cache with every data set.
inline constexpr int KEEP_FROM_HETEROZYGOUS = 8;
[[nodiscard]] bool worth_keeping(const Classification& classification);

// The cache key of a classified phenotype; `population` (0-based) is the one
// whose alleles complete its missing typings, or -1 for every allele.
[[nodiscard]] ExpansionKey expansion_key(const common::CodeString& code, int system_count,
                                         const Classification& classification, int population);

// The alleles (0-based, ascending) that the completions of system m run
// over for a phenotype first met in `population`: the population's alleles
// there when population_alleles holds them, else every allele of m.
[[nodiscard]] std::span<const int> completion_alleles(
    const common::SystemTables& tables, const common::PopulationAlleles& population_alleles,
    int population, int m);

// completing_population for a classified phenotype, at its first system with
// a missing typing; -1 when nothing is missing. What the cache key holds.
[[nodiscard]] int completing_population(const common::SystemTables& tables,
                                        const common::PopulationAlleles& population_alleles,
                                        int population, const Classification& classification);

// Exchanges the letters at system position between the two labels. Throws
// common::Stop with stop code 1 when position is outside 0..system_count-1.
void exchange_alleles(common::Label& first, common::Label& second, int position, int system_count);

// Appends to pairs every phase of the complete code string code (no missing
// letter in its first 2 * system_count characters): 2^(h-1) pairs for h
// heterozygous systems, 1 when h <= 1. The first pair takes the first typing
// of every system on side 1; pair i (counted from 0) is that pair with the
// letters of the b-th highest heterozygous system (b from 0) exchanged for
// every bit b set in i. The lowest heterozygous system is never exchanged, so
// every unordered pair appears once.
void expand_phases(const common::CodeString& code, int system_count,
                   const Heterozygosity& heterozygosity, common::PairList& pairs);

// A code string cut around the typings of its one missing system. A part that
// holds EMPTY_PART_MARK first stands for no letters.
struct SplitCode {
  int missing_system = 0;
  int missing_position = 0;  // the missing typing, or the first of the two
  int other_position = 0;    // the present typing, or the second of the two
  common::CodeString left_part;
  common::CodeString right_part;
};

// Throws common::Stop with stop code 10 when no system is missing, 15 when
// one typing of it is missing but the code string holds no MISSING_CODE there.
[[nodiscard]] SplitCode split_at_missing_system(const common::CodeString& code, int system_count,
                                                const Classification& classification);

// The first observed individual with a phenotype, for the messages of the
// stops that the observed data raises.
struct ObservedIndividual {
  const common::Populations& populations;
  common::FirstIndividual individual;
};

// "record 3 of population "North" (number 2)", 1-based.
[[nodiscard]] std::string individual_text(const ObservedIndividual& first);

// What the missing-typing checks decide for one phenotype.
struct MissingCheck {
  bool abandon = false;     // the data set cannot be used
  int missing_system = -1;  // the system to complete, when one system is missing
};

// The checks for a phenotype with missing typings, in their fixed order:
// ABORTING message (log, then console) when more systems are missing than
// typed; abandon when more than two are missing; stop code 410 in data set 0
// (abandon in a permuted one) when more are missing than typed; abandon when
// two are missing; otherwise the one missing system. Guards 407, 409, 412.
// The explanation of stop 410 names `observed`, the phenotype's first individual.
[[nodiscard]] MissingCheck check_missing_typings(int dataset_number, int system_count,
                                                 const Classification& classification,
                                                 const ObservedIndividual& observed,
                                                 const layout::Sinks& sinks);

// a * b, or INT64_MAX with the product's sign when the product does not fit
// in 64 bits: the counts formed from allele counts saturate instead of
// overflowing.
[[nodiscard]] std::int64_t saturating_product(std::int64_t a, std::int64_t b);

// The explanation of stop code 304 for these tables.
[[nodiscard]] std::string haplotype_count_explanation(const common::SystemTables& tables);

// The number of pairs a phenotype expands into, from its count of heterozygous
// typed systems and, when one system is missing, that system's missing typings
// (1 or 2) and allele count.
[[nodiscard]] int expected_pair_total(int heterozygous_total, int missing_typings,
                                      int allele_count);

// The pair list of one phenotype that passed the checks: its phases, or when
// missing_system is a system (not -1) the phases of every completion of it
// by the given alleles of that system (0-based, ascending).
[[nodiscard]] common::PairList expand_phenotype(const common::SystemTables& tables,
                                                const common::CodeString& code,
                                                const Classification& classification,
                                                int missing_system, std::span<const int> alleles);
// The same, into pairs (emptied first; its capacity is kept).
void expand_phenotype_into(const common::SystemTables& tables, const common::CodeString& code,
                           const Classification& classification, int missing_system,
                           std::span<const int> alleles, common::PairList& pairs);

}  // namespace expand
