#include "expand/expand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/stop.h"
#include "expand/expand_internal.h"
#include "layout/layout.h"
#include "support/capture.h"

namespace {

using test_support::Destination;
using test_support::Written;
using Texts = std::vector<std::string>;

// Systems whose alleles are named by their one-letter codes, name width 1
// unless given.
common::SystemTables make_tables(const Texts& letters, int width = 1) {
  common::SystemTables tables;
  for (const std::string& system : letters) {
    tables.allele_count.push_back(static_cast<int>(system.size()));
    tables.allele_name_width.push_back(width);
    tables.allele_code.emplace_back(system.begin(), system.end());
    std::vector<common::Typing>& names = tables.allele_name.emplace_back();
    for (const char c : system) {
      names.emplace_back(std::string(1, c));
    }
  }
  return tables;
}

// A phenotype written as its code string, "?" for a blank typing; the
// typings are the letters themselves (allele names equal code letters).
common::RecordTypings typings_of(const std::string& pattern) {
  common::RecordTypings typings{};
  for (std::size_t k = 0; k < pattern.size(); ++k) {
    typings[k] = common::Typing(pattern[k] == '?' ? "" : pattern.substr(k, 1));
  }
  return typings;
}

// Distinct phenotype d is first met at record d of population 0.
common::DistinctPhenotypes make_distinct(const Texts& patterns) {
  common::DistinctPhenotypes distinct;
  for (const std::string& pattern : patterns) {
    distinct.first_individual.push_back({0, distinct.distinct_count()});
    distinct.distinct_typings.push_back(typings_of(pattern));
    distinct.phenotype_code.emplace_back(pattern);
  }
  return distinct;
}

struct Outcome {
  test_support::Outcome end;
  expand::ExpandStatus status = expand::ExpandStatus::done;
  common::PairLists pairs;
  std::vector<Written> journal;
};

Outcome run_expansion(int dataset_number, const common::SystemTables& tables,
                      const common::DistinctPhenotypes& distinct, expand::ExpansionCache& cache,
                      const common::Populations& populations = {},
                      const common::PopulationAlleles& population_alleles = {}) {
  Outcome outcome;
  test_support::CapturedSinks captured;
  outcome.end = test_support::run_capturing([&] {
    outcome.status =
        expand::expand_phenotypes(dataset_number, tables, populations, distinct, population_alleles,
                                  cache, captured.sinks(), outcome.pairs);
  });
  outcome.journal = captured.journal();
  return outcome;
}

// The pairs as "first/second" without trailing blanks, joined by spaces.
std::string pair_texts(const common::PairList& pairs) {
  std::string text;
  for (int i = 0; i < pairs.pair_total(); ++i) {
    text.append(i > 0 ? " " : "").append(pairs.first[i].trimmed());
    text.append("/").append(pairs.second[i].trimmed());
  }
  return text;
}

// The pair list of one phenotype of a permuted data set.
common::PairList expand_one(const common::SystemTables& tables, const std::string& pattern) {
  expand::ExpansionCache cache;
  const Outcome outcome = run_expansion(5, tables, make_distinct({pattern}), cache);
  EXPECT_TRUE(test_support::completed(outcome.end));
  return outcome.pairs.empty() || !outcome.pairs[0] ? common::PairList{} : *outcome.pairs[0];
}

TEST(ExpandPhenotypes, PairsComeInTheirFixedSlotOrder) {
  // The code letters of every system, the phenotype, its pairs in slot order.
  const std::tuple<Texts, std::string, std::string> cases[] = {
      {{"AB", "CD", "EF"}, "AACCEE", "ACE/ACE"},
      {{"AB", "CD"}, "AACD", "AC/AD"},
      {{"AB", "CD", "EF"}, "ABCDEF", "ACE/BDF ACF/BDE ADE/BCF ADF/BCE"},
      {{"A", "BC", "D", "EF", "GH"},
       "AABCDDEFGH",
       "ABDEG/ACDFH ABDEH/ACDFG ABDFG/ACDEH ABDFH/ACDEG"},
      // One typing missing: one pair per allele when no typed system is heterozygous.
      {{"ABCD", "E"}, "?BEE", "AE/BE BE/BE CE/BE DE/BE"},
      {{"A", "BCD"}, "AAB?", "AB/AB AB/AC AB/AD"},
      {{"ABC", "CD"}, "A?CD", "AC/AD AC/BD AD/BC AC/CD AD/CC"},
      // Both typings missing: every unordered allele pair, each with its phases.
      {{"ABC", "D"}, "??DD", "AD/AD AD/BD AD/CD BD/BD BD/CD CD/CD"},
      {{"AB", "CDE"}, "AB??", "AC/BC AC/BD AD/BC AC/BE AE/BC AD/BD AD/BE AE/BD AE/BE"},
  };
  for (const auto& [letters, pattern, pairs] : cases) {
    EXPECT_EQ(pair_texts(expand_one(make_tables(letters), pattern)), pairs) << pattern;
  }
}

TEST(ExpandPhenotypes, TenHeterozygousSystemsGive512PhasesInBinaryOrder) {
  const common::PairList pairs = expand_one(make_tables(Texts(10, "AB")), "ABABABABABABABABABAB");
  // Pair i exchanges system s (s >= 1) when bit 9 - s of i is set; system 0 never.
  std::string expected;
  for (int i = 0; i < 512; ++i) {
    std::string first;
    std::string second;
    for (int s = 0; s < 10; ++s) {
      const bool exchanged = s > 0 && ((i >> (9 - s)) & 1) != 0;
      first += exchanged ? 'B' : 'A';
      second += exchanged ? 'A' : 'B';
    }
    expected.append(i > 0 ? " " : "").append(first).append("/").append(second);
  }
  EXPECT_EQ(pair_texts(pairs), expected);
}

TEST(ExpandPhenotypes, PairListsAreSizedToTheData) {
  // 14 alleles with one typing missing and 9 heterozygous systems: 6912 pairs,
  // each unordered pair once.
  Texts letters(10, "AB");
  letters[0] = "ABCDEFGHIJKLMN";
  const common::PairList pairs = expand_one(make_tables(letters), "A?ABABABABABABABABAB");
  EXPECT_EQ(pairs.pair_total(), 6912);
  EXPECT_EQ(expand::expected_pair_total(9, 1, 14), 6912);
  std::set<std::pair<common::Label, common::Label>> unordered;
  for (int i = 0; i < pairs.pair_total(); ++i) {
    unordered.insert(std::minmax(pairs.first[i], pairs.second[i]));
  }
  EXPECT_EQ(unordered.size(), 6912U);
}

TEST(ExpandPhenotypes, TypingBlankAtNameWidthIsMissingWhateverItCodesAs) {
  // Allele 1 is written "1" in a system of width 2: a typing "1" codes as
  // its letter but is blank at column 2, so it counts as missing.
  common::SystemTables tables = make_tables({"AB", "C"}, 2);
  tables.allele_name[0] = {common::Typing("1"), common::Typing("02")};
  tables.allele_name[1] = {common::Typing("03")};
  common::DistinctPhenotypes distinct = make_distinct({"AACC"});
  distinct.distinct_typings[0] = typings_of("11");
  distinct.distinct_typings[0][2] = distinct.distinct_typings[0][3] = common::Typing("03");
  expand::ExpansionCache cache;
  const Outcome outcome = run_expansion(3, tables, distinct, cache);
  ASSERT_TRUE(test_support::completed(outcome.end));
  EXPECT_EQ(pair_texts(*outcome.pairs[0]), "AC/AC AC/BC BC/BC");
}

TEST(ExpandPhenotypes, MissingTypingsAreCompletedOverThePopulationsAlleles) {
  const common::SystemTables tables = make_tables({"ABC", "DE"});
  // Population 0 lacks C, 1 has every allele, 2 has the alleles of 0.
  const common::PopulationAlleles population_alleles = {
      {{0, 1}, {0, 1}}, {{0, 1, 2}, {0, 1}}, {{0, 1}, {0, 1}}};
  // Each phenotype with the population it is first met in, and its pairs.
  const std::tuple<std::string, int, std::string> cases[] = {
      {"??DD", 0, "AD/AD AD/BD BD/BD"},
      {"??DD", 1, "AD/AD AD/BD AD/CD BD/BD BD/CD CD/CD"},
      {"??DD", 2, "AD/AD AD/BD BD/BD"},
      {"A?DE", 0, "AD/AE AD/BE AE/BD"},
      {"A?DE", 1, "AD/AE AD/BE AE/BD AD/CE AE/CD"},
  };
  common::DistinctPhenotypes distinct = make_distinct({});
  for (const auto& [pattern, population, pairs] : cases) {
    distinct.first_individual.push_back({population, 0});
    distinct.distinct_typings.push_back(typings_of(pattern));
    distinct.phenotype_code.emplace_back(pattern);
  }
  expand::ExpansionCache cache;
  std::vector<int> new_pairs;
  for (const expand::PairCount& count :
       expand::count_new_pairs(tables, distinct, population_alleles, cache)) {
    new_pairs.push_back(count.pair_total);
  }
  const Outcome outcome = run_expansion(0, tables, distinct, cache, {}, population_alleles);
  ASSERT_TRUE(test_support::completed(outcome.end));
  for (std::size_t d = 0; d < std::size(cases); ++d) {
    EXPECT_EQ(pair_texts(*outcome.pairs[d]), std::get<2>(cases[d])) << d;
  }
  // Populations 0 and 2 share their completions; the counts agree.
  EXPECT_EQ(outcome.pairs[2], outcome.pairs[0]);
  EXPECT_EQ(cache.size(), 4);
  EXPECT_EQ(new_pairs, (std::vector<int>{3, 6, 0, 3, 5}));
}

TEST(TypedAlleles, AreThoseAPopulationShowsOrEveryOneWhenItShowsNone) {
  const common::SystemTables tables = make_tables({"ABC", "DE"});
  common::Populations populations;
  populations.phenotype_table = {{typings_of("B?DD"), typings_of("A?DD")}, {typings_of("??DE")}};
  EXPECT_EQ(expand::typed_alleles(tables, populations),
            (common::PopulationAlleles{{{0, 1}, {0}}, {{0, 1, 2}, {0, 1}}}));
}

TEST(SplitAtMissingSystem, EmptyPartsAreMarked) {
  // pattern: missing system, missing and other position, left and right part.
  const std::pair<std::string, std::string> cases[] = {
      {"?BCD", "0 0 1 ^ BCD"}, {"AB?D", "1 2 3 AB D"}, {"ABC?", "1 3 2 ABC ^"},
      {"??CD", "0 0 1 ^ CD"},  {"AB??", "1 2 3 AB ^"}, {"AB??EF", "1 2 3 AB EF"},
  };
  for (const auto& [pattern, expected] : cases) {
    const common::SystemTables tables = make_tables(Texts(pattern.size() / 2, "ABCDEF"));
    const expand::SplitCode split =
        expand::split_at_missing_system(common::CodeString(pattern), tables.system_count(),
                                        expand::classify(tables, typings_of(pattern)));
    std::ostringstream text;
    text << split.missing_system << ' ' << split.missing_position << ' ' << split.other_position
         << ' ' << split.left_part.trimmed() << ' ' << split.right_part.trimmed();
    EXPECT_EQ(text.str(), expected);
  }
}

// A guard of the program's own consistency stops with its number and asks
// for a report, rather than going on with impossible pairs.
TEST(ConsistencyGuards, StopAndAskForAReport) {
  const common::SystemTables tables = make_tables({"AB", "CD"});
  // A half-missing system whose code string holds no "?" there.
  const expand::Classification half = expand::classify(tables, typings_of("A?CD"));
  EXPECT_TRUE(test_support::ended(
      test_support::run_capturing(
          [&] { (void)expand::split_at_missing_system(common::CodeString("ABCD"), 2, half); }),
      "stop code 15: internal consistency check 15 failed; this is a fault of the program, not of"
      " the data: please report it with the input files"));
}

const Texts ABORTING = {
    "",
    "",
    " ABORTING",
    " Phenotype records occur with more missing systems than systems with data.",
    " Eliminate such records. Resubmit.",
    ""};

Texts unusable(int missing) {
  return {"",
          "",
          " FATAL ERROR",
          " A phenotype of the observed data has missing typings in " + std::to_string(missing) +
              " genetic systems;",
          " only one system of a record may have missing typings.",
          " First record with it: record 17 of population SOUTH VALLEY (number 2).",
          " Fill in the missing typings or delete the record. Resubmit.",
          ""};
}

struct CheckCase {
  int dataset_number;
  std::string pattern;  // first met at record 17 of population 2
  const char* end;
  expand::ExpandStatus status;
  bool aborting;       // the ABORTING message, to the log and then the console
  int unusable_count;  // the systems the FATAL ERROR message names (0: no message)
};

TEST(ExpandPhenotypes, MissingSystemsAbandonOrStop) {
  using enum expand::ExpandStatus;
  using enum Destination;
  const CheckCase cases[] = {
      {0, "??C?EE",
       "stop code 410: record 17 of population \"SOUTH VALLEY\" (number 2) has missing typings"
       " in 2 of its 3 systems, more than it has typed; a record needs at least as many typed"
       " systems as missing ones",
       done, true, 0},
      {4, "??C?EE", "completed", abandoned, true, 0},
      {4, "??????GGII", "completed", abandoned, true, 0},
      {4, "A???EEGG", "completed", abandoned, false, 0},
      {0, "??????GGII",
       "stop code 411: record 17 of population \"SOUTH VALLEY\" (number 2) has missing typings"
       " in 3 systems; in the observed data only one system of a record may have missing"
       " typings",
       done, true, 3},
      {0, "A???EEGG",
       "stop code 411: record 17 of population \"SOUTH VALLEY\" (number 2) has"
       " missing typings in 2 systems",
       done, false, 2},
      {0, "A?CCEE", "completed", done, false, 0},
  };
  common::Populations populations;
  populations.population_names = {common::PopulationName("NORTH"),
                                  common::PopulationName("SOUTH VALLEY")};
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.pattern + " in data set " + std::to_string(c.dataset_number));
    common::DistinctPhenotypes distinct = make_distinct({c.pattern});
    distinct.first_individual.back() = {1, 16};
    expand::ExpansionCache cache;
    const Outcome outcome =
        run_expansion(c.dataset_number, make_tables(Texts(c.pattern.size() / 2, "ABCDEFGHIJ")),
                      distinct, cache, populations);
    EXPECT_TRUE(test_support::ended(outcome.end, c.end));
    EXPECT_EQ(outcome.status, c.status);
    std::vector<Written> expected;
    if (c.aborting) {
      expected = test_support::written_to({log, console}, ABORTING);
    }
    if (c.unusable_count > 0) {
      const auto fatal = test_support::written_to({console, log}, unusable(c.unusable_count));
      expected.insert(expected.end(), fatal.begin(), fatal.end());
    }
    EXPECT_EQ(outcome.journal, expected);
  }
}

TEST(ExpansionCache, HitReturnsTheListOfAFreshExpansion) {
  const common::SystemTables tables = make_tables({"ABC", "CD", "EF"});
  const common::DistinctPhenotypes observed = make_distinct({"A?CDEF", "ABCDEF", "??CCEE"});
  // A later data set meets the same code strings in another order, one of
  // them from a typing blank in another way.
  common::DistinctPhenotypes permuted = make_distinct({"??CCEE", "A?CDEF"});
  permuted.distinct_typings[0][0] = common::Typing(" x");
  expand::ExpansionCache cache;
  const Outcome first = run_expansion(0, tables, observed, cache);
  const Outcome second = run_expansion(1, tables, permuted, cache);
  EXPECT_EQ(cache.size(), 2);  // the short fully typed ABCDEF is built anew each time
  EXPECT_EQ(second.pairs[0], first.pairs[2]);
  EXPECT_EQ(second.pairs[1], first.pairs[0]);
  expand::ExpansionCache fresh_cache;
  const Outcome fresh = run_expansion(1, tables, permuted, fresh_cache);
  for (int d = 0; d < 2; ++d) {
    EXPECT_NE(fresh.pairs[d], second.pairs[d]);
    EXPECT_EQ(pair_texts(*fresh.pairs[d]), pair_texts(*second.pairs[d]));
  }
}

TEST(ExpansionCache, ReusesOnlyTheListsNoDataSetHolds) {
  expand::ExpansionCache cache;
  const std::shared_ptr<const common::PairList> held = cache.reusable_list();
  const common::PairList* dropped = cache.reusable_list().get();
  EXPECT_NE(dropped, held.get());
  for (int n = 0; n < 3; ++n) {  // the dropped list comes back each time, the held one never
    EXPECT_EQ(cache.reusable_list().get(), dropped);
  }
}

TEST(ExpansionCache, KeepsTheListsDearerToBuildThanToLookUp) {
  // Completed lists and those of 8 or more heterozygous systems are kept.
  const std::pair<const char*, int> cases[] = {
      {"ABABABABABABABAA", 0}, {"ABABABABABABABAB", 128}, {"?BAAAAAAAAAAAAAA", 2}};
  for (const auto& [pattern, kept] : cases) {
    const common::SystemTables tables = make_tables(Texts(8, "AB"));
    expand::ExpansionCache cache;
    ASSERT_TRUE(
        test_support::completed(run_expansion(0, tables, make_distinct({pattern}), cache).end));
    EXPECT_EQ(cache.pair_total(), kept) << pattern;
  }
}

TEST(CountPairs, AgreesWithTheExpansion) {
  std::vector<std::pair<Texts, std::string>> cases = {
      {{"AB", "CD"}, "AACC"},
      {{"AB", "CD"}, "ABCC"},
      {{"AB", "CD", "EF"}, "ABCDEF"},
      {Texts(10, "AB"), "ABABABABABABABABABAB"},
      {{"ABCDEFGHIJKLMN", "AB", "AB", "AB", "AB", "AB", "AB", "AB", "AB", "AB"},
       "??ABABABABABABABABAB"},
  };
  // A missing system of 1 to 14 alleles, one typing missing (either one) or
  // both, completing phenotypes with 0, 1 or 2 heterozygous typed systems.
  const std::string letters = "ABCDEFGHIJKLMN";
  for (std::size_t n = 1; n <= letters.size(); ++n) {
    for (const char* missing : {"?A", "A?", "??"}) {
      for (const char* typed : {"AAXX", "ABXX", "ABXY"}) {
        cases.push_back({{letters.substr(0, n), "AB", "XY"}, missing + std::string(typed)});
      }
    }
  }
  for (const auto& [systems, pattern] : cases) {
    const common::SystemTables tables = make_tables(systems);
    const expand::PairCount count = expand::count_pairs(tables, typings_of(pattern));
    EXPECT_EQ(count.pair_total, expand_one(tables, pattern).pair_total())
        << pattern << " with " << systems[0].size() << " alleles";
  }
}

TEST(CountPairs, NamesWhatTheCountComesFrom) {
  const common::SystemTables tables = make_tables({"AB", "CDE", "FG", "HI"});
  // pattern, pair_total, heterozygous_total, missing_system, missing_typings
  const std::tuple<std::string, int, int, int, int> cases[] = {
      {"ABCDFGHH", 4, 3, -1, 0},
      {"ABC?FGHH", 10, 2, 1, 1},  // 2 x 4 phases of CD, CE; 2 of CC
      {"AB??FGHH", 18, 2, 1, 2},  // 3 x 4 of CD, CE, DE; 3 x 2 of CC, DD, EE
      {"?BC?FGHH", 0, 1, -1, 0},  // two missing systems: never expanded
  };
  for (const auto& [pattern, pairs, heterozygous, system, typings] : cases) {
    const expand::PairCount count = expand::count_pairs(tables, typings_of(pattern));
    EXPECT_EQ(std::tie(count.pair_total, count.heterozygous_total, count.missing_system,
                       count.missing_typings),
              std::tie(pairs, heterozygous, system, typings))
        << pattern;
  }
  common::Populations populations;
  populations.population_names = {common::PopulationName("NORTH")};
  EXPECT_EQ(expand::pair_count_text(tables, populations, {0, 6},
                                    expand::count_pairs(tables, typings_of("AB??FGHH"))),
            "record 7 of population \"NORTH\" (number 1), heterozygous in 2 of its 3 typed"
            " systems, both typings of system 2 missing (3 alleles)");
}

TEST(CountNewPairs, CountsWhatTheExpansionAddsToTheCache) {
  const common::SystemTables tables = make_tables({"ABC", "CD", "EF"});
  expand::ExpansionCache cache;
  const Outcome observed = run_expansion(0, tables, make_distinct({"A?CDEF", "AACCEE"}), cache);
  ASSERT_TRUE(test_support::completed(observed.end));
  EXPECT_EQ(cache.pair_total(), 10);  // AACCEE's single pair is not kept
  // A list of the cache, two new ones (the second met twice, blank in two
  // ways), then a phenotype that makes the data set unusable: the expansion
  // builds nothing after it.
  common::DistinctPhenotypes permuted =
      make_distinct({"A?CDEF", "ABCDEF", "??CCEE", "??CCEE", "??CD?F", "BBCDEF"});
  permuted.distinct_typings[3][0] = common::Typing(" x");
  std::vector<int> new_pairs;
  for (const expand::PairCount& count : expand::count_new_pairs(tables, permuted, {}, cache)) {
    new_pairs.push_back(count.pair_total);
  }
  EXPECT_EQ(new_pairs, (std::vector<int>{0, 4, 6, 0}));
  const Outcome abandoned = run_expansion(2, tables, permuted, cache);
  EXPECT_EQ(abandoned.status, expand::ExpandStatus::abandoned);
  EXPECT_EQ(cache.pair_total(), 10 + 6);
}

TEST(CheckHaplotypeCount, StopsWhenALaterSystemHasNoAlleles) {
  // Systems 1 and 2 always count, a later system only with alleles; 14^10
  // haplotypes overflow 32 bits.
  const std::pair<std::vector<int>, const char*> cases[] = {
      {{2, 2, 0},
       "stop code 304: system 3 declares 0 alleles, so the number of haplotypes does"
       " not agree with the allele lists"},
      {{2, 2, 3}, "completed"},
      {{0, 2, 3}, "completed"},
      {{2, 0, 0}, "completed"},
      {std::vector<int>(10, 14), "completed"}};
  for (const auto& [allele_count, end] : cases) {
    common::SystemTables tables;
    tables.allele_count = allele_count;
    EXPECT_TRUE(test_support::ended(
        test_support::run_capturing([&] { expand::check_haplotype_count(tables); }), end));
  }
}

}  // namespace
