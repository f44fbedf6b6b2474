#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "common/tables.h"
#include "expand/expand.h"
#include "layout/layout.h"

// The cost of expanding one distinct phenotype: without the cache (the first
// data set that meets a code string) and with it (every later data set).

namespace {

// Systems with alleles named by their code letters, width 1.
common::SystemTables make_tables(const std::vector<std::string>& letters) {
  common::SystemTables tables;
  for (const std::string& system : letters) {
    tables.allele_count.push_back(static_cast<int>(system.size()));
    tables.allele_name_width.push_back(1);
    tables.allele_code.emplace_back(system.begin(), system.end());
    tables.allele_name.emplace_back();
    for (const char c : system) {
      tables.allele_name.back().emplace_back(std::string(1, c));
    }
  }
  return tables;
}

// Distinct phenotypes given by their code strings, "?" for a blank typing.
common::DistinctPhenotypes make_distinct(const std::vector<std::string>& codes) {
  common::DistinctPhenotypes distinct;
  for (const std::string& code : codes) {
    common::RecordTypings typings{};
    for (std::size_t k = 0; k < code.size(); ++k) {
      typings[k] = common::Typing(code[k] == '?' ? "" : code.substr(k, 1));
    }
    distinct.first_individual.push_back({0, distinct.distinct_count()});
    distinct.distinct_typings.push_back(typings);
    distinct.phenotype_code.emplace_back(code);
  }
  return distinct;
}

struct Bench {
  common::SystemTables tables;
  common::DistinctPhenotypes distinct;
  common::Populations populations;
  layout::MemorySink console;
  layout::MemorySink log;
  layout::MemorySink report;

  expand::ExpandStatus run(expand::ExpansionCache& cache, common::PairLists& pair_labels) {
    return expand::expand_phenotypes(1, tables, populations, distinct, {}, cache,
                                     {console, log, report}, pair_labels);
  }
};

void expand_uncached(benchmark::State& state, Bench& bench) {
  common::PairLists pair_labels;
  for (auto _ : state) {
    expand::ExpansionCache cache;
    benchmark::DoNotOptimize(bench.run(cache, pair_labels));
  }
  state.SetItemsProcessed(state.iterations() * bench.distinct.distinct_count());
  state.counters["pairs"] = pair_labels[0]->pair_total();
}

void BM_ExpandTenHeterozygous(benchmark::State& state) {
  Bench bench{make_tables(std::vector<std::string>(10, "AB")),
              make_distinct({"ABABABABABABABABABAB"}),
              {},
              {},
              {},
              {}};
  expand_uncached(state, bench);
}

void BM_ExpandOneMissingOf14NineHeterozygous(benchmark::State& state) {
  std::vector<std::string> letters(10, "AB");
  letters[0] = "ABCDEFGHIJKLMN";
  Bench bench{make_tables(letters), make_distinct({"A?ABABABABABABABABAB"}), {}, {}, {}, {}};
  expand_uncached(state, bench);
}

void BM_ExpandFiveSystemsTwoHeterozygous(benchmark::State& state) {
  Bench bench{make_tables(std::vector<std::string>(5, "ABCDEFGH")),
              make_distinct({"ABCCDEFFGG"}),
              {},
              {},
              {},
              {}};
  expand_uncached(state, bench);
}

// A data set of 1000 distinct phenotypes that all were met before: codes whose
// three decimal digits of d make every code string different, with the first
// typing missing (lists the cache keeps) or fully typed (short lists, built
// again for every data set).
Bench thousand_phenotypes(bool missing) {
  std::vector<std::string> codes;
  const std::string letters = "ABCDEFGHIJ";
  for (int d = 0; d < 1000; ++d) {
    const char a = letters[static_cast<std::size_t>(d % 10)];
    const char b = letters[static_cast<std::size_t>(d / 10 % 10)];
    const char c = letters[static_cast<std::size_t>(d / 100)];
    codes.push_back({missing ? '?' : a, b, b, c, c, a, a, a, b, b});
  }
  return {make_tables(std::vector<std::string>(5, letters)), make_distinct(codes), {}, {}, {}, {}};
}

void expand_again(benchmark::State& state, bool missing) {
  Bench bench = thousand_phenotypes(missing);
  expand::ExpansionCache cache;
  common::PairLists pair_labels;
  benchmark::DoNotOptimize(bench.run(cache, pair_labels));
  for (auto _ : state) {
    benchmark::DoNotOptimize(bench.run(cache, pair_labels));
  }
  state.SetItemsProcessed(state.iterations() * bench.distinct.distinct_count());
}

// A small cache that stays in the processor's caches: a run's cache of many
// thousands of lists misses them at nearly every look-up.
void BM_CacheHitPerPhenotype(benchmark::State& state) { expand_again(state, true); }

void BM_ShortListBuiltAgainPerPhenotype(benchmark::State& state) { expand_again(state, false); }

}  // namespace

BENCHMARK(BM_ExpandTenHeterozygous);
BENCHMARK(BM_ExpandOneMissingOf14NineHeterozygous);
BENCHMARK(BM_ExpandFiveSystemsTwoHeterozygous);
BENCHMARK(BM_CacheHitPerPhenotype);
BENCHMARK(BM_ShortListBuiltAgainPerPhenotype);
