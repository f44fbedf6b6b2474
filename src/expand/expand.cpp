#include "expand/expand.h"

#include <algorithm>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/count.h"
#include "common/limits.h"
#include "common/stop.h"
#include "expand/expand_internal.h"

namespace expand {

std::size_t ExpansionKeyHash::operator()(const ExpansionKey& key) const {
  const std::hash<std::string_view> hash;
  return hash(key.code.view()) ^ (hash(key.system_class.view()) << 1U) ^
         (std::hash<int>{}(key.population) << 2U);
}

std::shared_ptr<const common::PairList> ExpansionCache::find(const ExpansionKey& key) const {
  const auto found = lists_.find(key);
  return found == lists_.end() ? nullptr : found->second;
}

void ExpansionCache::insert(const ExpansionKey& key,
                            std::shared_ptr<const common::PairList> pairs) {
  std::shared_ptr<const common::PairList>& kept = lists_[key];
  pair_total_ += (pairs ? pairs->pair_total() : 0) - (kept ? kept->pair_total() : 0);
  kept = std::move(pairs);
}

int ExpansionCache::size() const { return common::count_of(lists_); }

std::shared_ptr<common::PairList> ExpansionCache::reusable_list() {
  // Lists are handed out in turn, so the one next in turn was handed out
  // longest ago; a few are tried before a new one is made.
  constexpr int tried = 4;
  for (int t = 0; t < tried && !recycled_.empty(); ++t) {
    std::shared_ptr<common::PairList>& list = recycled_[next_recycled_];
    next_recycled_ = (next_recycled_ + 1) % recycled_.size();
    if (list.use_count() == 1) {
      return list;
    }
  }
  auto list = std::make_shared<common::PairList>();
  if (recycled_.size() < RECYCLED_AT_MOST) {
    recycled_.push_back(list);
  }
  return list;
}

bool worth_keeping(const Classification& classification) {
  return classification.missing_total() > 0 ||
         classification.heterozygosity.heterozygous_total >= KEEP_FROM_HETEROZYGOUS;
}

bool typing_missing(const common::SystemTables& tables, const common::RecordTypings& typings,
                    int k) {
  const int width = tables.allele_name_width[common::system_of_typing(k)];
  return typings[k][static_cast<std::size_t>(width - 1)] == ' ';
}

Classification classify(const common::SystemTables& tables, const common::RecordTypings& typings) {
  Classification result;
  for (int s = 0; s < tables.system_count(); ++s) {
    const int missing = common::missing_typing_count(tables, typings, s);
    result.system_missing[s] = missing;
    if (missing == 2) {
      ++result.full_missing_total;
    } else if (missing == 1) {
      ++result.half_missing_total;
    } else if (typings[first_typing(s)] != typings[second_typing(s)]) {
      result.heterozygosity.system_heterozygous[s] = true;
      ++result.heterozygosity.heterozygous_total;
    }
  }
  return result;
}

namespace {

// The allele whose name a typing of system s is, or -1.
int allele_of_typing(const common::SystemTables& tables, int s, const common::Typing& typing) {
  for (int a = 0; a < tables.allele_count[s]; ++a) {
    if (typing == tables.allele_name[s][a]) {
      return a;
    }
  }
  return -1;
}

// The alleles of system s that the records show, ascending; every allele of
// the system when they show none.
std::vector<int> alleles_shown(const common::SystemTables& tables,
                               const std::vector<common::RecordTypings>& records, int s) {
  std::vector<bool> shown(static_cast<std::size_t>(std::max(tables.allele_count[s], 0)), false);
  for (const common::RecordTypings& typings : records) {
    for (const int k : {first_typing(s), second_typing(s)}) {
      const int a =
          typing_missing(tables, typings, k) ? -1 : allele_of_typing(tables, s, typings[k]);
      if (a >= 0) {
        shown[a] = true;
      }
    }
  }
  const bool none = std::find(shown.begin(), shown.end(), true) == shown.end();
  std::vector<int> alleles;
  for (int a = 0; a < common::count_of(shown); ++a) {
    if (shown[a] || none) {
      alleles.push_back(a);
    }
  }
  return alleles;
}

}  // namespace

common::PopulationAlleles typed_alleles(const common::SystemTables& tables,
                                        const common::Populations& populations) {
  common::PopulationAlleles alleles(static_cast<std::size_t>(populations.population_count()));
  for (int p = 0; p < populations.population_count(); ++p) {
    for (int s = 0; s < tables.system_count(); ++s) {
      alleles[p].push_back(alleles_shown(tables, populations.phenotype_table[p], s));
    }
  }
  return alleles;
}

std::string haplotype_count_explanation(const common::SystemTables& tables) {
  for (int s = 0; s < tables.system_count(); ++s) {
    const auto index = static_cast<std::size_t>(s);
    if (tables.allele_count[index] <= 0) {
      return layout::system_text(tables, s) + " declares " +
             layout::integer_text(tables.allele_count[index]) +
             " alleles, so the number of haplotypes does not agree with the allele lists"
             " (the haplotype count check); every system needs at least one allele: give the"
             " system its alleles in the data file header, or leave it out";
    }
  }
  return "the number of haplotypes does not agree with the allele lists (the haplotype count"
         " check); check the allele counts in the data file header";
}

std::string individual_text(const ObservedIndividual& first) {
  const common::FirstIndividual& individual = first.individual;
  return layout::record_text(individual.population, individual.record,
                             first.populations.population_names[individual.population]);
}

namespace {

// One character per system: '2' or '1' missing typings, else 'h'eterozygous
// or h'o'mozygous.
char system_class(const Classification& classification, int s) {
  const int missing = classification.system_missing[s];
  if (missing > 0) {
    return missing == 2 ? '2' : '1';
  }
  return classification.heterozygosity.system_heterozygous[s] ? 'h' : 'o';
}

}  // namespace

ExpansionKey expansion_key(const common::CodeString& code, int system_count,
                           const Classification& classification, int population) {
  ExpansionKey key{code, {}, population};
  for (int s = 0; s < system_count; ++s) {
    // The missing typings come from the typings' text: a typing that equals
    // an allele name but is blank at the name width codes as that allele's
    // letter and still counts as missing.
    const int missing = classification.system_missing[s];
    if (missing == 2) {
      // Both letters are replaced by every genotype; what they were is moot.
      key.code[first_typing(s)] = common::MISSING_CODE;
      key.code[second_typing(s)] = common::MISSING_CODE;
    }
    key.system_class[s] = system_class(classification, s);
  }
  return key;
}

namespace {

// The observed data cannot be used: name the first record that shows the
// phenotype, so that the user can fix it. Console first, then the log.
[[noreturn]] void stop_unusable_observed(const ObservedIndividual& first, int missing_total,
                                         const layout::Sinks& sinks) {
  const common::FirstIndividual& individual = first.individual;
  const std::string name =
      layout::printable(first.populations.population_names[individual.population].trimmed());
  const std::string missing = layout::integer_text(missing_total);
  const std::string record = layout::integer_text(individual.record + 1);
  const std::string population = layout::integer_text(individual.population + 1);
  const std::initializer_list<layout::WriteValue> values = {missing, record, name, population};
  layout::write_then_stop(
      {{"(/,/,' FATAL ERROR',/,' A phenotype of the observed data has missing typings in ',"
        "A,' genetic systems;',/,' only one system of a record may have missing typings.',"
        "/,' First record with it: record ',A,' of population ',A,' (number ',A,').',/,"
        "' Fill in the missing typings or delete the record. Resubmit.',/)",
        values}},
      {&sinks.console, &sinks.log},
      common::Stop{common::StopCode::unusable_observed,
                   individual_text(first) + " has missing typings in " + missing +
                       " systems; in the observed data only one system of a record may have"
                       " missing typings: fill in the missing typings or delete the record"});
}

}  // namespace

ExpandStatus expand_phenotypes(int dataset_number, const common::SystemTables& tables,
                               const common::Populations& populations,
                               const common::DistinctPhenotypes& distinct,
                               const common::PopulationAlleles& population_alleles,
                               ExpansionCache& cache, const layout::Sinks& sinks,
                               common::PairLists& pair_labels) {
  pair_labels.assign(static_cast<std::size_t>(distinct.distinct_count()), nullptr);
  for (int d = 0; d < distinct.distinct_count(); ++d) {
    const Classification classification = classify(tables, distinct.distinct_typings[d]);
    MissingCheck check;
    const ObservedIndividual first{populations, distinct.first_individual[d]};
    if (classification.missing_total() > 0) {
      check = check_missing_typings(dataset_number, tables.system_count(), classification, first,
                                    sinks);
    }
    if (check.abandon) {
      if (dataset_number == 0) {
        stop_unusable_observed(first, classification.missing_total(), sinks);
      }
      return ExpandStatus::abandoned;
    }

    const common::CodeString& code = distinct.phenotype_code[d];
    const int population = first.individual.population;
    const std::span<const int> alleles =
        check.missing_system < 0
            ? std::span<const int>()
            : completion_alleles(tables, population_alleles, population, check.missing_system);
    if (!worth_keeping(classification)) {
      std::shared_ptr<common::PairList> list = cache.reusable_list();
      expand_phenotype_into(tables, code, classification, check.missing_system, alleles, *list);
      pair_labels[d] = std::move(list);
      continue;
    }
    const ExpansionKey key = expansion_key(
        code, tables.system_count(), classification,
        completing_population(tables, population_alleles, population, classification));
    std::shared_ptr<const common::PairList> pairs = cache.find(key);
    if (!pairs) {
      pairs = std::make_shared<const common::PairList>(
          expand_phenotype(tables, code, classification, check.missing_system, alleles));
      cache.insert(key, pairs);
    }
    pair_labels[d] = std::move(pairs);
  }
  return ExpandStatus::done;
}

}  // namespace expand
