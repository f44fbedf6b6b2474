#include "expand/expand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/stop.h"
#include "expand/expand_internal.h"
#include "layout/layout.h"
#include "support/capture.h"

namespace {

using common::StopCode;

// Systems whose alleles are named by their one-letter codes, name width 1
// unless given.
common::SystemTables make_tables(const std::vector<std::string>& letters, int width = 1) {
  common::SystemTables tables;
  tables.system_count = static_cast<int>(letters.size());
  for (const std::string& system : letters) {
    tables.allele_count.push_back(static_cast<int>(system.size()));
    tables.allele_name_width.push_back(width);
    tables.allele_name.emplace_back();
    tables.allele_code.emplace_back(system.begin(), system.end());
    for (const char c : system) {
      tables.allele_name.back().emplace_back(std::string(1, c));
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

common::DistinctPhenotypes make_distinct(const std::vector<std::string>& patterns) {
  common::DistinctPhenotypes distinct;
  for (const std::string& pattern : patterns) {
    distinct.distinct_typings.push_back(typings_of(pattern));
    distinct.phenotype_code.emplace_back(pattern);
    distinct.first_individual.push_back({0, distinct.distinct_count});
    ++distinct.distinct_count;
  }
  return distinct;
}

struct Outcome {
  test_support::Outcome end;
  expand::ExpandStatus status = expand::ExpandStatus::done;
  common::PairLists pairs;
  std::vector<std::string> journal;  // "sink|record" in the order written
};

Outcome run_expansion(int dataset_number, const common::SystemTables& tables,
                      const common::DistinctPhenotypes& distinct, expand::ExpansionCache& cache,
                      const common::Populations& populations = {}) {
  Outcome outcome;
  test_support::CapturedSinks captured;
  outcome.end = test_support::run_capturing([&] {
    outcome.status = expand::expand_phenotypes(dataset_number, tables, populations, distinct, cache,
                                               captured.sinks(), outcome.pairs);
  });
  for (const test_support::Written& written : captured.journal()) {
    outcome.journal.push_back(testing::PrintToString(written.destination) + "|" + written.record);
  }
  return outcome;
}

// "first/second" for every pair, trailing blanks dropped.
std::vector<std::string> pair_texts(const common::PairList& pairs) {
  std::vector<std::string> texts;
  texts.reserve(pairs.first.size());
  for (int i = 0; i < pairs.pair_total(); ++i) {
    texts.push_back(std::string(pairs.first[i].trimmed()) + "/" +
                    std::string(pairs.second[i].trimmed()));
  }
  return texts;
}

common::PairList expand_one(const common::SystemTables& tables, const std::string& pattern) {
  expand::ExpansionCache cache;
  const Outcome outcome = run_expansion(5, tables, make_distinct({pattern}), cache);
  EXPECT_TRUE(test_support::completed(outcome.end));
  return outcome.pairs.empty() || !outcome.pairs[0] ? common::PairList{} : *outcome.pairs[0];
}

// Each unordered pair of labels appears once.
bool pairs_are_distinct(const common::PairList& pairs) {
  std::set<std::pair<common::Label, common::Label>> seen;
  for (int i = 0; i < pairs.pair_total(); ++i) {
    const auto [low, high] = std::minmax(pairs.first[i], pairs.second[i]);
    if (!seen.emplace(low, high).second) {
      return false;
    }
  }
  return true;
}

struct PairOrderCase {
  std::string name;
  std::vector<std::string> letters;
  std::string pattern;
  std::vector<std::string> pairs;
};

TEST(ExpandPhenotypes, PairsComeInTheirFixedSlotOrder) {
  const std::vector<PairOrderCase> cases = {
      {"AllHomozygous", {"AB", "CD", "EF"}, "AACCEE", {"ACE/ACE"}},
      {"OneHeterozygous", {"AB", "CD"}, "AACD", {"AC/AD"}},
      {"ThreeHeterozygous",
       {"AB", "CD", "EF"},
       "ABCDEF",
       {"ACE/BDF", "ACF/BDE", "ADE/BCF", "ADF/BCE"}},
      {"HeterozygousAt245Of5",
       {"A", "BC", "D", "EF", "GH"},
       "AABCDDEFGH",
       {"ABDEG/ACDFH", "ABDEH/ACDFG", "ABDFG/ACDEH", "ABDFH/ACDEG"}},
      {"FirstTypingMissing", {"ABCD", "E"}, "?BEE", {"AE/BE", "BE/BE", "CE/BE", "DE/BE"}},
      {"SecondTypingMissing", {"ABC", "CD"}, "A?CD", {"AC/AD", "AC/BD", "AD/BC", "AC/CD", "AD/CC"}},
      {"LastTypingMissing", {"A", "BCD"}, "AAB?", {"AB/AB", "AB/AC", "AB/AD"}},
      {"BothTypingsMissing",
       {"ABC", "D"},
       "??DD",
       {"AD/AD", "AD/BD", "AD/CD", "BD/BD", "BD/CD", "CD/CD"}},
      {"BothTypingsOfLastSystemMissing",
       {"AB", "CDE"},
       "AB??",
       {"AC/BC", "AC/BD", "AD/BC", "AC/BE", "AE/BC", "AD/BD", "AD/BE", "AE/BD", "AE/BE"}},
  };
  for (const PairOrderCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(pair_texts(expand_one(make_tables(c.letters), c.pattern)), c.pairs);
  }
}

TEST(ExpandPhenotypes, TenHeterozygousSystemsGive512PhasesInBinaryOrder) {
  const common::PairList pairs =
      expand_one(make_tables(std::vector<std::string>(10, "AB")), "ABABABABABABABABABAB");
  // Pair i exchanges system s (s >= 1) when bit 9 - s of i is set; system 0 never.
  std::vector<std::string> expected;
  for (int i = 0; i < 512; ++i) {
    std::string first;
    std::string second;
    for (int s = 0; s < 10; ++s) {
      const bool exchanged = s > 0 && ((i >> (9 - s)) & 1) != 0;
      first += exchanged ? 'B' : 'A';
      second += exchanged ? 'A' : 'B';
    }
    expected.push_back(first.append("/").append(second));
  }
  EXPECT_EQ(pair_texts(pairs), expected);
  EXPECT_TRUE(pairs_are_distinct(pairs));
}

TEST(ExpandPhenotypes, PairListsAreSizedToTheData) {
  // 14 alleles with one typing missing and 9 heterozygous systems.
  std::vector<std::string> letters(10, "AB");
  letters[0] = "ABCDEFGHIJKLMN";
  const common::PairList pairs = expand_one(make_tables(letters), "A?ABABABABABABABABAB");
  EXPECT_EQ(pairs.pair_total(), 6912);
  EXPECT_EQ(pairs.pair_total(), expand::expected_pair_total(9, 1, 14));
  EXPECT_TRUE(pairs_are_distinct(pairs));
}

TEST(ExpandPhenotypes, TypingBlankAtNameWidthIsMissingWhateverItCodesAs) {
  // Allele 1 is written "1" in a system of width 2: a typing "1" codes as
  // its letter but is blank at column 2, so it counts as missing.
  common::SystemTables tables = make_tables({"AB", "C"}, 2);
  tables.allele_name[0] = {common::Typing("1"), common::Typing("02")};
  tables.allele_name[1] = {common::Typing("03")};
  common::DistinctPhenotypes distinct = make_distinct({"AACC"});
  distinct.distinct_typings[0] = {common::Typing("1"), common::Typing("1"), common::Typing("03"),
                                  common::Typing("03")};
  expand::ExpansionCache cache;
  const Outcome outcome = run_expansion(3, tables, distinct, cache);
  ASSERT_TRUE(test_support::completed(outcome.end));
  EXPECT_EQ(pair_texts(*outcome.pairs[0]), (std::vector<std::string>{"AC/AC", "AC/BC", "BC/BC"}));
}

TEST(ExchangeAlleles, StopsWithCode1OutsideTheSystems) {
  common::Label first("AC");
  common::Label second("BD");
  expand::exchange_alleles(first, second, 1, 2);
  EXPECT_EQ(first, common::Label("AD"));
  EXPECT_EQ(second, common::Label("BC"));
  for (const int outside : {-1, 2}) {
    EXPECT_TRUE(test_support::stopped_with(
        test_support::run_capturing([&] { expand::exchange_alleles(first, second, outside, 2); }),
        StopCode::phase_guard));
  }

  // A heterozygous count that no system flag backs up reaches the guard.
  expand::Heterozygosity inconsistent;
  inconsistent.heterozygous_total = 2;
  common::PairList pairs;
  EXPECT_TRUE(test_support::stopped_with(test_support::run_capturing([&] {
                                           expand::expand_phases(common::CodeString("ABCD"), 2,
                                                                 inconsistent, pairs);
                                         }),
                                         StopCode::phase_guard));
}

// "system missing_position other_position left_part right_part", trimmed.
std::string split_text(const expand::SplitCode& split) {
  return std::to_string(split.missing_system)
      .append(" ")
      .append(std::to_string(split.missing_position))
      .append(" ")
      .append(std::to_string(split.other_position))
      .append(" ")
      .append(split.left_part.trimmed())
      .append(" ")
      .append(split.right_part.trimmed());
}

TEST(SplitAtMissingSystem, EmptyPartsAreMarked) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"?BCD", "0 0 1 ^ BCD"}, {"AB?D", "1 2 3 AB D"}, {"ABC?", "1 3 2 ABC ^"},
      {"??CD", "0 0 1 ^ CD"},  {"AB??", "1 2 3 AB ^"}, {"AB??EF", "1 2 3 AB EF"},
  };
  for (const auto& [pattern, expected] : cases) {
    const common::SystemTables tables =
        make_tables(std::vector<std::string>(pattern.size() / 2, "ABCDEF"));
    const expand::SplitCode split =
        expand::split_at_missing_system(common::CodeString(pattern), tables.system_count,
                                        expand::classify(tables, typings_of(pattern)));
    EXPECT_EQ(split_text(split), expected) << pattern;
  }
}

TEST(SplitAtMissingSystem, GuardsAgainstCountsTheCodeDoesNotShow) {
  const common::SystemTables tables = make_tables({"AB", "CD"});
  // No missing system; then one typing counted missing, yet no "?" in the code.
  for (const auto& [typings, code] : {std::pair{"ABCD", StopCode::split_no_missing},
                                      std::pair{"A?CD", StopCode::split_no_missing_letter}}) {
    EXPECT_TRUE(test_support::stopped_with(test_support::run_capturing([&] {
                                             (void)expand::split_at_missing_system(
                                                 common::CodeString("ABCD"), 2,
                                                 expand::classify(tables, typings_of(typings)));
                                           }),
                                           code));
  }
}

std::vector<std::string> aborting_records(const std::string& sink) {
  std::vector<std::string> records;
  for (const char* line :
       {"", "", " ABORTING",
        " Phenotype records occur with more missing systems than systems with data.",
        " Eliminate such records. Resubmit.", ""}) {
    records.push_back(std::string(sink).append("|").append(line));
  }
  return records;
}

std::vector<std::string> unusable_records(const std::string& sink, const std::string& missing) {
  std::vector<std::string> records;
  for (const std::string& line :
       {std::string(), std::string(), std::string(" FATAL ERROR"),
        std::string(" A phenotype of the observed data has missing typings in ")
            .append(missing)
            .append(" genetic systems;"),
        std::string(" only one system of a record may have missing typings."),
        std::string(" First record with it: record 17 of population SOUTH VALLEY (number 2)."),
        std::string(" Fill in the missing typings or delete the record. Resubmit."),
        std::string()}) {
    records.push_back(std::string(sink).append("|").append(line));
  }
  return records;
}

std::vector<std::string> joined(const std::vector<std::vector<std::string>>& parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

struct CheckCase {
  std::string name;
  int dataset_number;
  std::vector<std::string> patterns;
  int stop;  // 0: none
  expand::ExpandStatus status;
  std::vector<std::string> journal;
};

TEST(ExpandPhenotypes, MissingSystemsAbandonOrStop) {
  using enum expand::ExpandStatus;
  const std::vector<std::string> aborting =
      joined({aborting_records("log"), aborting_records("console")});
  const std::vector<CheckCase> cases = {
      {"ThreeSystemsTwoMissingObserved", 0, {"AACCEE", "??C?EE"}, 410, done, aborting},
      {"ThreeSystemsTwoMissingPermuted", 4, {"??C?EE", "??C?EE"}, 0, abandoned, aborting},
      {"FiveSystemsThreeMissing", 4, {"??????GGII"}, 0, abandoned, aborting},
      {"FourSystemsTwoMissing", 4, {"A???EEGG"}, 0, abandoned, {}},
      {"FiveSystemsThreeMissingObserved",
       0,
       {"??????GGII"},
       411,
       done,
       joined({aborting, unusable_records("console", "3"), unusable_records("log", "3")})},
      {"FourSystemsTwoMissingObserved",
       0,
       {"A???EEGG"},
       411,
       done,
       joined({unusable_records("console", "2"), unusable_records("log", "2")})},
      {"ThreeSystemsOneMissing", 0, {"A?CCEE"}, 0, done, {}},
  };
  common::Populations populations;
  populations.population_names = {common::PopulationName("NORTH"),
                                  common::PopulationName("SOUTH VALLEY")};
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int system_count = static_cast<int>(c.patterns[0].size() / 2);
    common::DistinctPhenotypes distinct = make_distinct(c.patterns);
    distinct.first_individual.back() = {1, 16};
    expand::ExpansionCache cache;
    const Outcome outcome = run_expansion(
        c.dataset_number,
        make_tables(std::vector<std::string>(static_cast<std::size_t>(system_count), "ABCDEFGHIJ")),
        distinct, cache, populations);
    EXPECT_EQ(outcome.end.kind == test_support::Outcome::Kind::stopped
                  ? common::stop_number(outcome.end.code)
                  : 0,
              c.stop);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.journal, c.journal);
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
  EXPECT_EQ(cache.size(), 3);
  EXPECT_EQ(second.pairs[0], first.pairs[2]);
  EXPECT_EQ(second.pairs[1], first.pairs[0]);

  expand::ExpansionCache fresh_cache;
  const Outcome fresh = run_expansion(1, tables, permuted, fresh_cache);
  for (int d = 0; d < 2; ++d) {
    EXPECT_NE(fresh.pairs[d], second.pairs[d]);
    EXPECT_EQ(pair_texts(*fresh.pairs[d]), pair_texts(*second.pairs[d]));
  }
}

struct GroupCase {
  std::vector<std::string> letters;
  std::vector<int> systems;  // 0-based
  std::vector<std::string> values;
};

TEST(BuildGroupValues, FirstSystemOfTheGroupVariesSlowest) {
  const std::vector<GroupCase> cases = {
      {{"ABC", "Q", "XY"}, {2, 0}, {"XA", "XB", "XC", "YA", "YB", "YC"}},
      {{"AB", "CD"}, {0, 1}, {"AC", "AD", "BC", "BD"}},
      {{"AB", "CDE"}, {1}, {"C", "D", "E"}},
  };
  for (const GroupCase& c : cases) {
    common::Grouping grouping;
    grouping.group_total = 1;
    grouping.group_size = {static_cast<int>(c.systems.size())};
    grouping.group_systems = {c.systems};
    expand::build_group_values(make_tables(c.letters), grouping);
    ASSERT_EQ(grouping.group_values.size(), 1U);
    std::vector<std::string> values;
    for (const common::Label& value : grouping.group_values[0]) {
      values.emplace_back(value.trimmed());
    }
    EXPECT_EQ(values, c.values);
  }
}

TEST(CheckHaplotypeCount, StopsWhenALaterSystemHasNoAlleles) {
  const std::vector<std::pair<std::vector<int>, bool>> cases = {
      {{2, 2, 0}, true},
      {{2, 2, 3}, false},
      {{0, 2, 3}, false},
      {{2, 0, 0}, false},
      {{14, 14, 14, 14, 14, 14, 14, 14, 14, 14}, false}};
  for (const auto& [allele_count, stop] : cases) {
    common::SystemTables tables;
    tables.system_count = static_cast<int>(allele_count.size());
    tables.allele_count = allele_count;
    const test_support::Outcome end =
        test_support::run_capturing([&] { expand::check_haplotype_count(tables); });
    EXPECT_TRUE(stop ? test_support::stopped_with(end, StopCode::haplotype_count)
                     : test_support::completed(end));
  }
}

}  // namespace
