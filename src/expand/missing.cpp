#include <algorithm>
#include <array>
#include <cassert>
#include <span>
#include <string_view>
#include <vector>

#include "common/count.h"
#include "common/limits.h"
#include "common/stop.h"
#include "expand/expand_internal.h"

namespace expand {

namespace {

// The lowest system from `from` up with a missing typing, or -1.
int next_missing_system(const Classification& classification, int system_count, int from) {
  for (int s = from; s < system_count; ++s) {
    if (classification.system_missing[s] != 0) {
      return s;
    }
  }
  return -1;
}

// Code positions [from, to) as a part, or the empty mark when there are none.
common::CodeString code_part(const common::CodeString& code, int from, int to) {
  if (from >= to) {
    return common::CodeString(std::string_view(&common::EMPTY_PART_MARK, 1));
  }
  return common::CodeString(
      code.view().substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from)));
}

}  // namespace

SplitCode split_at_missing_system(const common::CodeString& code, int system_count,
                                  const Classification& classification) {
  const int typing_count = 2 * system_count;
  SplitCode split;
  split.missing_system = next_missing_system(classification, system_count, 0);
  if (split.missing_system < 0) {
    throw common::consistency_stop(common::StopCode::split_no_missing);
  }
  const int m = split.missing_system;
  if (classification.full_missing_total == 1) {
    split.missing_position = first_typing(m);
    split.other_position = second_typing(m);
    split.left_part = code_part(code, 0, split.missing_position);
    split.right_part = code_part(code, split.other_position + 1, typing_count);
    return split;
  }

  // Which typing is missing is read from the code letters, the second typing
  // first, so a "?" in the first position decides when both hold one.
  split.missing_position = -1;
  if (code[second_typing(m)] == common::MISSING_CODE) {
    split.missing_position = second_typing(m);
    split.other_position = first_typing(m);
  }
  if (code[first_typing(m)] == common::MISSING_CODE) {
    split.missing_position = first_typing(m);
    split.other_position = second_typing(m);
  }
  if (split.missing_position < 0) {
    throw common::consistency_stop(common::StopCode::split_no_missing_letter);
  }
  split.left_part = code_part(code, 0, split.missing_position);
  split.right_part = code_part(code, split.missing_position + 1, typing_count);
  return split;
}

MissingCheck check_missing_typings(int dataset_number, int system_count,
                                   const Classification& classification,
                                   const ObservedIndividual& observed, const layout::Sinks& sinks) {
  const int missing_total = classification.missing_total();
  const int typed_total = system_count - missing_total;
  if (typed_total < missing_total) {
    constexpr layout::LayoutText aborting =
        "(/,/,' ABORTING',/,' Phenotype records occur with more missing systems than',"
        "' systems with data.',/,' Eliminate such records. Resubmit.',/)";
    const std::initializer_list<layout::Sink*> aborting_sinks = {&sinks.log, &sinks.console};
    // An observed record is the user's to fix. A permuted individual is not
    // in the input, so a valid input must not fail by chance: try again.
    // With more than two missing systems the caller stops the observed data
    // with 411 instead.
    if (dataset_number == 0 && missing_total <= 2) {
      layout::write_then_stop(
          {{aborting}}, aborting_sinks,
          common::Stop{common::StopCode::too_much_missing,
                       individual_text(observed) + " has missing typings in " +
                           layout::integer_text(missing_total) + " of its " +
                           layout::integer_text(system_count) +
                           " systems, more than it has typed; a record needs at least as many"
                           " typed systems as missing ones: fill in the missing typings or"
                           " delete the record"});
    }
    layout::write_message({{aborting}}, aborting_sinks);
    return {.abandon = true};
  }
  if (missing_total > 2) {
    return {.abandon = true};
  }
  if (missing_total == 2) {
    const int first = next_missing_system(classification, system_count, 0);
    if (first < 0) {
      throw common::consistency_stop(common::StopCode::missing_guard_first);
    }
    if (next_missing_system(classification, system_count, first + 1) < 0) {
      throw common::consistency_stop(common::StopCode::missing_guard_second);
    }
    return {.abandon = true};
  }
  const int missing_system = next_missing_system(classification, system_count, 0);
  if (missing_total == 1 && missing_system < 0) {
    throw common::consistency_stop(common::StopCode::missing_guard_one);
  }
  return {.abandon = false, .missing_system = missing_system};
}

int expected_pair_total(int heterozygous_total, int missing_typings, int allele_count) {
  const int h = heterozygous_total;
  const int n = allele_count;
  const int phases = h == 0 ? 1 : 1 << (h - 1);  // of a completion with h heterozygous systems
  const int doubled = 1 << h;                    // ... and with h + 1
  switch (missing_typings) {
    case 0:
      return phases;
    case 1:
      // n - 1 heterozygous completions and one homozygous one.
      return h == 0 ? n : (n - 1) * doubled + phases;
    default: {
      // g - n heterozygous genotypes and n homozygous ones.
      const int g = (n * n + n) / 2;
      return h == 0 ? g : (g - n) * doubled + n * phases;
    }
  }
}

namespace {

// Allele numbers 0, 1, 2, ...: a completion over every allele of a system
// runs over the first allele_count of them. A system has at most one allele
// per code letter.
constexpr std::array<int, 256> EVERY_ALLELE = [] {
  std::array<int, 256> numbers{};
  for (std::size_t a = 0; a < numbers.size(); ++a) {
    numbers[a] = static_cast<int>(a);
  }
  return numbers;
}();

}  // namespace

std::span<const int> completion_alleles(const common::SystemTables& tables,
                                        const common::PopulationAlleles& population_alleles,
                                        int population, int m) {
  if (!population_alleles.empty()) {
    return population_alleles[population][m];
  }
  // A system declared with no alleles (0 or less) has none to complete over.
  const int n = std::max(tables.allele_count[m], 0);
  assert(n <= static_cast<int>(EVERY_ALLELE.size()));
  return std::span<const int>(EVERY_ALLELE).first(static_cast<std::size_t>(n));
}

int completing_population(const common::SystemTables& tables,
                          const common::PopulationAlleles& population_alleles, int population,
                          int s) {
  if (population_alleles.empty()) {
    return -1;
  }
  const std::vector<int>& alleles = population_alleles[population][s];
  if (common::count_of(alleles) == tables.allele_count[s]) {
    return -1;
  }
  for (int q = 0;; ++q) {
    if (population_alleles[q][s] == alleles) {
      return q;  // at the latest `population` itself
    }
  }
}

int completing_population(const common::SystemTables& tables,
                          const common::PopulationAlleles& population_alleles, int population,
                          const Classification& classification) {
  for (int s = 0; s < tables.system_count(); ++s) {
    if (classification.system_missing[s] != 0) {
      return completing_population(tables, population_alleles, population, s);
    }
  }
  return -1;
}

namespace {

// The number of letters a part stands for: none when it is the empty mark.
int part_length(const common::CodeString& part, int length) {
  return part[0] == common::EMPTY_PART_MARK ? 0 : length;
}

// Puts the completed letters of the missing system between the two parts;
// every other letter keeps its position.
common::CodeString join_completion(const SplitCode& split, int left_length, std::string_view middle,
                                   int right_length) {
  std::string_view left = split.left_part.view().substr(0, static_cast<std::size_t>(left_length));
  std::string_view right =
      split.right_part.view().substr(0, static_cast<std::size_t>(right_length));
  common::CodeString joined;
  std::size_t k = 0;
  for (const std::string_view piece : {left, middle, right}) {
    for (const char c : piece) {
      joined[k++] = c;
    }
  }
  return joined;
}

// One typing of the missing system is missing: one completion per allele,
// homozygous when the allele is the one of the present typing.
void complete_one_missing(const common::SystemTables& tables, const common::CodeString& code,
                          const Classification& classification, const SplitCode& split,
                          std::span<const int> alleles, common::PairList& pairs) {
  const int m = split.missing_system;
  const int left_length = part_length(split.left_part, split.missing_position);
  const int right_length =
      part_length(split.right_part, tables.typing_count() - split.missing_position - 1);
  Heterozygosity completed = classification.heterozygosity;
  for (const int b : alleles) {
    const char letter = tables.allele_code[m][b];
    const bool heterozygous = letter != code[split.other_position];
    completed.system_heterozygous[m] = heterozygous;
    completed.heterozygous_total =
        classification.heterozygosity.heterozygous_total + (heterozygous ? 1 : 0);
    const common::CodeString work_code =
        join_completion(split, left_length, std::string_view(&letter, 1), right_length);
    expand_phases(work_code, tables.system_count(), completed, pairs);
  }
}

// Both typings of the missing system are missing: one completion per
// unordered genotype (1,1), (1,2), ..., (1,n), (2,2), ..., (n,n).
void complete_both_missing(const common::SystemTables& tables, const Classification& classification,
                           const SplitCode& split, std::span<const int> alleles,
                           common::PairList& pairs) {
  const int m = split.missing_system;
  const auto n = alleles.size();
  const int left_length = part_length(split.left_part, split.missing_position);
  const int right_length =
      part_length(split.right_part, tables.typing_count() - split.other_position - 1);
  Heterozygosity completed = classification.heterozygosity;
  for (std::size_t i1 = 0; i1 < n; ++i1) {
    for (std::size_t i2 = i1; i2 < n; ++i2) {
      const bool heterozygous = i1 != i2;
      completed.system_heterozygous[m] = heterozygous;
      completed.heterozygous_total =
          classification.heterozygosity.heterozygous_total + (heterozygous ? 1 : 0);
      const char genotype[2] = {tables.allele_code[m][alleles[i1]],
                                tables.allele_code[m][alleles[i2]]};
      const common::CodeString work_code =
          join_completion(split, left_length, std::string_view(genotype, 2), right_length);
      expand_phases(work_code, tables.system_count(), completed, pairs);
    }
  }
}

}  // namespace

common::PairList expand_phenotype(const common::SystemTables& tables,
                                  const common::CodeString& code,
                                  const Classification& classification, int missing_system,
                                  std::span<const int> alleles) {
  common::PairList pairs;
  expand_phenotype_into(tables, code, classification, missing_system, alleles, pairs);
  return pairs;
}

void expand_phenotype_into(const common::SystemTables& tables, const common::CodeString& code,
                           const Classification& classification, int missing_system,
                           std::span<const int> alleles, common::PairList& pairs) {
  const int missing_typings =
      missing_system < 0 ? 0 : classification.system_missing[missing_system];
  const int allele_count = missing_system < 0 ? 0 : static_cast<int>(alleles.size());
  const int pair_total = expected_pair_total(classification.heterozygosity.heterozygous_total,
                                             missing_typings, allele_count);
  pairs.first.clear();
  pairs.second.clear();
  pairs.first.reserve(static_cast<std::size_t>(pair_total));
  pairs.second.reserve(static_cast<std::size_t>(pair_total));

  // Only the phenotype's own typing_count letters take part; the rest of the
  // code string is blank.
  const common::CodeString work_code(
      code.view().substr(0, 2 * static_cast<std::size_t>(tables.system_count())));
  if (missing_system < 0) {
    expand_phases(work_code, tables.system_count(), classification.heterozygosity, pairs);
  } else {
    const SplitCode split =
        split_at_missing_system(work_code, tables.system_count(), classification);
    if (classification.full_missing_total == 1) {
      complete_both_missing(tables, classification, split, alleles, pairs);
    } else {
      complete_one_missing(tables, code, classification, split, alleles, pairs);
    }
  }
  // The count of the formula and the count generated are two views of the
  // same enumeration; a difference is a fault of this module.
  assert(pairs.pair_total() == pair_total);
}

}  // namespace expand
